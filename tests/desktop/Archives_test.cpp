#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <chrono>
#include <memory>

#include "DesktopFixture.h"
#include "desktop/Dasdesktop.h"
#include "desktop/Terminal.h"
#include "link/Host.h"
#include "link/Packets.h"
#include "link/Serial.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"
#include "support/das/DasInstruments.h"

namespace {

using namespace std::chrono_literals;

// The archive actions of the main window on a live session with the stand-in.
class DesktopArchiveTest : public DesktopFixture {
protected:
    // Waits until nothing the stand-in sent is left to show in the device's window.
    bool WaitQuiet(TDevice* device)
    {
        return WaitUntil([this, device] { return das.AllSent() && !device->GetMux()->HasData(); });
    }

    QTemporaryDir archiveDir;
};

// Counts the lines a window's text pane is given, however much of them it keeps.
class TShownLines {
public:
    explicit TShownLines(TTerminalForm& window)
    {
        QTextDocument* document = window.TextPane()->document();
        QObject::connect(document, &QTextDocument::contentsChange, &guard_,
                         [this, document](int position, int, int added) {
                             QTextCursor cursor(document);
                             cursor.setPosition(position);
                             cursor.setPosition(position + added, QTextCursor::KeepAnchor);
                             // Line breaks come back as paragraph separators.
                             count += static_cast<int>(cursor.selectedText().count(QChar(0x2029)));
                         });
    }
    int count = 0;

private:
    QObject guard_;
};

TEST_F(DesktopArchiveTest, AFastPlaybackShowsTheDeviceWindowTheTextItShowedLive)
{
    // Samples long enough that the recording holds several channel rings' worth.
    TDasInstruments instruments(das, console);
    TInstrumentSpec spec;
    spec.sample = "SAMPLE " + QByteArray("0123456789abcdefghijklmnopqrstuvwxyz").repeated(8) + "\r\n";
    spec.interval = 10ms;
    instruments.AddSerialInstrument(1, spec);
    TDASDesktopForm& f = Start();
    TDevice* ctd = Device("CTD");
    ASSERT_NE(ctd, nullptr);
    StreamBetweenGoAndStop(ctd);
    SelectOnly({"CTD"});
    f.UpdateActions();
    Trigger("Desktop_DeviceOn");
    ASSERT_TRUE(WaitUntil([&] { return instruments.SwitchOn(1) && instruments.IsOpen(1); }));
    auto* window = dynamic_cast<TTerminalForm*>(ctd->GetMux()->GetWindow());
    ASSERT_NE(window, nullptr);

    // The device's data shows in its window.
    Trigger("Desktop_StartData");
    ASSERT_TRUE(WaitUntil([&] {
        return window->TextPane()->toPlainText().contains(QStringLiteral("SAMPLE"));
    }, 10000));
    Trigger("Desktop_StopData");
    ASSERT_TRUE(WaitUntil([&] { return !instruments.IsStreaming(1); }));
    ASSERT_TRUE(WaitQuiet(ctd));
    ctd->GetMux()->ClearWindow();
    window->RefreshPanes();
    // Shown, so that every line reaches the pane as it comes (a hidden window keeps only the
    // newest for when it is shown).
    window->ShowNormal();

    // A recorded session: the data started, a good many samples, the data stopped.
    const QString path = archiveDir.filePath(QStringLiteral("session.dar"));
    prompt.QueueFile(path);
    Trigger("RecordDASArchive");
    ASSERT_TRUE(Host.Recording());
    EXPECT_TRUE(prompt.Messages().contains(QStringLiteral("Wendrok: Click to begin archive recording.")));
    const int before = instruments.SamplesFrom(1);
    auto liveLines = std::make_unique<TShownLines>(*window);
    Trigger("Desktop_StartData");
    ASSERT_TRUE(WaitUntil([&] { return instruments.SamplesFrom(1) >= before + 90; }));
    Trigger("Desktop_StopData");
    ASSERT_TRUE(WaitUntil([&] { return !instruments.IsStreaming(1); }));
    ASSERT_TRUE(WaitQuiet(ctd));
    const int samples = instruments.SamplesFrom(1) - before;
    Trigger("RecordDASArchive");
    ASSERT_FALSE(Host.Recording());
    // The pane keeps the newest 20000 characters or so; every line went through it.
    const QString live = window->TextPane()->toPlainText();
    ASSERT_EQ(liveLines->count, samples);
    ASSERT_GE(live.size(), kTerminalPaneChars - kTerminalTrimChars);
    liveLines.reset();

    // Played back as fast as it goes, through the window's own data timer.
    ctd->GetMux()->ClearWindow();
    window->RefreshPanes();
    const int statusRequests = console.Texts().count(kStatusRequestCommand);
    prompt.shown.clear();
    prompt.QueueFile(path);
    prompt.QueueMessageAnswer(TMsgResult::No);
    Trigger("PlayDASArchive");
    ASSERT_EQ(prompt.Messages().size(), 2) << prompt.Messages().join('|').toStdString();
    EXPECT_EQ(prompt.Messages()[0], QStringLiteral("Wendrok: Play back at real-time speed?"));
    EXPECT_TRUE(prompt.Messages()[1].startsWith(QStringLiteral("Wendrok: Archive Starts at: ")));
    EXPECT_FALSE(Host.RealTimePlayback());
    ASSERT_TRUE(WaitUntil([&] {
        return !PlayingBack() && DasPortOpen() && !ctd->GetMux()->HasData();
    }, 30000));
    // The window takes in what it was handed at its own pace; a playback faster than that
    // leaves it the newest text, as the live session did.
    const auto showsTheLiveText = [&] {
        const QString shown = window->TextPane()->toPlainText();
        const qsizetype n = std::min(live.size(), shown.size());
        return n >= kTerminalPaneChars - kTerminalTrimChars && shown.right(n) == live.right(n);
    };
    WaitUntil(showsTheLiveText);
    const QString playedBack = window->TextPane()->toPlainText();
    const qsizetype common = std::min(live.size(), playedBack.size());
    EXPECT_GE(common, kTerminalPaneChars - kTerminalTrimChars);
    EXPECT_TRUE(playedBack.right(common) == live.right(common))
        << "the window shows other text than it showed live";

    // The live link is back: the status requests reach the DAS again.
    EXPECT_TRUE(Host.Thread().Running());
    EXPECT_TRUE(WaitUntil([&] {
        return console.Texts().count(kStatusRequestCommand) > statusRequests;
    }, 10000));
    f.close();
}

}  // namespace
