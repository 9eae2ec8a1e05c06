// INI file figures: loading, reading every key of, erasing half of and writing out a file of
// many sections, as a configuration with thousands of device sections would be; and loading
// the settings file with many keys, or one key with many values, and writing one value to
// it. Prints figures only.

#include "platform/IniFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>

#include "platform/Registry.h"

namespace {

// Settings file figures: `keys` keys of `values` values each.
void SettingsFigures(const QTemporaryDir& dir, int keys, int values)
{
    const QString file = dir.filePath(QStringLiteral("Wendrok-%1-%2.ini").arg(keys).arg(values));
    QString text;
    for (int k = 0; k < keys; ++k) {
        text += QStringLiteral("[Software\\Tavo Labs\\Wendrok\\126\\Window%1]\n").arg(k);
        for (int v = 0; v < values; ++v) {
            text += QStringLiteral("Value%1=%2\n").arg(v).arg(k);
        }
    }
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        std::printf("settings file %s could not be written\n", qPrintable(file));
        return;
    }
    out.write(text.toUtf8());
    out.close();

    SetSettingsFilePath(file);
    const QString last =
        QStringLiteral("\\Software\\Tavo Labs\\Wendrok\\126\\window%1").arg(keys - 1);
    QElapsedTimer timer;
    timer.start();
    TRegDef reg;
    // The first access loads the file.
    const bool opened = reg.OpenKeyReadOnly(last);
    const int read = reg.ReadIntegerDef(QStringLiteral("value%1").arg(values - 1), -1);
    const qint64 loadMs = timer.restart();
    TRegistry writer;
    writer.OpenKey(last, true);
    writer.WriteInteger(QStringLiteral("Added"), 1);
    const qint64 writeMs = timer.restart();
    std::printf(
        "settings file of %6d keys of %6d values: load and read %lld ms, write %lld ms "
        "(%lld chars, %s %d)\n",
        keys, values, static_cast<long long>(loadMs), static_cast<long long>(writeMs),
        static_cast<long long>(text.size()), opened ? "read" : "NOT OPENED", read);
    SetSettingsFilePath(QString());
}

}  // namespace

int main()
{
    for (const int sections : {1000, 10000, 40000}) {
        QString text;
        for (int i = 0; i < sections; ++i) {
            text += QStringLiteral("[Device %1]\r\nPort=P%1\r\nPortBaud=9600\r\n").arg(i);
        }
        QElapsedTimer timer;
        timer.start();
        TMemIniFile ini;
        ini.SetText(text);
        const qint64 loadMs = timer.restart();
        long long sum = 0;
        for (const QString& section : ini.ReadSections()) {
            sum += ini.ReadInteger(section, QStringLiteral("PortBaud"), 0);
        }
        const qint64 readMs = timer.restart();
        for (int i = 0; i < sections; i += 2) {
            ini.EraseSection(QStringLiteral("Device %1").arg(i));
        }
        const qint64 eraseMs = timer.restart();
        const qsizetype bytes = ini.Text().size();
        const qint64 textMs = timer.restart();
        std::printf(
            "%6d sections: load %lld ms, read all %lld ms, erase half %lld ms, "
            "text %lld ms (%lld chars, sum %lld)\n",
            sections, static_cast<long long>(loadMs), static_cast<long long>(readMs),
            static_cast<long long>(eraseMs), static_cast<long long>(textMs),
            static_cast<long long>(bytes), sum);
    }
    QTemporaryDir dir;
    for (const int keys : {30000, 100000}) {
        SettingsFigures(dir, keys, 1);
        SettingsFigures(dir, 1, keys);
    }
    return 0;
}
