// INI file figures: loading, reading every key of, erasing half of and writing out a file of
// many sections, as a configuration with thousands of device sections would be. Prints
// figures only.

#include "platform/IniFile.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

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
    return 0;
}
