#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>
#include <cstddef>

namespace {

// "%XX" for a character up to U+00FF, "%uXXXX" above; '%' is always escaped, so neither
// form ever stands for itself in a file.
void AppendEscaped(QString& out, QChar c)
{
    out += c.unicode() <= 0xff ? QString::asprintf("%%%02X", c.unicode())
                               : QString::asprintf("%%u%04X", c.unicode());
}

// A surrogate without its partner: UTF-8 has no form for it, so written as it stands it
// would come back as another character.
bool LoneSurrogate(const QString& text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate()) {
        return i + 1 == text.size() || !text.at(i + 1).isLowSurrogate();
    }
    return c.isLowSurrogate() && (i == 0 || !text.at(i - 1).isHighSurrogate());
}

QString Escape(const QString& text, bool isName)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // The reader trims names (QString::trimmed): a blank of any kind at the edge of a
        // name would be lost.
        const bool edgeBlank = isName && c.isSpace() && (i == 0 || i == text.size() - 1);
        const bool special = isName && (c == QLatin1Char('=') || c == QLatin1Char('[') ||
                                        c == QLatin1Char(';') || c == QLatin1Char('#'));
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('%') || edgeBlank ||
            special || LoneSurrogate(text, i)) {
            AppendEscaped(out, c);
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

// The number the `digits` hex digits at `from` spell, or -1 when they are not all there.
int HexNumber(const QString& text, qsizetype from, int digits)
{
    if (from + digits > text.size()) {
        return -1;
    }
    int number = 0;
    for (int k = 0; k < digits; ++k) {
        const int digit = HexDigit(text.at(from + k));
        if (digit < 0) {
            return -1;
        }
        number = number * 16 + digit;
    }
    return number;
}

QString Unescape(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('%')) {
            const bool wide = i + 1 < text.size() && text.at(i + 1) == QLatin1Char('u');
            const int code = wide ? HexNumber(text, i + 2, 4) : HexNumber(text, i + 1, 2);
            if (code >= 0) {
                out += QChar(code);
                i += wide ? 5 : 2;
                continue;
            }
        }
        out += text.at(i);
    }
    return out;
}

// Names compare without regard to case in this form. Case folding takes a lone surrogate for
// a broken character and may put U+FFFD in its place, so that names differing only there would
// be one name: the text between lone surrogates is folded, and they are kept as they stand.
QString Folded(const QString& name)
{
    QString folded;
    qsizetype from = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (LoneSurrogate(name, i)) {
            folded += name.sliced(from, i - from).toCaseFolded();
            folded += name.at(i);
            from = i + 1;
        }
    }
    folded += name.sliced(from).toCaseFolded();
    return folded;
}

}  // namespace

bool SameSettingsName(const QString& a, const QString& b) { return Folded(a) == Folded(b); }

QString NormaliseKey(const QString& key)
{
    return key.split(QLatin1Char('\\'), Qt::SkipEmptyParts).join(QLatin1Char('\\'));
}

TSettingsStore& SettingsStore()
{
    static TSettingsStore store;
    return store;
}

QString TSettingsStore::File() const
{
    if (!overridePath_.isEmpty()) {
        return overridePath_;
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Wendrok/Wendrok.ini");
}

void TSettingsStore::SetFile(const QString& path)
{
    overridePath_ = path;
    loaded_ = false;
}

void TSettingsStore::Sync()
{
    const QString file = File();
    if (loaded_ && file == loadedPath_ && Stamp(file) == stamp_) {
        return;
    }
    Load(file);
}

bool TSettingsStore::CanWrite() const
{
    const QFileInfo info(File());
    if (!QDir().mkpath(info.absolutePath())) {
        return false;
    }
    return info.exists() ? info.isFile() && info.isWritable()
                         : QFileInfo(info.absolutePath()).isWritable();
}

const TStoredKey* TSettingsStore::Find(const QString& path) const
{
    const auto it = index_.constFind(Folded(path));
    return it == index_.constEnd() ? nullptr : &keys_[it.value()];
}

TStoredKey& TSettingsStore::FindOrAdd(const QString& path)
{
    const QString folded = Folded(path);
    const auto it = index_.constFind(folded);
    if (it != index_.constEnd()) {
        return keys_[it.value()];
    }
    index_.insert(folded, keys_.size());
    keys_.push_back(TStoredKey{path, {}, {}});
    return keys_.back();
}

void TSettingsStore::CountFilled(const QString& path, int change)
{
    qsizetype end = 0;
    while (end >= 0) {
        end = path.indexOf(QLatin1Char('\\'), end + 1);
        const QString folded = Folded(end < 0 ? path : path.left(end));
        int& count = filled_[folded];
        count += change;
        if (count <= 0) {
            filled_.remove(folded);
        }
    }
}

bool TSettingsStore::Exists(const QString& path) const { return filled_.value(Folded(path)) > 0; }

std::optional<QString> TSettingsStore::Value(const QString& path, const QString& name) const
{
    const TStoredKey* key = Find(path);
    if (key == nullptr) {
        return std::nullopt;
    }
    const auto it = key->index.constFind(Folded(name));
    return it == key->index.constEnd() ? std::nullopt
                                       : std::optional<QString>(key->values[it.value()].second);
}

QStringList TSettingsStore::ValueNames(const QString& path) const
{
    QStringList names;
    if (const TStoredKey* key = Find(path)) {
        for (const auto& value : key->values) {
            names << value.first;
        }
    }
    return names;
}

void TSettingsStore::SetValue(const QString& path, const QString& name, const QString& text)
{
    TStoredKey& key = FindOrAdd(path);
    const QString folded = Folded(name);
    const auto it = key.index.constFind(folded);
    if (it != key.index.constEnd()) {
        key.values[it.value()].second = text;
        return;
    }
    key.index.insert(folded, key.values.size());
    key.values.emplace_back(name, text);
    if (key.values.size() == 1) {
        CountFilled(key.path, +1);
    }
}

bool TSettingsStore::DeleteValue(const QString& path, const QString& name)
{
    const auto found = index_.constFind(Folded(path));
    if (found == index_.constEnd()) {
        return false;
    }
    TStoredKey& key = keys_[found.value()];
    const auto it = key.index.constFind(Folded(name));
    if (it == key.index.constEnd()) {
        return false;
    }
    key.values.erase(key.values.begin() + static_cast<std::ptrdiff_t>(it.value()));
    key.index.clear();
    for (size_t i = 0; i < key.values.size(); ++i) {
        key.index.insert(Folded(key.values[i].first), i);
    }
    if (key.values.empty()) {
        CountFilled(key.path, -1);
    }
    return true;
}

void TSettingsStore::Save()
{
    const QString file = File();
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile out(file);
    if (out.open(QIODevice::WriteOnly)) {
        out.write(Text().toUtf8());
        if (out.commit()) {
            stamp_ = Stamp(file);
            return;
        }
    }
    // The values stay in memory for this run; the next write tries the file again.
    qWarning("Settings could not be saved to %s", qPrintable(file));
}

TSettingsStore::TFileStamp TSettingsStore::Stamp(const QString& file)
{
    const QFileInfo info(file);
    if (!info.exists()) {
        return {};
    }
    return {true, info.size(), info.lastModified()};
}

void TSettingsStore::Load(const QString& file)
{
    keys_.clear();
    index_.clear();
    filled_.clear();
    loaded_ = true;
    loadedPath_ = file;
    stamp_ = Stamp(file);
    QFile in(file);
    if (in.open(QIODevice::ReadOnly)) {
        Parse(QString::fromUtf8(in.readAll()));
    }
}

void TSettingsStore::Parse(const QString& text)
{
    // The current key's path; none before the first key.
    QString current;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            // A key met twice (in any case) is one key.
            current = NormaliseKey(Unescape(trimmed.mid(1, trimmed.size() - 2)));
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (current.isEmpty() || trimmed.startsWith(QLatin1Char(';')) ||
            trimmed.startsWith(QLatin1Char('#')) || eq < 0) {
            continue;
        }
        SetValue(current, Unescape(line.left(eq).trimmed()), Unescape(line.mid(eq + 1)));
    }
}

QString TSettingsStore::Text() const
{
    QString out;
    for (const TStoredKey& key : keys_) {
        if (key.values.empty()) {
            continue;
        }
        if (!out.isEmpty()) {
            out += QLatin1Char('\n');
        }
        out += QLatin1Char('[') + Escape(key.path, false) + QStringLiteral("]\n");
        for (const auto& value : key.values) {
            out += Escape(value.first, true) + QLatin1Char('=') + Escape(value.second, false) +
                   QLatin1Char('\n');
        }
    }
    return out;
}
