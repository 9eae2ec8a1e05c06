#pragma once
// The settings file behind TRegistry, held in memory: keys with their values in file order,
// read again when the file changes and saved whole after every change. Used by Registry.cpp
// only; everything else goes through Registry.h.
//
// File form (UTF-8): one "[key path]" line per key, then "name=value" lines. Line breaks, "%",
// a UTF-16 surrogate without its partner and, in names, the characters that would end a name
// or start a key or comment, and a blank of any kind at either edge, are written as %XX
// (%uXXXX above U+00FF).

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

// One key of the store with its values in the order they were first written.
struct TStoredKey {
    QString path;  // normalised, as first spelt
    std::vector<std::pair<QString, QString>> values;
    QHash<QString, size_t> index;  // folded value name -> place in values
};

bool SameSettingsName(const QString& a, const QString& b);
// "\a\\b\" -> "a\b": empty parts dropped.
QString NormaliseKey(const QString& key);

// The whole store. Every member but `mutex` is used with `mutex` held. Keys and values are
// found through hash tables, so loading the file, and each look-up, take time in proportion
// to the text read, however many keys the file holds.
class TSettingsStore {
public:
    std::mutex mutex;

    QString File() const;
    void SetFile(const QString& path);
    // Reads the file again when it is another file or changed since it was last read or saved.
    void Sync();
    // The file's folder exists (or was made) and the file can be written.
    bool CanWrite() const;
    // The key (a normalised path) holds a value, or a key below it does.
    bool Exists(const QString& path) const;
    // The value `name` of the key; nothing when the key or the value is missing.
    std::optional<QString> Value(const QString& path, const QString& name) const;
    // The key's value names as first spelt, in the order they were first written.
    QStringList ValueNames(const QString& path) const;
    // Writing an existing value changes it where it stands and keeps the name as first spelt.
    void SetValue(const QString& path, const QString& name, const QString& text);
    // False when there was no such value.
    bool DeleteValue(const QString& path, const QString& name);
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
    const TStoredKey* Find(const QString& path) const;
    TStoredKey& FindOrAdd(const QString& path);
    // Counts a key that came to hold values (+1) or lost its last one (-1) in the key and in
    // every key above it.
    void CountFilled(const QString& path, int change);

    QString overridePath_;
    bool loaded_ = false;
    QString loadedPath_;
    TFileStamp stamp_;
    std::vector<TStoredKey> keys_;
    QHash<QString, size_t> index_;  // folded path -> place in keys_
    QHash<QString, int> filled_;    // folded path -> keys at or below it that hold values
};

// The one store of the program (any thread, with its mutex held).
TSettingsStore& SettingsStore();
