#include "desktop/Terminal.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "desktop/WinMenuItem.h"
#include "link/MuxClasses.h"
#include "link/SendQueues.h"
#include "platform/Registry.h"
#include "station/DeviceClasses.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"

namespace {

// An instrument as its channel sees it, on a port type the test chooses.
class TFakeDevice final : public IChannelDevice {
public:
    explicit TFakeDevice(bool serial, int echoPort = 0) : serial_(serial), echoPort_(echoPort) {}
    QString GetName() const override { return QStringLiteral("CTD"); }
    void SetPortActivity() override {}
    void RefreshListRow() override {}
    void SetDataActive(bool) override {}
    void SetBusy(bool) override {}
    void SetCaptureOn(bool) override {}
    TCaptureTarget CaptureTarget() const override { return {}; }
    void CaptureStopped() override {}
    TChannelSerialSettings EchoSettings() const override
    {
        TChannelSerialSettings echo;
        echo.port = echoPort_;
        return echo;
    }
    TChannelPortInfo PortInfo() const override
    {
        TChannelPortInfo info;
        info.hasPort = true;
        info.isSerial = serial_;
        return info;
    }

private:
    bool serial_;
    int echoPort_;
};

// An echo port that takes every byte.
class TNullEchoPort final : public IEchoPort {
public:
    bool WritePort(const char*, int) override { return true; }
};

// A terminal whose font dialog answers with a font the test sets.
class TScriptedFontTerminal final : public TTerminalForm {
public:
    using TTerminalForm::TTerminalForm;
    std::optional<QFont> answer;
    int answerColor = 0;
    int offeredColor = 0;
    int asked = 0;

protected:
    bool ChooseFont(QFont& font, int& color) override
    {
        ++asked;
        offeredColor = color;
        if (!answer) {
            return false;
        }
        font = *answer;
        color = answerColor;
        return true;
    }
};

// Calls back for every paint event of the widgets it watches.
class TEventCounter final : public QObject {
public:
    explicit TEventCounter(std::function<void(QObject*)> onPaint) : onPaint_(std::move(onPaint))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            onPaint_(watched);
        }
        return false;
    }

private:
    std::function<void(QObject*)> onPaint_;
};

class TerminalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SendQueue = new TDataList;
        MuxArray = new TMuxArray;
        ConfigurationChanged = false;
    }

    void TearDown() override
    {
        delete MuxArray;
        MuxArray = nullptr;
        delete SendQueue;
        SendQueue = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A device window on `channel`, owned by the channel.
    TTerminalForm* DeviceWindow(uint8_t channel, TFakeDevice& device)
    {
        TMux* mux = MuxArray->AddChannel(channel, &device);
        auto* form = new TTerminalForm(*mux, device);
        mux->SetWindow(form);
        return form;
    }

    // A plain window on `channel`, owned by the channel.
    TTerminalForm* PlainWindow(uint8_t channel)
    {
        auto* form = new TTerminalForm(QStringLiteral("Host Channel %1").arg(channel), false);
        MuxArray->AddChannel(channel, form);
        return form;
    }

    // Every queued block, in order, with its channel.
    static std::vector<std::pair<int, QByteArray>> TakeBlocks()
    {
        std::vector<std::pair<int, QByteArray>> blocks;
        QByteArray buffer(0x10000, '\0');
        while (SendQueue->Count() > 0) {
            uint32_t length = static_cast<uint32_t>(buffer.size());
            TListInfo info;
            SendQueue->Read(buffer.data(), length, info, false);
            blocks.emplace_back(info.channel, buffer.left(static_cast<qsizetype>(length)));
        }
        return blocks;
    }

    static QByteArray TakeBytes(int channel)
    {
        QByteArray all;
        for (const auto& [blockChannel, bytes] : TakeBlocks()) {
            EXPECT_EQ(blockChannel, channel);
            all += bytes;
        }
        return all;
    }

    static void Show(TTerminalForm* form, const QByteArray& bytes)
    {
        form->ShowData(bytes.constData(), static_cast<int>(bytes.size()));
    }

    static QStringList Lines(QPlainTextEdit* pane)
    {
        return pane->toPlainText().split(QLatin1Char('\n'));
    }

    static QAction* Action(TTerminalForm* form, const char* name)
    {
        return form->findChild<QAction*>(QString::fromLatin1(name));
    }
};

TEST_F(TerminalTest, TextPaneJoinsLineBreaksAcrossChunksAndAppliesBackspaces)
{
    TTerminalForm* form = PlainWindow(0);
    Show(form, "abc\r");
    Show(form, "\ndef\rghi\nj\r\nk");
    EXPECT_EQ(Lines(form->TextPane()), (QStringList{"abc", "def", "ghi", "j", "k"}));

    form->ClearReceived();
    Show(form, "ab\bc");
    EXPECT_EQ(form->TextPane()->toPlainText(), QStringLiteral("ac"));
    // A backspace at the start of a chunk takes the last character already shown.
    Show(form, "\bX");
    EXPECT_EQ(form->TextPane()->toPlainText(), QStringLiteral("aX"));
    Show(form, "yz\b\b\b");
    EXPECT_EQ(form->TextPane()->toPlainText(), QStringLiteral("a"));

    // The text ends at its first zero byte; Latin-1 bytes show as their characters.
    form->ClearReceived();
    Show(form, QByteArray("na\xEFve\0hidden", 12));
    EXPECT_EQ(form->TextPane()->toPlainText(), QStringLiteral("na\u00EFve"));
}

TEST_F(TerminalTest, HexPaneShowsBytesAsReceivedEvenWithBackspaces)
{
    TTerminalForm* form = PlainWindow(0);
    form->SetViewSplit(0.5);
    form->SetHexWrap(0);
    Show(form, "ab\bc");
    EXPECT_EQ(form->TextPane()->toPlainText(), QStringLiteral("ac"));
    EXPECT_EQ(form->HexPane()->toPlainText(), QStringLiteral("61620863"));

    // Hex only: no text work at all.
    form->SetViewSplit(0.95);
    Show(form, "\b");
    EXPECT_EQ(form->TextPane()->toPlainText(), QStringLiteral("ac"));
    EXPECT_EQ(form->HexPane()->toPlainText(), QStringLiteral("6162086308"));

    // Text only: the hex pane is left alone.
    form->SetViewSplit(0.05);
    Show(form, "d");
    EXPECT_EQ(form->HexPane()->toPlainText(), QStringLiteral("6162086308"));
    EXPECT_EQ(form->TextPane()->toPlainText(), QStringLiteral("acd"));
}

TEST_F(TerminalTest, HexPaneWrapsByCountAndAfterPatternAcrossChunks)
{
    TTerminalForm* form = PlainWindow(0);
    form->SetViewSplit(1.0);
    form->SetHexWrap(4);
    Show(form, "ABCDEF");
    Show(form, "GHIJ");
    EXPECT_EQ(Lines(form->HexPane()), (QStringList{"41424344", "45464748", "494A"}));

    TTerminalForm* patterned = PlainWindow(1);
    patterned->SetViewSplit(1.0);
    patterned->SetHexWrap(0);
    patterned->SetHexWrapString(QStringLiteral("0d0a"));
    EXPECT_EQ(patterned->GetHexWrapString(), QStringLiteral("0D0A"));
    Show(patterned, "AB\r");
    Show(patterned, "\nCD\r\nE");
    EXPECT_EQ(Lines(patterned->HexPane()), (QStringList{"41420D0A", "43440D0A", "45"}));

    // Count and pattern together: whichever comes first breaks the line.
    patterned->HexPane()->clear();
    patterned->SetHexWrap(3);
    Show(patterned, "\r\nabcd\r\nx");
    EXPECT_EQ(Lines(patterned->HexPane()), (QStringList{"0D0A", "616263", "640D0A", "78"}));
}

TEST_F(TerminalTest, WrapPatternTextIsReadAsHexPairs)
{
    TTerminalForm* form = PlainWindow(0);
    form->SetHexWrapString(QStringLiteral("FF0D"));
    EXPECT_EQ(form->GetHexWrapString(), QStringLiteral("FF0D"));
    EXPECT_TRUE(ConfigurationChanged);

    form->SetHexWrapString(QStringLiteral("0d 0a,f"));  // blanks skipped, odd digit dropped
    EXPECT_EQ(form->GetHexWrapString(), QStringLiteral("0D0A"));

    ConfigurationChanged = false;
    form->SetHexWrapString(QString());
    EXPECT_EQ(form->GetHexWrapString(), QString());
    EXPECT_FALSE(ConfigurationChanged);

    // A pattern of complement bytes cannot match before it has been received.
    form->SetViewSplit(1.0);
    form->SetHexWrap(0);
    form->SetHexWrapString(QStringLiteral("00"));
    Show(form, QByteArray("\xFF\x01", 2));
    EXPECT_EQ(form->HexPane()->toPlainText(), QStringLiteral("FF01"));
}

TEST_F(TerminalTest, HexDigitsTypedSendOneBytePerPair)
{
    TFakeDevice device(true);
    TTerminalForm* form = DeviceWindow(7, device);
    QPlainTextEdit* hex = form->HexPane();

    QTest::keyClicks(hex, QStringLiteral("41aB0A"));
    EXPECT_EQ(TakeBytes(7), QByteArray("\x41\xAB\x0A", 3));

    QTest::keyClick(hex, Qt::Key_G, Qt::NoModifier);
    QTest::keyClick(hex, '1');
    QTest::keyClick(hex, Qt::Key_Delete);  // forgets the pending digit
    QTest::keyClicks(hex, QStringLiteral("11"));
    QTest::keyClick(hex, Qt::Key_Return);
    EXPECT_EQ(TakeBytes(7), QByteArray("\x11\r", 2));
    EXPECT_TRUE(hex->toPlainText().isEmpty());
    EXPECT_TRUE(form->TextPane()->toPlainText().isEmpty());
}

TEST_F(TerminalTest, TextKeysSendBytesAndAreNeverEchoed)
{
    TFakeDevice device(true);
    TTerminalForm* form = DeviceWindow(7, device);
    QPlainTextEdit* text = form->TextPane();

    QTest::keyClick(text, 'x');
    QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(text, Qt::Key_Return);
    QTest::keyClick(text, Qt::Key_Delete);
    QTest::keyClick(text, Qt::Key_Backspace);
    QTest::keyClick(text, Qt::Key_Left);
    EXPECT_EQ(TakeBytes(7), QByteArray("x\x03\r\b", 4));
    EXPECT_TRUE(text->toPlainText().isEmpty());

    // Received text stays as it is whatever is typed.
    Show(form, "line");
    form->RefreshPanes();
    QTest::keyClicks(text, QStringLiteral("zz"));
    QTest::keyClick(text, Qt::Key_Backspace);
    EXPECT_EQ(text->toPlainText(), QStringLiteral("line"));
    EXPECT_EQ(TakeBytes(7), QByteArray("zz"));
}

TEST_F(TerminalTest, KeysSendNothingWithoutASerialDeviceOrChannel)
{
    TTerminalForm* plain = PlainWindow(0);
    QTest::keyClicks(plain->TextPane(), QStringLiteral("ab"));
    QTest::keyClick(plain->TextPane(), Qt::Key_Return);
    QTest::keyClicks(plain->HexPane(), QStringLiteral("41"));
    QTest::keyClick(plain->HexPane(), Qt::Key_Return);

    TFakeDevice analog(false);
    TTerminalForm* analogWindow = DeviceWindow(9, analog);
    QTest::keyClicks(analogWindow->TextPane(), QStringLiteral("ab"));
    QTest::keyClicks(analogWindow->HexPane(), QStringLiteral("41"));
    QTest::keyClick(analogWindow->HexPane(), Qt::Key_Return);
    EXPECT_EQ(SendQueue->Count(), 0);

    // A window that was never attached has no channel, so nothing reaches channel 255.
    TTerminalForm detached(QStringLiteral("Detached"), false);
    QApplication::clipboard()->setText(QStringLiteral("DIR\r"));
    Action(&detached, "EditPaste")->trigger();
    EXPECT_EQ(SendQueue->Count(), 0);
}

TEST_F(TerminalTest, PasteSendsTheWholeClipboardOnTheWindowsChannel)
{
    TTerminalForm* script = PlainWindow(kScriptChannel);
    QApplication::clipboard()->setText(QStringLiteral("DIR\r"));
    Action(script, "EditPaste")->trigger();
    const auto blocks = TakeBlocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].first, kScriptChannel);
    EXPECT_EQ(blocks[0].second, QByteArray("DIR\r"));

    // 100 kB is more than one block carries: it goes in several, nothing lost.
    QByteArray big;
    for (int i = 0; i < 100 * 1024; ++i) {
        big.append(static_cast<char>(i % 79 == 78 ? '\r' : 'A' + i % 26));
    }
    QApplication::clipboard()->setText(QString::fromLatin1(big));
    Action(script, "EditPaste")->trigger();
    const auto bigBlocks = TakeBlocks();
    EXPECT_GE(bigBlocks.size(), 2u);
    QByteArray received;
    for (const auto& [channel, bytes] : bigBlocks) {
        EXPECT_EQ(channel, kScriptChannel);
        EXPECT_LE(bytes.size(), 0xFFFF);
        received += bytes;
    }
    EXPECT_EQ(received.size(), big.size());
    EXPECT_TRUE(received == big);

    // Lines copied from an editor here end in LF; the instrument gets CR LF, as it would from
    // the consoles it was set up with. Line ends that are CR LF or CR already stay as they are.
    QApplication::clipboard()->setText(QStringLiteral("SETBAUD 9600\nGO\r\nSTOP\rT=25\u00B0\n\n"));
    Action(script, "EditPaste")->trigger();
    const auto lines = TakeBlocks();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].second, QByteArray("SETBAUD 9600\r\nGO\r\nSTOP\rT=25\xB0\r\n\r\n"));
    EXPECT_EQ(PasteBytes(QStringLiteral("\u20AC1")), QByteArray("?1"));

    QApplication::clipboard()->clear();
    Action(script, "EditPaste")->trigger();
    EXPECT_EQ(SendQueue->Count(), 0);  // an empty block would mean "end of transfer"
}

TEST_F(TerminalTest, PanesKeepAbout20000CharactersTrimmingAtLeast5000AtATime)
{
    TTerminalForm* form = PlainWindow(0);
    form->SetViewSplit(0.5);
    form->SetHexWrap(0);
    // 19995 characters, then 10 more: the oldest 5000 go and 15005 stay.
    QByteArray start;
    for (int i = 0; start.size() < 19995; ++i) {
        start += static_cast<char>('a' + i % 26);
    }
    start.truncate(19995);
    Show(form, start);
    EXPECT_EQ(form->TextPane()->toPlainText(), QString::fromLatin1(start));
    Show(form, "0123456789");
    EXPECT_EQ(form->TextPane()->toPlainText(),
              QString::fromLatin1(start.mid(5000) + "0123456789"));
    // The hex pane (one endless line of two digits a byte) keeps its newest digits the same
    // way.
    const QString hex = form->HexPane()->toPlainText();
    EXPECT_LE(hex.size(), kTerminalPaneChars);
    EXPECT_TRUE(hex.endsWith(QStringLiteral("30313233343536373839")));

    // A chunk longer than what a pane keeps leaves its newest 20000 characters alone.
    QByteArray big;
    for (int line = 0; big.size() < 30000; ++line) {
        big += QByteArray::number(1000000 + line) + "\r\n";
    }
    Show(form, big);
    const QString text = form->TextPane()->toPlainText();
    EXPECT_EQ(text.size(), kTerminalPaneChars);
    EXPECT_TRUE(text.endsWith(QString::fromLatin1(big.right(90)).replace(QStringLiteral("\r\n"),
                                                                         QStringLiteral("\n"))));
    EXPECT_EQ(form->HexPane()->toPlainText().size(), kTerminalPaneChars);
    EXPECT_EQ(form->TextPane()->textCursor().position(),
              form->TextPane()->document()->characterCount() - 1);

    // Many small chunks: never above the limit, the newest always there.
    for (int i = 0; i < 300; ++i) {
        Show(form, QByteArray(300, static_cast<char>('a' + i % 26)) + "\r\n");
        ASSERT_LE(form->TextPane()->toPlainText().size(), kTerminalPaneChars);
    }
    EXPECT_TRUE(form->TextPane()->toPlainText().endsWith(QString(300, QLatin1Char('a' + 299 % 26)) +
                                                         QLatin1Char('\n')));
}

TEST_F(TerminalTest, HiddenWindowsWaitAndShownOnesRefreshAtABoundedRate)
{
    TTerminalForm* form = PlainWindow(0);
    auto* pane = form->findChild<QPlainTextEdit*>(QStringLiteral("Memo_Text"));
    // Hidden: the pane is not touched, however much comes; it keeps what a pane holds.
    for (int i = 0; i < 100; ++i) {
        Show(form, QByteArray(500, static_cast<char>('a' + i % 26)));
    }
    EXPECT_TRUE(pane->document()->isEmpty());
    form->resize(400, 300);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    EXPECT_EQ(pane->toPlainText().size(), kTerminalPaneChars);
    EXPECT_TRUE(pane->toPlainText().endsWith(QString(500, QLatin1Char('a' + 99 % 26))));

    // Shown: the first chunk shows at once, the next ones together once the moment is over.
    QTest::qWait(kTerminalRefreshMs + 50);
    pane->clear();
    Show(form, "first\r\n");
    EXPECT_EQ(pane->toPlainText(), QStringLiteral("first\n"));
    Show(form, "second\r\n");
    Show(form, "third\r\n");
    EXPECT_EQ(pane->toPlainText(), QStringLiteral("first\n"));
    EXPECT_TRUE(WaitUntil(
        [&] { return pane->toPlainText() == QStringLiteral("first\nsecond\nthird\n"); }));

    // With nothing new, the operator's scroll position stays.
    for (int i = 0; i < 200; ++i) {
        Show(form, "line\r\n");
    }
    form->RefreshPanes();
    ASSERT_GT(pane->verticalScrollBar()->maximum(), 0);
    pane->verticalScrollBar()->setValue(0);
    QTest::qWait(kTerminalRefreshMs + 50);
    form->RefreshPanes();
    EXPECT_EQ(pane->verticalScrollBar()->value(), 0);
    // New data scrolls to the newest line.
    Show(form, "newest\r\n");
    EXPECT_TRUE(WaitUntil([&] {
        return pane->verticalScrollBar()->value() == pane->verticalScrollBar()->maximum();
    }));

    // Minimised: the pane waits until the window is back.
    form->showMinimized();
    ASSERT_TRUE(WaitUntil([&] { return form->isMinimized(); }));
    const QString before = pane->toPlainText();
    Show(form, "while away\r\n");
    QTest::qWait(kTerminalRefreshMs + 50);
    EXPECT_EQ(pane->toPlainText(), before);
    form->showNormal();
    EXPECT_TRUE(WaitUntil([&] { return pane->toPlainText().endsWith(QStringLiteral("while away\n")); }));
}

TEST_F(TerminalTest, StreamingLeavesScrollBarsThatShowNothingNewUnpainted)
{
    // Hex only, without wrap: the pane is one line that grows and is trimmed, always shown at
    // its newest end, so neither bar changes on screen.
    TTerminalForm* form = PlainWindow(0);
    form->SetViewSplit(1.0);
    form->SetHexWrap(0);
    form->resize(400, 300);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    QPlainTextEdit* pane = form->HexPane();
    int viewportPaints = 0;
    int barPaints = 0;
    TEventCounter counter([&](QObject* watched) {
        if (watched == pane->viewport()) {
            ++viewportPaints;
        } else {
            ++barPaints;
        }
    });
    for (QWidget* watched : {static_cast<QWidget*>(pane->viewport()),
                             static_cast<QWidget*>(pane->horizontalScrollBar()),
                             static_cast<QWidget*>(pane->verticalScrollBar())}) {
        watched->installEventFilter(&counter);
    }
    // Everything asked for so far is painted once the viewport has painted twice more.
    const auto settle = [&] {
        for (int i = 0; i < 2; ++i) {
            const int before = viewportPaints;
            pane->viewport()->update();
            ASSERT_TRUE(WaitUntil([&] { return viewportPaints > before; }));
        }
    };
    Show(form, QByteArray(12000, 'A'));
    form->RefreshPanes();
    settle();
    ASSERT_EQ(pane->toPlainText().size(), kTerminalPaneChars);
    barPaints = 0;
    for (int i = 0; i < 6; ++i) {
        Show(form, QByteArray(1000, static_cast<char>('B' + i)));
        form->RefreshPanes();
        settle();
    }
    EXPECT_TRUE(pane->toPlainText().endsWith(QStringLiteral("47")));
    EXPECT_EQ(barPaints, 0);
}

TEST_F(TerminalTest, ViewSplitShowsPanesAndChecksItsAction)
{
    TTerminalForm* form = PlainWindow(0);
    form->resize(600, 400);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    auto* splitter = form->findChild<QSplitter*>(QStringLiteral("Splitter1"));
    ASSERT_EQ(splitter->width(), 600);

    form->SetViewSplit(0.5);
    EXPECT_EQ(form->GetHexWidth(), 0.5);
    EXPECT_EQ(form->HexPane()->width(), 300);
    EXPECT_TRUE(form->TextPane()->isVisible());
    EXPECT_TRUE(Action(form, "ViewBoth")->isChecked());
    EXPECT_FALSE(Action(form, "ViewHex")->isChecked());

    form->SetViewSplit(0.95);
    EXPECT_EQ(form->GetHexWidth(), 100.0);
    EXPECT_TRUE(form->HexPane()->isVisible());
    EXPECT_FALSE(form->TextPane()->isVisible());
    EXPECT_TRUE(Action(form, "ViewHex")->isChecked());
    EXPECT_FALSE(Action(form, "ViewBoth")->isChecked());

    Action(form, "ViewText")->trigger();
    EXPECT_EQ(form->GetHexWidth(), 0.0);
    EXPECT_FALSE(form->HexPane()->isVisible());
    EXPECT_TRUE(form->TextPane()->isVisible());
    EXPECT_TRUE(Action(form, "ViewText")->isChecked());

    // The split follows a resize.
    form->SetViewSplit(0.25);
    form->resize(800, 400);
    EXPECT_TRUE(WaitUntil([form] { return form->HexPane()->width() == 200; }));

    // The splitter dragged so that the text pane keeps less than a tenth: the next resize
    // shows the hex pane alone, as the window reopens with the split it stores.
    splitter->setSizes({760, 40});
    Q_EMIT splitter->splitterMoved(760, 1);
    EXPECT_GT(form->GetHexWidth(), 0.9);
    EXPECT_LT(form->GetHexWidth(), 1.0);
    form->resize(700, 400);
    EXPECT_EQ(form->GetHexWidth(), 100.0);
    EXPECT_TRUE(Action(form, "ViewHex")->isChecked());
    EXPECT_FALSE(Action(form, "ViewBoth")->isChecked());
    EXPECT_TRUE(WaitUntil([form] { return !form->TextPane()->isVisible(); }));
}

TEST_F(TerminalTest, DeviceMenuFollowsTheWindowKind)
{
    TTerminalForm* plain = PlainWindow(0);
    EXPECT_EQ(plain->findChild<QMenu*>(QStringLiteral("MnuDevice"))->title(),
              QStringLiteral("Setup"));
    EXPECT_TRUE(Action(plain, "TermSetupCapture")->isVisible());
    EXPECT_FALSE(Action(plain, "TermDeviceOn")->isVisible());
    EXPECT_FALSE(Action(plain, "TermOpenSerialPort")->isVisible());
    // The device's runs are listed but greyed: a channel window has no device to run them on.
    for (const char* name :
         {"TermStartAll", "TermStopAll", "TermStartCapture", "TermStopCapture"}) {
        EXPECT_TRUE(Action(plain, name)->isVisible()) << name;
        EXPECT_FALSE(Action(plain, name)->isEnabled()) << name;
    }
    EXPECT_TRUE(Action(plain, "TermSetupCapture")->isEnabled());

    TFakeDevice withEcho(true, 3);
    TTerminalForm* device = DeviceWindow(7, withEcho);
    EXPECT_EQ(device->findChild<QMenu*>(QStringLiteral("MnuDevice"))->title(),
              QStringLiteral("Device"));
    EXPECT_FALSE(Action(device, "TermSetupCapture")->isVisible());
    for (const char* name :
         {"TermDeviceOn", "TermDeviceOff", "TermStartData", "TermStopData", "TermDeviceSetup"}) {
        EXPECT_TRUE(Action(device, name)->isVisible()) << name;
    }
    for (const char* name :
         {"TermStartAll", "TermStopAll", "TermStartCapture", "TermStopCapture"}) {
        EXPECT_TRUE(Action(device, name)->isEnabled()) << name;
    }
    EXPECT_TRUE(Action(device, "TermOpenSerialPort")->isEnabled());
    EXPECT_EQ(Action(device, "TermOpenSerialPort")->text(), QStringLiteral("Open Serial &Port"));
    // The caption follows the channel's echo port as the channel reports its changes.
    TMux* mux = device->GetChannel();
    mux->SetEchoPort(std::make_unique<TNullEchoPort>());
    device->ChannelStateChanged();
    EXPECT_EQ(Action(device, "TermOpenSerialPort")->text(), QStringLiteral("Close Serial &Echo"));
    mux->CloseEcho();
    device->ChannelStateChanged();
    EXPECT_EQ(Action(device, "TermOpenSerialPort")->text(), QStringLiteral("Open Serial &Echo"));

    TFakeDevice noEcho(true, 0);
    EXPECT_FALSE(Action(DeviceWindow(8, noEcho), "TermOpenSerialPort")->isEnabled());
}

TEST_F(TerminalTest, FactoryMakesAttachedDeviceWindows)
{
    TTerminalFactory factory;
    MuxArray->SetTerminalFactory(&factory);
    TFakeDevice device(true);
    TMux* mux = MuxArray->AddChannel(12, &device);
    mux->SetWindow(nullptr);
    auto* form = dynamic_cast<TTerminalForm*>(mux->GetWindow());
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->GetChannelNumber(), 12);
    EXPECT_EQ(form->GetDevice(), &device);
    // The device's settings reach the window through the channel's view.
    EXPECT_EQ(dynamic_cast<IDeviceTerminal*>(mux->GetWindow()), form);

    // Data pushed on the channel reaches the window through the service pass.
    mux->PushData("hi", 2);
    MuxArray->MarkPending(mux);
    MuxArray->Service(0.0);
    EXPECT_EQ(form->TextPane()->toPlainText(), QStringLiteral("hi"));
    MuxArray->SetTerminalFactory(nullptr);
}

TEST_F(TerminalTest, DeviceSettingsRoundTripThroughTheDeviceInterface)
{
    TFakeDevice device(true);
    IDeviceTerminal& terminal = *DeviceWindow(7, device);

    terminal.SetViewSplit(0.3);
    terminal.SetHexWrap(8);
    terminal.SetHexWrapString(QStringLiteral("ff0d"));
    TTerminalFont font;
    font.charset = 0;
    font.color = 0x0000FF;
    font.name = QStringLiteral("Courier New");
    font.size = 14;
    font.bold = true;
    font.italic = false;
    font.underline = true;
    font.strikeOut = true;
    terminal.SetFont(font);
    terminal.SetWindowGeometry(QRect(40, 60, 500, 300));

    EXPECT_EQ(terminal.GetHexWidth(), 0.3);
    EXPECT_EQ(terminal.GetHexWrap(), 8);
    EXPECT_EQ(terminal.GetHexWrapString(), QStringLiteral("FF0D"));
    const TTerminalFont back = terminal.GetFont();
    EXPECT_EQ(back.charset, 0);
    EXPECT_EQ(back.color, 0x0000FF);
    EXPECT_EQ(back.name, QStringLiteral("Courier New"));
    EXPECT_EQ(back.size, 14);
    EXPECT_TRUE(back.bold);
    EXPECT_FALSE(back.italic);
    EXPECT_TRUE(back.underline);
    EXPECT_TRUE(back.strikeOut);
    EXPECT_EQ(terminal.WindowGeometry(), QRect(40, 60, 500, 300));
    EXPECT_EQ(terminal.GetWindowState(), 0);

    // Both panes take the font, in its colour (0x00BBGGRR).
    auto* form = dynamic_cast<TTerminalForm*>(&terminal);
    EXPECT_EQ(form->HexPane()->font().pointSize(), 14);
    EXPECT_EQ(form->HexPane()->palette().color(QPalette::Text), QColor(255, 0, 0));
}

TEST_F(TerminalTest, HexWrapDialogsSetCountAndPattern)
{
    TFakePrompt prompt;
    TTerminalForm* form = PlainWindow(0);
    prompt.QueueInput(QStringLiteral("4"));
    prompt.QueueInput(QStringLiteral("0d0a"));
    Action(form, "ChangeHexWrap")->trigger();
    EXPECT_EQ(form->GetHexWrap(), 4);
    EXPECT_EQ(form->GetHexWrapString(), QStringLiteral("0D0A"));
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("Set Hex Wrap"));
    EXPECT_EQ(prompt.shown[0].text,
              QStringLiteral("Select the number of bytes to show per line (0=Off)."));
    EXPECT_EQ(prompt.shown[1].title, QStringLiteral("Set Hex Wrap String"));
    EXPECT_EQ(prompt.shown[1].text,
              QStringLiteral("Lines will wrap after the specified Hex bytes"));

    // An unreadable count keeps the old one; Cancel on the pattern keeps the pattern.
    prompt.QueueInput(QStringLiteral("lots"));
    prompt.QueueInput(std::nullopt);
    Action(form, "ChangeHexWrap")->trigger();
    EXPECT_EQ(form->GetHexWrap(), 4);
    EXPECT_EQ(form->GetHexWrapString(), QStringLiteral("0D0A"));

    // Cancel on the count ends it: no second question.
    prompt.QueueInput(std::nullopt);
    Action(form, "ChangeHexWrap")->trigger();
    EXPECT_EQ(prompt.shown.size(), 5u);
}

TEST_F(TerminalTest, FontDialogChangesBothPanesOnlyOnOk)
{
    auto* form = new TScriptedFontTerminal(QStringLiteral("Fonts"), false);
    MuxArray->AddChannel(3, form);
    const QFont before = form->TextPane()->font();
    Action(form, "ChangeFont")->trigger();
    EXPECT_EQ(form->asked, 1);
    EXPECT_EQ(form->TextPane()->font(), before);

    EXPECT_EQ(form->GetFont().color, kWindowTextColor);

    QFont chosen(QStringLiteral("Monospace"), 17);
    form->answer = chosen;
    form->answerColor = 0x0000FF;
    Action(form, "ChangeFont")->trigger();
    EXPECT_EQ(form->TextPane()->font().pointSize(), 17);
    EXPECT_EQ(form->HexPane()->font().pointSize(), 17);
    EXPECT_EQ(form->GetFont().name, QStringLiteral("Monospace"));
    // The colour is stored as 0x00BBGGRR and both panes write in it.
    EXPECT_EQ(form->GetFont().color, 0x0000FF);
    EXPECT_EQ(form->TextPane()->palette().color(QPalette::Text), QColor(Qt::red));
    EXPECT_EQ(form->HexPane()->palette().color(QPalette::Text), QColor(Qt::red));
    form->answer.reset();
    Action(form, "ChangeFont")->trigger();
    EXPECT_EQ(form->offeredColor, 0x0000FF);
}

// The real dialog offers the colours beside the fonts and hands back the one picked.
TEST_F(TerminalTest, FontDialogOffersTheTextColour)
{
    TTerminalForm form(QStringLiteral("Colours"), false);
    QStringList offered;
    QTimer::singleShot(0, [&offered] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            ADD_FAILURE() << "no font dialog";
            return;
        }
        auto* colors = dialog->findChild<QComboBox*>(QString(), Qt::FindDirectChildrenOnly);
        if (colors == nullptr) {
            ADD_FAILURE() << "no colour list";
            dialog->reject();
            return;
        }
        for (int i = 0; i < colors->count(); ++i) {
            offered << colors->itemText(i);
        }
        colors->setCurrentIndex(colors->findText(QStringLiteral("Navy")));
        dialog->accept();
    });
    const QFontInfo before(form.TextPane()->font());
    Action(&form, "ChangeFont")->trigger();
    // Left on the family it starts with, OK keeps the face the pane shows (the stored family
    // may not be installed; the dialog lists installed fixed-pitch ones only).
    if (before.fixedPitch()) {
        EXPECT_EQ(QFontInfo(form.TextPane()->font()).family(), before.family());
    }
    EXPECT_EQ(offered.size(), 17);
    EXPECT_EQ(offered.value(0), QStringLiteral("Default"));
    EXPECT_EQ(form.GetFont().color, 0x800000);
    EXPECT_EQ(form.TextPane()->palette().color(QPalette::Text), QColor(0, 0, 0x80));
}

TEST_F(TerminalTest, RememberedPlacementComesBackUnderTheCaption)
{
    {
        TTerminalForm first(QStringLiteral("Placement Test"), true);
        first.move(120, 80);
        first.resize(420, 260);
        first.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
        first.close();
    }
    TTerminalForm second(QStringLiteral("Placement Test"), true);
    EXPECT_EQ(second.size(), QSize(420, 260));
    EXPECT_EQ(second.WindowGeometry().topLeft(), QPoint(120, 80));
    // The operator closed it: it stays closed.
    EXPECT_FALSE(second.isVisible());
    TRegDef reg;
    ASSERT_TRUE(reg.OpenKey(VersionedKeyPath(RegistryReadVersion(), QStringLiteral("Placement Test")),
                            false));
    EXPECT_FALSE(reg.ReadBoolDef(QStringLiteral("Visible"), true));
}

TEST_F(TerminalTest, WindowMenuGoesBeforeTheHiddenDebugEntryAndListsTheOthers)
{
    WindowsList = new TWindowsList;
    TTerminalForm* info = PlainWindow(0);
    info->SetCaption(QStringLiteral("Info Channel"));
    TTerminalForm* error = PlainWindow(kErrorChannel);
    error->SetCaption(QStringLiteral("Error Channel"));
    info->show();
    error->show();

    const QList<QAction*> top = info->menuBar()->actions();
    ASSERT_GE(top.size(), 2);
    EXPECT_EQ(top.at(top.size() - 2)->text(), QStringLiteral("&Window"));
    EXPECT_EQ(top.last()->text(), QStringLiteral("Debug"));
    EXPECT_FALSE(top.last()->isVisible());

    auto* menu = info->findChild<TWindowsMenuItem*>();
    ASSERT_NE(menu, nullptr);
    QStringList entries;
    for (QAction* entry : menu->actions()) {
        entries << (entry->isSeparator() ? QStringLiteral("-") : entry->text());
    }
    EXPECT_EQ(entries.value(0), QStringLiteral("&Cascade"));
    EXPECT_TRUE(entries.contains(QStringLiteral("Error Channel")));
    EXPECT_FALSE(entries.contains(QStringLiteral("Info Channel")));

    info->hide();
    error->hide();
    delete WindowsList;
}

}  // namespace
