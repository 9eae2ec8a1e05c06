#include "station/DataPolling.h"

#include <gtest/gtest.h>

#include "link/Das.h"
#include "link/SendQueues.h"
#include "platform/Clocks.h"
#include "platform/DateTimeText.h"
#include "station/StationFixture.h"

namespace {

constexpr double kSecond = 1.0 / 86400.0;
constexpr double kT0 = 45'000.5;

class DataPollingTest : public StationLinkTest {
protected:
    void SetUp() override
    {
        StationLinkTest::SetUp();
        SetLabelClock([] { return QDateTime(QDate(2024, 2, 3), QTime(10, 5, 7)); });
    }
    void TearDown() override
    {
        SetLabelClock(nullptr);
        StationLinkTest::TearDown();
    }

    TDevice* AddDevice(const QString& name, int p, int hc, const QString& type)
    {
        ports.AddPort(name, QStringLiteral("J") + name, hc, p, 0, 1, type);
        TDevice* device = devices.Add(name);
        EXPECT_NE(device, nullptr);
        device->SetCaptureDest(0);
        device->SetCollectionType(0);
        device->SetPacketPause(100);
        device->SetDataActive(true);
        device->SetNextPollTime(kT0);
        return device;
    }

    // The console commands queued so far (without their zero byte), taken off the queue.
    QStringList Commands()
    {
        QStringList out;
        while (timedQueue.Count() > 0) {
            char buffer[256];
            uint32_t length = sizeof buffer;
            TListInfo info;
            timedQueue.Read(buffer, length, info, false);
            EXPECT_EQ(info.channel, kCommandChannel);
            out << QString::fromLatin1(buffer, static_cast<qsizetype>(length) - 1);
        }
        return out;
    }

    // What a label writes into the device channel's capture file.
    QByteArray Label(TDevice* device, const QStringList& block)
    {
        QByteArray bytes;
        device->GetMux()->SetCaptureFile(std::make_unique<TMemoryCapture>(&bytes));
        WriteLabelNow(*device, block);
        device->GetMux()->SetCaptureFile(nullptr);
        return bytes;
    }
};

TEST_F(DataPollingTest, PollsAtThePacketPauseAndCatchesUpAfterAStall)
{
    TDevice* oxy = AddDevice(QStringLiteral("OXY"), 4, 20, QStringLiteral("Analog"));
    oxy->SetNextPollTime(kT0 + kSecond);
    EXPECT_FALSE(PollData(*oxy, kT0 + 0.5 * kSecond));
    EXPECT_TRUE(Commands().isEmpty());

    EXPECT_TRUE(PollData(*oxy, kT0 + kSecond));
    EXPECT_NEAR(oxy->GetNextPollTime(), kT0 + 2 * kSecond, 1e-9);
    EXPECT_EQ(Commands(), QStringList{"SendAnalog 4  Host 20"});

    EXPECT_TRUE(PollData(*oxy, kT0 + 10 * kSecond));
    EXPECT_NEAR(oxy->GetNextPollTime(), kT0 + 11 * kSecond, 1e-9);
    EXPECT_FALSE(PollData(*oxy, kT0 + 10 * kSecond));
    Commands();

    // The local clock goes back an hour (end of summer time): the device is asked at once and
    // then every second from the new time, not silent for an hour.
    const double back = kT0 + 10.5 * kSecond - 3600 * kSecond;
    EXPECT_TRUE(PollData(*oxy, back));
    EXPECT_EQ(Commands(), QStringList{"SendAnalog 4  Host 20"});
    EXPECT_NEAR(oxy->GetNextPollTime(), back + kSecond, 1e-9);
    EXPECT_FALSE(PollData(*oxy, back + 0.5 * kSecond));

    // A pause shortened from ten minutes to one second while data runs takes effect at once.
    oxy->SetPacketPause(60000);
    EXPECT_TRUE(PollData(*oxy, back + kSecond));
    EXPECT_NEAR(oxy->GetNextPollTime(), back + 601 * kSecond, 1e-9);
    oxy->SetPacketPause(100);
    EXPECT_TRUE(PollData(*oxy, back + 2 * kSecond));
    EXPECT_NEAR(oxy->GetNextPollTime(), back + 3 * kSecond, 1e-9);
}

TEST_F(DataPollingTest, OnlyOnDemandDevicesWithDataOnArePolled)
{
    TDevice* oxy = AddDevice(QStringLiteral("OXY"), 4, 20, QStringLiteral("Analog"));
    oxy->SetDataActive(false);
    oxy->SetNextPollTime(kT0);
    EXPECT_FALSE(PollData(*oxy, kT0 + kSecond));
    oxy->SetDataActive(true);
    oxy->SetNextPollTime(kT0);
    for (const int8_t type : {1, 2}) {
        oxy->SetCollectionType(type);
        EXPECT_FALSE(PollData(*oxy, kT0 + kSecond));
    }
    EXPECT_TRUE(Commands().isEmpty());

    // Through the device list's poll.
    oxy->SetCollectionType(0);
    InstallDataPolling(devices);
    EXPECT_TRUE(devices.PollAll(kT0 + kSecond));
    EXPECT_EQ(Commands(), QStringList{"SendAnalog 4  Host 20"});
}

TEST_F(DataPollingTest, EachPortKindGetsItsRequestBetweenItsLabels)
{
    TDevice* freq = AddDevice(QStringLiteral("FRQ"), 6, 22, QStringLiteral("Frequency"));
    TDevice* diff = AddDevice(QStringLiteral("DIF"), 5, 21, QStringLiteral("AnalogDiff"));
    TDevice* oxy = AddDevice(QStringLiteral("OXY"), 4, 20, QStringLiteral("Analog"));
    oxy->SetTimeStampInfix(QStringLiteral(":"));
    oxy->SetPrefix(QStringLiteral("T=\\T"));
    oxy->SetSuffix(QStringLiteral("E"));
    for (TDevice* d : {freq, diff, oxy}) {
        EXPECT_TRUE(PollData(*d, kT0));
    }
    EXPECT_EQ(Commands(),
              (QStringList{"SendFrequency 6  Host 22 \" 1000000\"", "SendAnalogDiff 5  Host 21",
                           "SendString  Host 20 \"T=\"", "SendTime  Host 20 \":\" ",
                           "SendAnalog 4  Host 20", "SendString  Host 20 \"E\""}));

    // A serial instrument is asked with its get-data block; its suffix is never sent.
    TDevice* ctd = AddDevice(QStringLiteral("CTD"), 3, 3, QStringLiteral("Serial"));
    ctd->SetCmdGetData({"D"});
    ctd->SetSuffix(QStringLiteral("E"));
    EXPECT_TRUE(PollData(*ctd, kT0));
    EXPECT_TRUE(Commands().isEmpty());
    char buffer[16];
    uint32_t length = sizeof buffer;
    TListInfo info;
    ASSERT_TRUE(sendQueue.Read(buffer, length, info, false));
    EXPECT_EQ(info.channel, 3);
    EXPECT_EQ(QByteArray(buffer, static_cast<qsizetype>(length)), QByteArray("D\r"));
}

TEST_F(DataPollingTest, LabelsFollowTheCaptureDestination)
{
    TDevice* oxy = AddDevice(QStringLiteral("OXY"), 4, 20, QStringLiteral("Analog"));
    oxy->SetCaptureDest(1);
    oxy->SetCaptureDestOther(40);
    EXPECT_EQ(LabelDestination(*oxy), QStringLiteral(" Host 20"));
    oxy->SetCaptureOn(true);
    EXPECT_EQ(LabelDestination(*oxy), QStringLiteral(" Host 40"));

    oxy->SetCaptureDest(2);
    oxy->SetCaptureDestName(QStringLiteral("OXY\\OXY_000.RAW"));
    EXPECT_EQ(LabelDestination(*oxy), QStringLiteral(" Host 20"));
    devices.SetCaptureToHost(false);
    das.AddSlotName(oxy->GetCaptureDestName());
    AddLabelCommands(*oxy, QStringLiteral("SendString "), QStringLiteral("x"), 0);
    EXPECT_EQ(Commands(), QStringList{"SendString  File 1 \"x\""});

    // The master setting moves while the capture runs: labels stay with the capture where it
    // was made, in the DAS file slot it holds or in the file open on the PC.
    devices.SetCaptureToHost(true);
    EXPECT_EQ(LabelDestination(*oxy), QStringLiteral(" File 1"));
    das.ReleaseSlotName(oxy->GetCaptureDestName());
    QByteArray pcFile;
    oxy->GetMux()->SetCaptureFile(std::make_unique<TMemoryCapture>(&pcFile));
    devices.SetCaptureToHost(false);
    EXPECT_EQ(LabelDestination(*oxy), QStringLiteral(" Host 20"));
    oxy->GetMux()->SetCaptureFile(nullptr);
    // Nothing held at all: never a slot the DAS does not have.
    EXPECT_EQ(LabelDestination(*oxy), QStringLiteral(" Host 20"));

    oxy->SetCaptureDest(7);
    EXPECT_EQ(LabelDestination(*oxy), QStringLiteral(" Host 253"));
}

TEST_F(DataPollingTest, LabelStampsAreRenderedInTheDevicesFormat)
{
    TDevice* ctd = AddDevice(QStringLiteral("CTD"), 3, 3, QStringLiteral("Serial"));
    ctd->SetDateStampFormat(5);
    ctd->SetDateStampInfix(QStringLiteral("-"));
    EXPECT_EQ(Label(ctd, {"\\D"}), QByteArray("034-2024"));
    ctd->SetDateStampFormat(1);
    ctd->SetDateStampInfix(QStringLiteral("/"));
    EXPECT_EQ(Label(ctd, {"<\\D>"}), QByteArray("<02/03/2024>"));
    ctd->SetDateStampFormat(9);
    ctd->SetDateStampInfix(QStringLiteral("-"));
    ctd->SetTimeStampInfix(QStringLiteral("."));
    EXPECT_EQ(Label(ctd, {"\\D"}), QByteArray("02-03-2024 10.05.07"));
    ctd->SetDateStampFormat(16);
    EXPECT_EQ(Label(ctd, {"\\D"}), QByteArray("24-034 10.05.07"));
    ctd->SetTimeStampInfix(QStringLiteral(":"));
    EXPECT_EQ(Label(ctd, {"\\T|\\T"}), QByteArray("10:05:07|10:05:07"));

    // Infixes are text, never pattern letters.
    ctd->SetDateStampFormat(3);
    ctd->SetDateStampInfix(QStringLiteral("d"));
    EXPECT_EQ(Label(ctd, {"\\D"}), QByteArray("03d02d2024"));

    // Format 0 keeps the system's separators; an unknown format gives the system's stamp.
    ctd->SetDateStampFormat(0);
    ctd->SetDateStampInfix(QStringLiteral("-"));
    ctd->SetTimeStampInfix(QStringLiteral("."));
    const QString d = DateSeparator();
    const QString t = TimeSeparator();
    EXPECT_EQ(
        Label(ctd, {"\\D"}),
        QString(QStringLiteral("02") + d + "03" + d + "2024 10" + t + "05" + t + "07").toLatin1());
    ctd->SetDateStampFormat(99);
    EXPECT_EQ(Label(ctd, {"\\D"}),
              DateTimeToStr(QDateTime(QDate(2024, 2, 3), QTime(10, 5, 7))).toLatin1());
}

TEST_F(DataPollingTest, LabelLinesAreSeparatedByCarriageReturnsUnlessSuppressed)
{
    TDevice* ctd = AddDevice(QStringLiteral("CTD"), 3, 3, QStringLiteral("Serial"));
    EXPECT_EQ(Label(ctd, {"A", "B"}), QByteArray("A\rB"));
    EXPECT_EQ(Label(ctd, {"\\!SupCr", "A", "\\\\WaitTicks 5", "\\!Delay 3", "B"}),
              QByteArray("AB"));
    EXPECT_EQ(Label(ctd, {"X\\rY"}), QByteArray("X\rY"));
    // Without a capture file nothing is written, and nothing breaks.
    WriteLabelNow(*ctd, {"A"});
}

}  // namespace
