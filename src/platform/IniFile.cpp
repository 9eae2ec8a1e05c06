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

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

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
        const QString key = line.left(eq).trimmed();
        const bool known = std::any_of(current->entries.begin(), current->entries.end(),
                                       [&](const Entry& e) { return SameName(e.key, key); });
        // The first of repeated keys is the one every read sees; a later one is dropped.
        if (!known) {
            current->entries.push_back({key, line.mid(eq + 1)});
        }
    }
}

QString TMemIniFile::Text() const
{
    static const QString kLineEnd = QStringLiteral("\r\n");
    QString text;
    for (const Section& section : sections_) {
        text += QLatin1Char('[') + section.name + QLatin1Char(']') + kLineEnd;
        for (const Entry& entry : section.entries) {
            text += entry.key + QLatin1Char('=') + entry.value + kLineEnd;
        }
        text += kLineEnd;
    }
    return text;
}

TMemIniFile::Section* TMemIniFile::Find(const QString& section)
{
    for (Section& s : sections_) {
        if (SameName(s.name, section)) {
            return &s;
        }
    }
    return nullptr;
}

const TMemIniFile::Section* TMemIniFile::Find(const QString& section) const
{
    for (const Section& s : sections_) {
        if (SameName(s.name, section)) {
            return &s;
        }
    }
    return nullptr;
}

TMemIniFile::Section& TMemIniFile::FindOrAdd(const QString& section)
{
    if (Section* s = Find(section)) {
        return *s;
    }
    sections_.push_back({OneLine(section), {}});
    return sections_.back();
}

bool TMemIniFile::SectionExists(const QString& section) const { return Find(section) != nullptr; }

bool TMemIniFile::ValueExists(const QString& section, const QString& key) const
{
    const Section* s = Find(section);
    if (s == nullptr) {
        return false;
    }
    return std::any_of(s->entries.begin(), s->entries.end(),
                       [&](const Entry& e) { return SameName(e.key, key); });
}

QStringList TMemIniFile::ReadSections() const
{
    QStringList names;
    for (const Section& s : sections_) {
        names.append(s.name);
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
    std::erase_if(sections_, [&](const Section& s) { return SameName(s.name, section); });
}

void TMemIniFile::DeleteKey(const QString& section, const QString& key)
{
    if (Section* s = Find(section)) {
        std::erase_if(s->entries, [&](const Entry& e) { return SameName(e.key, key); });
    }
}

QString TMemIniFile::ReadString(const QString& section, const QString& key,
                                const QString& def) const
{
    if (const Section* s = Find(section)) {
        for (const Entry& e : s->entries) {
            if (SameName(e.key, key)) {
                return e.value;
            }
        }
    }
    return def;
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
    for (Entry& e : s.entries) {
        if (SameName(e.key, key)) {
            e.value = OneLine(value);
            return;
        }
    }
    s.entries.push_back({OneLine(key.trimmed()), OneLine(value)});
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
