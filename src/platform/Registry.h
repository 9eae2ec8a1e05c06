#pragma once
// The settings store that stands in for the registry: one INI settings file in the user's
// config folder (XDG), keys named by "\"-separated paths such as
// "\Software\Tavo Labs\Wendrok\126\DasDesktop". Key and value names are compared without
// regard to case. A key exists once a value has been written under it.
//
// UI thread only, except where a function says otherwise.

#include <QString>
#include <QStringList>

// The settings file in use (default: <XDG config>/Wendrok/Wendrok.ini). Tests point it at a
// temporary file.
QString SettingsFilePath();
void SetSettingsFilePath(const QString& path);

// The registry key of a window or setting: "\Software\Tavo Labs\Wendrok\%03d\%s" with the
// version times 100 plus 0.5, truncated (1.26 gives "126").
QString VersionedKeyPath(double version, const QString& name);

// The versions that name the key for writing and for reading (both 1.26 at start; the main
// window lowers the read version until a key opens).
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

    // Opens `key` ("\"-separated, leading "\" optional). Without canCreate a key that does not
    // exist is not opened and false is returned.
    bool OpenKey(const QString& key, bool canCreate);
    bool OpenKeyReadOnly(const QString& key) { return OpenKey(key, false); }
    bool KeyExists(const QString& key) const;
    void CloseKey();
    const QString& CurrentPath() const { return path_; }

    bool ValueExists(const QString& name) const;
    QStringList GetValueNames() const;
    bool DeleteValue(const QString& name);

    // Reads of a missing or malformed value give 0, 0.0, "" or false.
    int ReadInteger(const QString& name) const;
    double ReadFloat(const QString& name) const;
    QString ReadString(const QString& name) const;
    bool ReadBool(const QString& name) const;

    void WriteInteger(const QString& name, int value);
    void WriteFloat(const QString& name, double value);  // full precision
    void WriteString(const QString& name, const QString& value);
    void WriteBool(const QString& name, bool value);

private:
    QString path_;  // normalised key path of the open key; empty when closed
};

// Registry reads that fall back to a default when the value is missing.
class TRegDef : public TRegistry {
public:
    int ReadIntegerDef(const QString& name, int def) const;
    double ReadFloatDef(const QString& name, double def) const;
    QString ReadStringDef(const QString& name, const QString& def) const;
    bool ReadBoolDef(const QString& name, bool def) const;
};
