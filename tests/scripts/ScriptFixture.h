#pragma once
// A station built in the test, without any window, for the script generator: ports placed on
// the switches the test names, devices on them (selected), and the script text generated at a
// fixed moment with a fixed date format.

#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <ostream>

#include "platform/DateTimeText.h"
#include "scripts/ScriptGenerator.h"
#include "station/StationFixture.h"

// Readable failures.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

// Lines of a text block written in the test ('\n' between lines; the first line break after
// the opening of a raw string is not a line).
inline QStringList TextLines(const char* text)
{
    QString s = QString::fromUtf8(text);
    if (s.startsWith(QLatin1Char('\n'))) {
        s.remove(0, 1);
    }
    if (s.endsWith(QLatin1Char('\n'))) {
        s.chop(1);
    }
    return s.split(QLatin1Char('\n'));
}

// The lines of the routine that starts at `label`, up to the empty line after it.
inline QStringList Routine(const QStringList& script, const QString& label)
{
    QStringList out;
    for (qsizetype i = script.indexOf(label); i >= 0 && i < script.size(); ++i) {
        if (script[i].isEmpty()) {
            break;
        }
        out << script[i];
    }
    return out;
}

class ScriptStationTest : public StationTest {
protected:
    void SetUp() override
    {
        StationTest::SetUp();
        SetShortDateFormat(QStringLiteral("dd/MM/yyyy"));
        SetLongTimeFormat(QStringLiteral("hh:mm:ss"));
    }
    void TearDown() override
    {
        SetShortDateFormat(QString());
        StationTest::TearDown();
    }

    // A port of the unit.
    TPort* Port(const QString& name, const QString& type, int serialPort, int hostChannel,
                int powerSwitch, int auxSwitch = 0)
    {
        return ports.AddPort(name, QStringLiteral("J") + name, hostChannel, serialPort, auxSwitch,
                             powerSwitch, type);
    }

    // A selected device on `port`, capturing to its host channel, polled every second.
    TDevice* Device(const QString& name, TPort* port)
    {
        TDevice* device = devices.Add(name);
        EXPECT_NE(device, nullptr);
        if (device->GetPort() != port) {
            device->SetPort(port);
        }
        device->SetCaptureDest(0);
        device->SetCollectionType(0);
        device->SetSelected(true);
        return device;
    }

    TGeneratedScript Generate(const TWizardChoices& choices) const
    {
        return GenerateScriptLines(choices, SelectedStation(devices), Now());
    }
    QStringList Script(const TWizardChoices& choices) const { return Generate(choices).lines; }
    // The refusal's message, or "" when the script was made.
    QString Refusal(const TWizardChoices& choices) const
    {
        try {
            Generate(choices);
        } catch (const TScriptRefused& refused) {
            return refused.Message();
        }
        return QString();
    }

    static double Now() { return DateTimeToValue(QDateTime(QDate(2024, 1, 2), QTime(8, 30, 5))); }
};
