// The DAS menu's requests against the DAS stand-in, as an operator meets them: every request
// the program sends gets its answer on the channel and in the form the program reads.

#include <QDateTime>
#include <QLabel>
#include <chrono>
#include <QPlainTextEdit>
#include <QRegularExpression>

#include "DesktopFixture.h"
#include "desktop/Terminal.h"
#include "link/Das.h"
#include "support/das/DasCommandLine.h"
#include "support/das/DasDirectory.h"
#include "support/das/DasFiles.h"
#include "support/das/DasInstruments.h"
#include "support/das/DasStatus.h"
#include "support/das/DasSystem.h"

namespace {

// Hands every fixed channel's data on to the main window and keeps a copy of the clock,
// variable and status replies.
class TRecordingReaders final : public IFixedChannelReaders {
public:
    explicit TRecordingReaders(IFixedChannelReaders& next) : next_(next) {}
    void OnStatusChannelData(uint8_t channel, const char* bytes, int count) override
    {
        if (channel == kStatusChannel) {
            ++statusChunks;
        } else {
            muxStats.append(bytes, count);
        }
        next_.OnStatusChannelData(channel, bytes, count);
    }
    void ReceiveDateReply(const char* bytes, int count) override { clock.append(bytes, count); }
    void ReceiveListing(const char* bytes, int count) override { listing.append(bytes, count); }
    void ReceiveListingData(const char* bytes, int count) override
    {
        next_.ReceiveListingData(bytes, count);
    }
    void ReceiveControlText(const char* bytes, int count) override
    {
        next_.ReceiveControlText(bytes, count);
    }

    QByteArray clock;
    QByteArray listing;
    QByteArray muxStats;
    int statusChunks = 0;

private:
    IFixedChannelReaders& next_;
};

// The lines of a reply, without empty ones.
QStringList Lines(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes).split(QRegularExpression(QStringLiteral("[\r\n]+")),
                                            Qt::SkipEmptyParts);
}

class DasAnswersTest : public DesktopFixture {
protected:
    TDASDesktopForm& StartRecording()
    {
        TDASDesktopForm& f = Start();
        recorder = std::make_unique<TRecordingReaders>(f);
        MuxArray->SetFixedChannelReaders(recorder.get());
        return f;
    }

    void TearDown() override
    {
        if (MuxArray != nullptr) {
            MuxArray->SetFixedChannelReaders(form.get());
        }
        DesktopFixture::TearDown();
    }

    // Waits until everything the DAS answered before now has reached the program: a status
    // request queued after it is answered.
    bool WaitForEarlierAnswers()
    {
        const int before = recorder->statusChunks;
        Das->SendCommand(kStatusRequestCommand);
        return WaitUntil([&] { return recorder->statusChunks > before; });
    }
    // The same through the main window's status bar: its panel 1 shows the next status line.
    static bool WaitForEarlierAnswersOf(TDASDesktopForm& f)
    {
        f.Panel(1)->setText(QString());
        Das->SendCommand(kStatusRequestCommand);
        return WaitUntil([&] { return !f.PanelText(1).isEmpty(); });
    }

    static TTerminalForm* Window(uint8_t channel)
    {
        return dynamic_cast<TTerminalForm*>(MuxArray->GetChannel(channel)->GetWindow());
    }

    TDasFiles files{das, console};
    TDasDirectory disk{das, console, files};
    TDasInstruments instruments{das, console};
    TDasStatus status{console, &instruments, &files};
    TDasSystem system{console, &instruments};
    // Commands nothing above takes are complained about on the error channel.
    TDasCommandLine commandLine{console};
    std::unique_ptr<TRecordingReaders> recorder;
};

TEST_F(DasAnswersTest, ClockRequestIsAnsweredOnItsChannelAndTheClockCanBeSet)
{
    StartRecording();
    Trigger("Desktop_SetDASTimeDate");
    ASSERT_TRUE(WaitUntil([&] { return recorder->clock.endsWith("\r\n"); }));

    // The reader drops a reply's first byte and reads the rest as weekday, month name, day,
    // year, two blanks and the time.
    const QRegularExpression dateForm(QStringLiteral(
        "^(Monday|Tuesday|Wednesday|Thursday|Friday|Saturday|Sunday), "
        "(January|February|March|April|May|June|July|August|September|October|November|"
        "December) (\\d{1,2}), (\\d{4})  (\\d\\d):(\\d\\d):(\\d\\d)\r\n$"));
    const QString reply = QString::fromLatin1(recorder->clock.mid(1));
    const QRegularExpressionMatch match = dateForm.match(reply);
    ASSERT_TRUE(match.hasMatch()) << reply.toStdString();
    const QDate date = QLocale(QLocale::English).toDate(
        match.captured(2) + QLatin1Char(' ') + match.captured(3) + QLatin1Char(' ') +
            match.captured(4),
        QStringLiteral("MMMM d yyyy"));
    const QDateTime dasTime(date, QTime(match.captured(5).toInt(), match.captured(6).toInt(),
                                        match.captured(7).toInt()));
    EXPECT_LE(std::abs(dasTime.secsTo(QDateTime::currentDateTime())), 10);
    EXPECT_EQ(QLocale(QLocale::English).dayName(date.dayOfWeek()), match.captured(1));

    // The clock is set month first, as the DAS writes its dates.
    Das->PicoDos(QStringLiteral("Date 06/03/2008 14:05:31"));
    recorder->clock.clear();
    Trigger("Desktop_SetDASTimeDate");
    ASSERT_TRUE(WaitUntil([&] { return recorder->clock.endsWith("\r\n"); }));
    EXPECT_TRUE(QString::fromLatin1(recorder->clock)
                    .contains(QRegularExpression(
                        QStringLiteral("^\nTuesday, June 3, 2008  14:05:[3-5]\\d\r\n$"))))
        << recorder->clock.toStdString();

    // Once the console output is back on the DAS's serial port, "Date" prints nothing here.
    ASSERT_TRUE(WaitUntil([&] {
        return console.Texts().count(QStringLiteral("SetConOut Serial 0")) == 2;
    }));
    recorder->clock.clear();
    Das->PicoDos(QStringLiteral("Date"));
    ASSERT_TRUE(WaitForEarlierAnswers());
    EXPECT_TRUE(recorder->clock.isEmpty()) << recorder->clock.toStdString();
}

TEST_F(DasAnswersTest, PowerUpVariablesAreListedForTheWindowAndKeepWhatIsSet)
{
    StartRecording();
    Trigger("Desktop_SetupSysVars");
    ASSERT_TRUE(WaitUntil([&] { return recorder->listing.contains("PX"); }));
    // The window reads the listing through a buffer of 256 bytes.
    EXPECT_LT(recorder->listing.size(), 256);
    QStringList lines = Lines(recorder->listing);
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.last().startsWith(QStringLiteral("PX")));
    EXPECT_FALSE(lines.last().contains(QLatin1Char('=')));
    const QStringList known{"INITSCRIPT",  "AUTORUN",     "SWITCH.SLEEP", "SWITCH.SCRIPT",
                            "HOST.BAUD",   "HOST.PROTO",  "INFO.VERBOSE", "INFO.DEST",
                            "WAKECHAR",    "WAKECHANNEL", "SCB.13",       "PRSCALE",
                            "PROFFSET",    "NOVARTYPE"};
    for (const QString& line : lines.mid(0, lines.size() - 1)) {
        EXPECT_TRUE(known.contains(line.section(QLatin1Char('='), 0, 0))) << line.toStdString();
    }
    EXPECT_TRUE(lines.contains(QStringLiteral("AUTORUN=0")));
    EXPECT_TRUE(lines.contains(QStringLiteral("SWITCH.SLEEP=1")));

    // What the window's OK sends: a value, and an empty value for a switch back to its
    // default, which is listed as such.
    Das->PicoDos(QStringLiteral("Set AUTORUN=1"));
    Das->PicoDos(QStringLiteral("Set INITSCRIPT=ACQUIRE.PXS"));
    Das->PicoDos(QStringLiteral("Set SWITCH.SLEEP="));
    ASSERT_TRUE(WaitForEarlierAnswers());
    EXPECT_EQ(system.Variable(QStringLiteral("INITSCRIPT")), QStringLiteral("ACQUIRE.PXS"));
    recorder->listing.clear();
    Trigger("Desktop_SetupSysVars");
    ASSERT_TRUE(WaitUntil([&] { return recorder->listing.contains("PX"); }));
    lines = Lines(recorder->listing);
    EXPECT_TRUE(lines.contains(QStringLiteral("AUTORUN=1")));
    EXPECT_TRUE(lines.contains(QStringLiteral("INITSCRIPT=ACQUIRE.PXS")));
    EXPECT_TRUE(lines.contains(QStringLiteral("SWITCH.SLEEP=")));
}

TEST_F(DasAnswersTest, DasStatisticsReportOpensTheStatisticsWindow)
{
    StartRecording();
    Trigger("ShowDASStatistics");
    ASSERT_TRUE(WaitUntil([&] { return recorder->muxStats.endsWith("\r\n"); }));
    ASSERT_TRUE(WaitForEarlierAnswers());
    const QStringList lines = Lines(recorder->muxStats);
    ASSERT_GE(lines.size(), 3);
    // A report begins with a line whose first letter is "A", which clears and shows the window.
    EXPECT_TRUE(lines.first().startsWith(QLatin1Char('A')));
    EXPECT_TRUE(FrmMuxStats->isVisible());
    const QStringList commands = lines.filter(QRegularExpression(QStringLiteral(
        "^Channel 255: \\d+ bytes to host, [1-9]\\d* bytes from host$")));
    EXPECT_EQ(commands.size(), 1) << lines.join(QLatin1Char('|')).toStdString();
}

TEST_F(DasAnswersTest, ScriptMenuLoadsShowsRunsStopsAndSavesTheScript)
{
    TDASDesktopForm& f = Start();
    // Running with no script loaded: the DAS complains on the error channel, whose window
    // comes to the front.
    Trigger("Desktop_RunScript");
    ASSERT_TRUE(WaitUntil([] {
        return Window(kErrorChannel)->TextPane()->toPlainText().contains(
            QStringLiteral("no script"), Qt::CaseInsensitive);
    }));
    EXPECT_TRUE(Window(kErrorChannel)->isVisible());

    files.PutFile(QStringLiteral("DEMO.PXS"), "; demo\r\nSETPOWER 1 1\r\n");
    Das->SendCommand(QStringLiteral("LoadScript \"DEMO.PXS\""));
    Trigger("Desktop_ShowLoadedScript");
    ASSERT_TRUE(WaitUntil([] {
        return Window(kScriptChannel)->TextPane()->toPlainText() ==
               QStringLiteral("; demo\nSETPOWER 1 1\n");
    })) << Window(kScriptChannel)->TextPane()->toPlainText().toStdString();

    EXPECT_TRUE(WaitUntil([&] { return f.PanelText(5) == QStringLiteral("Script Loaded"); }));
    Trigger("Desktop_RunScript");
    EXPECT_TRUE(WaitUntil([&] { return f.PanelText(5) == QStringLiteral("Script Running"); }));
    Trigger("Desktop_StopScript");
    EXPECT_TRUE(WaitUntil([&] { return f.PanelText(5) == QStringLiteral("Script Halted"); }));

    Das->SendCommand(QStringLiteral("SaveScript \"COPY.PXS\""));
    ASSERT_TRUE(files.WaitForFile(QStringLiteral("COPY.PXS")));
    EXPECT_EQ(files.File(QStringLiteral("COPY.PXS")), QByteArray("; demo\r\nSETPOWER 1 1\r\n"));
}

TEST_F(DasAnswersTest, InputsClockStampsAndProtocolChangeAnswer)
{
    Start();
    Das->PicoDos(QStringLiteral("Date 06/03/2008 14:05:31"));
    // Channel 99 has no window of its own: its data shows on the info channel after "[99]".
    Das->SendCommand(QStringLiteral("SendAnalog 4  Host 99"));
    Das->SendCommand(QStringLiteral("SendAnalogDiff 5  Host 99"));
    Das->SendCommand(QStringLiteral("SendFrequency 6  Host 99 \" 1000000\""));
    Das->SendCommand(QStringLiteral("SendDate  Host 99 \"-\" 1"));
    Das->SendCommand(QStringLiteral("SendString  Host 99 \"|\""));
    Das->SendCommand(QStringLiteral("SendDate  Host 99 \"/\" 13"));
    Das->SendCommand(QStringLiteral("SendString  Host 99 \"|\""));
    Das->SendCommand(QStringLiteral("SendTime  Host 99 \".\" "));
    Das->SendCommand(QStringLiteral("SendString  Host 99 \"\\r\""));
    TTerminalForm* info = Window(kInfoChannel);
    ASSERT_TRUE(WaitUntil([&] { return info->TextPane()->toPlainText().count(QStringLiteral("[99]")) >= 9; }));
    const QString text = info->TextPane()->toPlainText().remove(QStringLiteral("[99]"));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral(
        "^\\d\\.\\d{4}\n-?0\\.\\d{4}\n\\d{4}\\.\\d\\d\n"
        "06-03-2008\\|155/2008 14:0[5-6]:\\d\\d\\|14\\.0[5-6]\\.\\d\\d\n$"))))
        << text.toStdString();

    // The host communications setup's request moves the DAS to the other protocol level.
    Das->SendCommand(QStringLiteral("SETPROTOCOL 115200 2"));
    EXPECT_TRUE(WaitUntil([&] { return das.Protocol() == 2; }));
}

TEST_F(DasAnswersTest, DeviceSequencesMeetNoUnknownCommandAndCaptureIntoADasFile)
{
    using namespace std::chrono_literals;
    instruments.SetDisk(&files);
    TInstrumentSpec spec;
    spec.interval = 20ms;
    instruments.AddSerialInstrument(1, spec);
    TDASDesktopForm& f = Start();
    TDevice* ctd = Device("CTD");
    StreamBetweenGoAndStop(ctd);
    // Captured into a sequentially numbered file on the DAS, which numbers it itself.
    files.SetSequenceNumberSource([this] { return system.SequenceNumber(); });
    Devices->SetCaptureToHost(false);
    ctd->SetCaptureDest(2);
    ctd->SetCaptureDestName(QStringLiteral("CTD\\CTD_000.RAW"));
    f.SetSeqNum(7);

    // Every device on, its data and capture started, then all stopped again: every command of
    // those sequences is one the DAS knows. (OK to the warning that the data stays on the DAS.)
    prompt.QueueMessageAnswer(TMsgResult::Ok);
    Trigger("Desktop_StartAll");
    ASSERT_TRUE(WaitUntil([&] { return ctd->GetDataOn() && instruments.IsStreaming(1); }));
    ASSERT_TRUE(WaitUntil([&] { return instruments.SamplesFrom(1) >= 5; }));
    Trigger("Desktop_StopAll");
    ASSERT_TRUE(WaitUntil([&] { return !ctd->GetDataOn() && !instruments.IsStreaming(1); }));
    ASSERT_TRUE(WaitUntil([&] { return !instruments.IsOpen(1); }));
    Trigger("ShowDASStatistics");
    ASSERT_TRUE(WaitForEarlierAnswersOf(f));
    EXPECT_FALSE(Window(kErrorChannel)->TextPane()->toPlainText().contains(
        QStringLiteral("Unknown command")))
        << Window(kErrorChannel)->TextPane()->toPlainText().toStdString();

    // The samples went into the capture file on the DAS, the file slot is closed again.
    const QStringList captured = files.FileNames().filter(QStringLiteral("CTD"));
    ASSERT_EQ(captured.size(), 1) << files.FileNames().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(captured.first().endsWith(QStringLiteral("CTD_007.RAW"), Qt::CaseInsensitive))
        << captured.first().toStdString();
    const QByteArray bytes = files.File(captured.first());
    EXPECT_GE(bytes.count("SAMPLE\r\n"), 5);
    files.AppendToSlot(1, "after");
    EXPECT_FALSE(files.File(captured.first()).endsWith("after"));
    EXPECT_EQ(system.SequenceNumber(), f.GetSeqNum());
}

}  // namespace
