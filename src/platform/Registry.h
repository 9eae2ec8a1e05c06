#pragma once
// The settings store that stands in for the registry: one INI settings file in the user's
// config folder (XDG), keys named by "\"-separated paths such as
// "\Software\Tavo Labs\Wendrok\126\DasDesktop". Key and value names are compared without
// regard to case (a UTF-16 surrogate without its partner as it stands). A key exists once a
// value has been written under it or under a key below it. Every write is saved to the file
// at once, so the next start of the program sees it; a change another process made to the
// file is picked up on the next access.
//
// The store itself is guarded by a mutex, so any thread may use it; one TRegistry object
// belongs to the thread that made it.

#include <QString>
#include <QStringList>
#include <optional>

// Any thread. The settings file in use (default: <XDG config>/Wendrok/Wendrok.ini).
QString SettingsFilePath();
// Any thread. Points the store at another file (tests); an empty path restores the default.
// The file is read again on the next access.
void SetSettingsFilePath(const QString& path);

// Any thread. The registry key of a window or setting: "\Software\Tavo Labs\Wendrok\%03d\%s"
// with the version times 100 plus 0.5, truncated (1.26 gives "126").
QString VersionedKeyPath(double version, const QString& name);

// Any thread. The versions that name the key for writing and for reading (both 1.26 at start;
// the main window lowers the read version until a key opens).
double RegistryWriteVersion();
double RegistryReadVersion();
void SetRegistryWriteVersion(double version);
void SetRegistryReadVersion(double version);

// A view of one key of the settings store, like the toolkit's registry class.
class TRegistry {
public:
    TRegistry();
    virtual ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // Opens `key`: a key beginning with "\" is taken from the root, any other below the open
    // key (from the root when none is open). Without canCreate a key that does not exist is
    // not opened; with it, the key comes into being with its first value. Opening fails (and
    // the open key stays as it was) for an empty path, or, with canCreate, when the settings
    // file cannot be written.
    bool OpenKey(const QString& key, bool canCreate);
    bool OpenKeyReadOnly(const QString& key) { return OpenKey(key, false); }
    bool KeyExists(const QString& key) const;
    void CloseKey();
    // The open key without its leading "\" (as the caller spelt it); empty when none is open.
    const QString& CurrentPath() const { return path_; }

    bool ValueExists(const QString& name) const;
    QStringList GetValueNames() const;
    bool DeleteValue(const QString& name);

    // Reads of a missing or malformed value give 0, 0.0, "" or false.
    int ReadInteger(const QString& name) const;
    double ReadFloat(const QString& name) const;
    QString ReadString(const QString& name) const;
    bool ReadBool(const QString& name) const;

    // Writes are ignored while no key is open.
    void WriteInteger(const QString& name, int value);
    void WriteFloat(const QString& name, double value);  // full precision
    void WriteString(const QString& name, const QString& value);
    void WriteBool(const QString& name, bool value);

protected:
    // The stored text of a value of the open key; nothing when the key or value is missing.
    std::optional<QString> RawValue(const QString& name) const;

private:
    void WriteRaw(const QString& name, const QString& text);
    QString FullPath(const QString& key) const;

    QString path_;  // normalised key path of the open key; empty when closed
};

// Registry reads that fall back to a default when the value is missing (or is not of the
// type asked for).
class TRegDef : public TRegistry {
public:
    int ReadIntegerDef(const QString& name, int def) const;
    double ReadFloatDef(const QString& name, double def) const;
    QString ReadStringDef(const QString& name, const QString& def) const;
    bool ReadBoolDef(const QString& name, bool def) const;
};
