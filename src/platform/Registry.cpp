#include "platform/Registry.h"

#include <QLocale>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

#include "platform/SettingsStore.h"

namespace {

constexpr double kFirstRegistryVersion = 1.26;

std::atomic<double> g_writeVersion{kFirstRegistryVersion};
std::atomic<double> g_readVersion{kFirstRegistryVersion};

TSettingsStore& Store() { return SettingsStore(); }

std::optional<int> ParseInteger(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

std::optional<double> ParseFloat(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

std::optional<bool> ParseBool(const QString& text)
{
    if (const std::optional<int> number = ParseInteger(text)) {
        return *number != 0;
    }
    if (SameSettingsName(text.trimmed(), QStringLiteral("true"))) {
        return true;
    }
    if (SameSettingsName(text.trimmed(), QStringLiteral("false"))) {
        return false;
    }
    return std::nullopt;
}

}  // namespace

QString SettingsFilePath()
{
    std::lock_guard lock(Store().mutex);
    return Store().File();
}

void SetSettingsFilePath(const QString& path)
{
    std::lock_guard lock(Store().mutex);
    Store().SetFile(path);
}

QString VersionedKeyPath(double version, const QString& name)
{
    // Float versions such as 1.26f are a hair below 1.26; the half added before truncating
    // absorbs that.
    const double scaled = std::clamp(version * 100.0 + 0.5, -1e6, 1e6);
    const int number = static_cast<int>(std::trunc(scaled));
    return QString::asprintf("\\Software\\Tavo Labs\\Wendrok\\%03d\\", number) + name;
}

double RegistryWriteVersion() { return g_writeVersion.load(); }
double RegistryReadVersion() { return g_readVersion.load(); }
void SetRegistryWriteVersion(double version) { g_writeVersion.store(version); }
void SetRegistryReadVersion(double version) { g_readVersion.store(version); }

TRegistry::TRegistry() = default;
TRegistry::~TRegistry() = default;

QString TRegistry::FullPath(const QString& key) const
{
    if (key.startsWith(QLatin1Char('\\')) || path_.isEmpty()) {
        return NormaliseKey(key);
    }
    return NormaliseKey(path_ + QLatin1Char('\\') + key);
}

bool TRegistry::OpenKey(const QString& key, bool canCreate)
{
    const QString path = FullPath(key);
    if (path.isEmpty()) {
        return false;
    }
    std::lock_guard lock(Store().mutex);
    if (canCreate) {
        if (!Store().CanWrite()) {
            return false;
        }
    } else {
        Store().Sync();
        if (!Store().Exists(path)) {
            return false;
        }
    }
    path_ = path;
    return true;
}

bool TRegistry::KeyExists(const QString& key) const
{
    const QString path = FullPath(key);
    if (path.isEmpty()) {
        return false;
    }
    std::lock_guard lock(Store().mutex);
    Store().Sync();
    return Store().Exists(path);
}

void TRegistry::CloseKey() { path_.clear(); }

std::optional<QString> TRegistry::RawValue(const QString& name) const
{
    if (path_.isEmpty()) {
        return std::nullopt;
    }
    std::lock_guard lock(Store().mutex);
    Store().Sync();
    return Store().Value(path_, name);
}

bool TRegistry::ValueExists(const QString& name) const { return RawValue(name).has_value(); }

QStringList TRegistry::GetValueNames() const
{
    if (path_.isEmpty()) {
        return {};
    }
    std::lock_guard lock(Store().mutex);
    Store().Sync();
    return Store().ValueNames(path_);
}

bool TRegistry::DeleteValue(const QString& name)
{
    if (path_.isEmpty()) {
        return false;
    }
    std::lock_guard lock(Store().mutex);
    Store().Sync();
    if (!Store().DeleteValue(path_, name)) {
        return false;
    }
    Store().Save();
    return true;
}

void TRegistry::WriteRaw(const QString& name, const QString& text)
{
    if (path_.isEmpty()) {
        return;
    }
    std::lock_guard lock(Store().mutex);
    Store().Sync();
    Store().SetValue(path_, name, text);
    Store().Save();
}

int TRegistry::ReadInteger(const QString& name) const
{
    const std::optional<QString> text = RawValue(name);
    return text ? ParseInteger(*text).value_or(0) : 0;
}

double TRegistry::ReadFloat(const QString& name) const
{
    const std::optional<QString> text = RawValue(name);
    return text ? ParseFloat(*text).value_or(0.0) : 0.0;
}

QString TRegistry::ReadString(const QString& name) const
{
    return RawValue(name).value_or(QString());
}

bool TRegistry::ReadBool(const QString& name) const
{
    const std::optional<QString> text = RawValue(name);
    return text ? ParseBool(*text).value_or(false) : false;
}

void TRegistry::WriteInteger(const QString& name, int value)
{
    WriteRaw(name, QString::number(value));
}

void TRegistry::WriteFloat(const QString& name, double value)
{
    // The shortest text that reads back as the very same double.
    WriteRaw(name, QString::number(value, 'g', QLocale::FloatingPointShortest));
}

void TRegistry::WriteString(const QString& name, const QString& value) { WriteRaw(name, value); }

void TRegistry::WriteBool(const QString& name, bool value)
{
    WriteRaw(name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

int TRegDef::ReadIntegerDef(const QString& name, int def) const
{
    const std::optional<QString> text = RawValue(name);
    return text ? ParseInteger(*text).value_or(def) : def;
}

double TRegDef::ReadFloatDef(const QString& name, double def) const
{
    const std::optional<QString> text = RawValue(name);
    return text ? ParseFloat(*text).value_or(def) : def;
}

QString TRegDef::ReadStringDef(const QString& name, const QString& def) const
{
    return RawValue(name).value_or(def);
}

bool TRegDef::ReadBoolDef(const QString& name, bool def) const
{
    const std::optional<QString> text = RawValue(name);
    return text ? ParseBool(*text).value_or(def) : def;
}
