#include "platform/IniFile.h"

#include <QFile>
#include <QLocale>
#include <QSaveFile>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace {

// A line break inside a name or value would split it into a bogus line on the next load.
QString OneLine(const QString& text)
{
    if (!text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'))) {
        return text;
    }
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

// Names compare without regard to case, in the form they are stored.
QString Folded(const QString& name) { return OneLine(name).toCaseFolded(); }

}  // namespace

std::optional<int> ParseIntegerText(const QString& text)
{
    QString digits = text.trimmed();
    const bool negative = digits.startsWith(QLatin1Char('-'));
    if (negative || digits.startsWith(QLatin1Char('+'))) {
        digits.remove(0, 1);
    }
    int base = 10;
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        digits.remove(0, 2);
    }
    // Only digits may remain: no second sign, prefix or inner blank.
    const bool onlyDigits =
        !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [&](QChar c) {
            return c.unicode() < 0x80 &&
                   (base == 16 ? std::isxdigit(c.unicode()) : std::isdigit(c.unicode()));
        });
    bool ok = false;
    const qlonglong magnitude = onlyDigits ? digits.toLongLong(&ok, base) : 0;
    const qlonglong value = negative ? -magnitude : magnitude;
    if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

TMemIniFile::TMemIniFile(const QString& fileName) : fileName_(fileName)
{
    if (fileName_.isEmpty()) {
        return;
    }
    QFile file(fileName_);
    if (file.open(QIODevice::ReadOnly)) {
        SetText(QString::fromLatin1(file.readAll()));
    }
}

void TMemIniFile::SetText(const QString& text)
{
    sections_.clear();
    index_.clear();
    erased_ = 0;
    Section* current = nullptr;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';'))) {
            continue;
        }
        if (trimmed.size() >= 2 && trimmed.startsWith(QLatin1Char('[')) &&
            trimmed.endsWith(QLatin1Char(']'))) {
            // A repeated header adds to the section first seen under that name.
            current = &FindOrAdd(trimmed.mid(1, trimmed.size() - 2));
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (current == nullptr || eq < 0) {
            continue;
        }
        const QString key = OneLine(line.left(eq).trimmed());
        // The first of repeated keys is the one every read sees; a later one is dropped.
        const QString folded = Folded(key);
        if (!current->keys.contains(folded)) {
            current->keys.insert(folded, current->entries.size());
            current->entries.push_back({key, OneLine(line.mid(eq + 1))});
        }
    }
}

QString TMemIniFile::Text() const
{
    static const QString kLineEnd = QStringLiteral("\r\n");
    QString text;
    for (const Section& section : sections_) {
        if (section.erased) {
            continue;
        }
        text += QLatin1Char('[') + section.name + QLatin1Char(']') + kLineEnd;
        for (const Entry& entry : section.entries) {
            text += entry.key + QLatin1Char('=') + entry.value + kLineEnd;
        }
        text += kLineEnd;
    }
    return text;
}

const TMemIniFile::Entry* TMemIniFile::Section::FindEntry(const QString& key) const
{
    const auto it = keys.constFind(Folded(key));
    return it == keys.constEnd() ? nullptr : &entries[it.value()];
}

TMemIniFile::Section* TMemIniFile::Find(const QString& section)
{
    const auto it = index_.constFind(Folded(section));
    return it == index_.constEnd() ? nullptr : &sections_[it.value()];
}

const TMemIniFile::Section* TMemIniFile::Find(const QString& section) const
{
    const auto it = index_.constFind(Folded(section));
    return it == index_.constEnd() ? nullptr : &sections_[it.value()];
}

TMemIniFile::Section& TMemIniFile::FindOrAdd(const QString& section)
{
    if (Section* s = Find(section)) {
        return *s;
    }
    index_.insert(Folded(section), sections_.size());
    sections_.push_back({OneLine(section), {}, {}, false});
    return sections_.back();
}

void TMemIniFile::Compact()
{
    std::erase_if(sections_, [](const Section& s) { return s.erased; });
    index_.clear();
    for (size_t i = 0; i < sections_.size(); ++i) {
        index_.insert(Folded(sections_[i].name), i);
    }
    erased_ = 0;
}

bool TMemIniFile::SectionExists(const QString& section) const { return Find(section) != nullptr; }

bool TMemIniFile::ValueExists(const QString& section, const QString& key) const
{
    const Section* s = Find(section);
    return s != nullptr && s->FindEntry(key) != nullptr;
}

QStringList TMemIniFile::ReadSections() const
{
    QStringList names;
    for (const Section& s : sections_) {
        if (!s.erased) {
            names.append(s.name);
        }
    }
    return names;
}

QStringList TMemIniFile::ReadSection(const QString& section) const
{
    QStringList keys;
    if (const Section* s = Find(section)) {
        for (const Entry& e : s->entries) {
            keys.append(e.key);
        }
    }
    return keys;
}

void TMemIniFile::EraseSection(const QString& section)
{
    Section* s = Find(section);
    if (s == nullptr) {
        return;
    }
    index_.remove(Folded(section));
    *s = Section{};
    s->erased = true;
    // Holes are closed in one sweep once they make up half the table, so erasing many
    // sections one by one stays linear.
    if (++erased_ * 2 > sections_.size()) {
        Compact();
    }
}

void TMemIniFile::DeleteKey(const QString& section, const QString& key)
{
    Section* s = Find(section);
    if (s == nullptr || s->FindEntry(key) == nullptr) {
        return;
    }
    s->entries.erase(s->entries.begin() + static_cast<std::ptrdiff_t>(s->keys.value(Folded(key))));
    s->keys.clear();
    for (size_t i = 0; i < s->entries.size(); ++i) {
        s->keys.insert(Folded(s->entries[i].key), i);
    }
}

void TMemIniFile::MoveSectionToEnd(const QString& section, const QString& newName)
{
    Section* s = Find(section);
    const Section* other = Find(newName);
    if (s == nullptr || (other != nullptr && other != s)) {
        return;
    }
    Section moved = std::move(*s);
    moved.name = OneLine(newName);
    index_.remove(Folded(section));
    *s = Section{};
    s->erased = true;
    ++erased_;
    index_.insert(Folded(moved.name), sections_.size());
    sections_.push_back(std::move(moved));
    if (erased_ * 2 > sections_.size()) {
        Compact();
    }
}

QString TMemIniFile::ReadString(const QString& section, const QString& key,
                                const QString& def) const
{
    const Section* s = Find(section);
    const Entry* e = s != nullptr ? s->FindEntry(key) : nullptr;
    return e != nullptr ? e->value : def;
}

int TMemIniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    if (!ValueExists(section, key)) {
        return def;
    }
    return ParseIntegerText(ReadString(section, key, QString())).value_or(def);
}

bool TMemIniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

double TMemIniFile::ReadFloat(const QString& section, const QString& key, double def) const
{
    if (!ValueExists(section, key)) {
        return def;
    }
    bool ok = false;
    const double value = ReadString(section, key, QString()).trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? value : def;
}

void TMemIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    Section& s = FindOrAdd(section);
    const QString name = OneLine(key.trimmed());
    const QString folded = Folded(name);
    const auto it = s.keys.constFind(folded);
    if (it != s.keys.constEnd()) {
        s.entries[it.value()].value = OneLine(value);
        return;
    }
    s.keys.insert(folded, s.entries.size());
    s.entries.push_back({name, OneLine(value)});
}

void TMemIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TMemIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TMemIniFile::WriteFloat(const QString& section, const QString& key, double value)
{
    // Plain decimals for the everyday range, the exponent form only where digits would run on;
    // both with the fewest digits that read back to the same value.
    const double magnitude = std::fabs(value);
    const bool plain = value == 0.0 || (magnitude >= 1e-5 && magnitude < 1e15);
    WriteString(section, key,
                QString::number(value, plain ? 'f' : 'g', QLocale::FloatingPointShortest));
}

bool TMemIniFile::UpdateFile()
{
    if (fileName_.isEmpty()) {
        return false;
    }
    QSaveFile file(fileName_);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray bytes = Text().toLatin1();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
