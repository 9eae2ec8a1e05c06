#pragma once
// An INI file held in memory: the configuration, device and instrument files are read and
// written through it. Sections and keys keep their file order; names are compared without
// regard to case; values are kept exactly as written (no trimming, no unquoting).
// The file is saved whole with CR LF line ends, through a temporary file and a rename, so a
// failed save never leaves a half-written file. Files are Latin-1 text, as the stations that
// exchange them write it.
//
// Lines before the first section, blank lines and ";" comment lines are skipped; a repeated
// section header adds to the first section of that name, and of repeated keys the first is
// kept. A line break in a name or value is stored as a blank, and a name is looked up the way
// it is stored, so "A\rB" and "A B" are one section. Look-ups go through hash tables, so
// reading, writing and erasing stay linear in the size of the file.
//
// Not thread-safe: use one object on one thread.

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// Any thread. An integer as the program's files and number fields write it: decimal with an
// optional sign (also "0x" hex), blanks around it allowed; nothing for any other text or a
// value out of the int range.
std::optional<int> ParseIntegerText(const QString& text);

class TMemIniFile {
public:
    // Loads `fileName` when it exists (a missing or unreadable file gives an empty object).
    explicit TMemIniFile(const QString& fileName = QString());

    const QString& FileName() const { return fileName_; }
    void SetFileName(const QString& fileName) { fileName_ = fileName; }

    // Replaces the contents with the parsed text (CR LF or LF line ends).
    void SetText(const QString& text);
    // The whole file as it would be saved (CR LF line ends).
    QString Text() const;

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    QStringList ReadSections() const;                       // file order
    QStringList ReadSection(const QString& section) const;  // key names, file order
    void EraseSection(const QString& section);
    void DeleteKey(const QString& section, const QString& key);
    // Moves the section to the end of the file and gives its header `newName` (the same name
    // in another letter case, for example); nothing happens when it does not exist or another
    // section already carries `newName`.
    void MoveSectionToEnd(const QString& section, const QString& newName);

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // Decimal with an optional sign (also "0x" hex); anything else gives the default.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    // Read as an integer: non-zero is true; text that is not a number gives the default.
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    // '.' as the decimal separator; anything else gives the default.
    double ReadFloat(const QString& section, const QString& key, double def) const;

    // A new section goes at the end, a new key at the end of its section; an existing key is
    // changed where it stands.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);  // "1" / "0"
    void WriteFloat(const QString& section, const QString& key, double value);

    // Writes the whole file. Returns false (and leaves any old file as it was) on failure.
    bool UpdateFile();

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        std::vector<Entry> entries;
        QHash<QString, size_t> keys;  // folded key -> index into entries
        bool erased = false;
        const Entry* FindEntry(const QString& key) const;
    };
    Section* Find(const QString& section);
    const Section* Find(const QString& section) const;
    Section& FindOrAdd(const QString& section);
    void Compact();

    QString fileName_;
    // File order; erased sections stay as holes until the next Compact.
    std::vector<Section> sections_;
    QHash<QString, size_t> index_;  // folded section name -> index into sections_
    size_t erased_ = 0;
};
