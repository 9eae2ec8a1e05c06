#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>
#include <cstdint>

namespace {

bool IsBelow(const QString& path, const QString& ancestor)
{
    return path.size() > ancestor.size() && path.at(ancestor.size()) == QLatin1Char('\\') &&
           SameSettingsName(path.left(ancestor.size()), ancestor);
}

QString Escape(const QString& text, bool isName)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool edgeBlank = isName && c == QLatin1Char(' ') && (i == 0 || i == text.size() - 1);
        const bool special = isName && (c == QLatin1Char('=') || c == QLatin1Char('[') ||
                                        c == QLatin1Char(';') || c == QLatin1Char('#'));
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('%') || edgeBlank ||
            special) {
            out += QString::asprintf("%%%02X", c.unicode());
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

QString Unescape(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('%') && i + 2 < text.size()) {
            const int hi = HexDigit(text.at(i + 1));
            const int lo = HexDigit(text.at(i + 2));
            if (hi >= 0 && lo >= 0) {
                out += QChar(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text.at(i);
    }
    return out;
}

}  // namespace

bool SameSettingsName(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

QString NormaliseKey(const QString& key)
{
    return key.split(QLatin1Char('\\'), Qt::SkipEmptyParts).join(QLatin1Char('\\'));
}

void SetStoredValue(TStoredKey& key, const QString& name, const QString& text)
{
    for (auto& value : key.values) {
        if (SameSettingsName(value.first, name)) {
            value.second = text;
            return;
        }
    }
    key.values.emplace_back(name, text);
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

TStoredKey* TSettingsStore::Find(const QString& path)
{
    for (TStoredKey& key : keys_) {
        if (SameSettingsName(key.path, path)) {
            return &key;
        }
    }
    return nullptr;
}

TStoredKey& TSettingsStore::FindOrAdd(const QString& path)
{
    if (TStoredKey* key = Find(path)) {
        return *key;
    }
    keys_.push_back(TStoredKey{path, {}});
    return keys_.back();
}

bool TSettingsStore::Exists(const QString& path) const
{
    for (const TStoredKey& key : keys_) {
        if (!key.values.empty() &&
            (SameSettingsName(key.path, path) || IsBelow(key.path, path))) {
            return true;
        }
    }
    return false;
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
    // An index, as adding keys moves them in memory; none before the first key.
    constexpr size_t kNoKey = SIZE_MAX;
    size_t current = kNoKey;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            const QString path = NormaliseKey(Unescape(trimmed.mid(1, trimmed.size() - 2)));
            // A key met twice (in any case) is one key.
            current = kNoKey;
            if (!path.isEmpty()) {
                current = static_cast<size_t>(&FindOrAdd(path) - keys_.data());
            }
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (current == kNoKey || trimmed.startsWith(QLatin1Char(';')) ||
            trimmed.startsWith(QLatin1Char('#')) || eq < 0) {
            continue;
        }
        SetStoredValue(keys_[current], Unescape(line.left(eq).trimmed()),
                       Unescape(line.mid(eq + 1)));
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
