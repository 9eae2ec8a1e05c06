#pragma once
// The settings file behind TRegistry, held in memory: keys with their values in file order,
// read again when the file changes and saved whole after every change. Used by Registry.cpp
// only; everything else goes through Registry.h.
//
// File form: one "[key path]" line per key, then "name=value" lines. Line breaks, "%" and,
// in names, the characters that would end a name or start a key or comment are written as
// %XX.

#include <QDateTime>
#include <QString>
#include <mutex>
#include <utility>
#include <vector>

// One key of the store with its values in the order they were first written.
struct TStoredKey {
    QString path;  // normalised, as first spelt
    std::vector<std::pair<QString, QString>> values;
};

bool SameSettingsName(const QString& a, const QString& b);
// "\a\\b\" -> "a\b": empty parts dropped.
QString NormaliseKey(const QString& key);
// Writing an existing value changes it where it stands and keeps the name as first spelt.
void SetStoredValue(TStoredKey& key, const QString& name, const QString& text);

// The whole store. Every member but `mutex` is used with `mutex` held.
class TSettingsStore {
public:
    std::mutex mutex;

    QString File() const;
    void SetFile(const QString& path);
    // Reads the file again when it is another file or changed since it was last read or saved.
    void Sync();
    // The file's folder exists (or was made) and the file can be written.
    bool CanWrite() const;
    TStoredKey* Find(const QString& path);
    TStoredKey& FindOrAdd(const QString& path);
    // The key holds a value, or a key below it does.
    bool Exists(const QString& path) const;
    void Save();

private:
    struct TFileStamp {
        bool exists = false;
        qint64 size = 0;
        QDateTime modified;
        bool operator==(const TFileStamp&) const = default;
    };

    static TFileStamp Stamp(const QString& file);
    void Load(const QString& file);
    void Parse(const QString& text);
    QString Text() const;

    QString overridePath_;
    bool loaded_ = false;
    QString loadedPath_;
    TFileStamp stamp_;
    std::vector<TStoredKey> keys_;
};

// The one store of the program (any thread, with its mutex held).
TSettingsStore& SettingsStore();
