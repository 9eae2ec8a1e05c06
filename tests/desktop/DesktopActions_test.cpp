#include "desktop/Dasdesktop.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>
#include <memory>

#include "DesktopFixture.h"
#include "desktop/Forms.h"
#include "desktop/ModalResult.h"
#include "desktop/Terminal.h"
#include "link/Das.h"
#include "link/Global.h"
#include "link/Host.h"
#include "link/Packets.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/SerialPort.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"
#include "support/das/DasConsole.h"
#include "support/das/DasInstruments.h"
#include "support/das/DasStandIn.h"

namespace {

// The program against the stand-in; each test starts it as it needs.
class ActionsTest : public DesktopFixture {};

int IndexOfPrefix(const QStringList& list, const QString& prefix)
{
    for (int i = 0; i < list.size(); ++i) {
        if (list[i].startsWith(prefix)) {
            return i;
        }
    }
    return -1;
}

// The operator's day, end to end through the link to the stand-in and its instrument.
TEST_F(ActionsTest, PowerOnStartDataShowsTheStreamAndCaptureKeepsEveryByte)
{
    TDasInstruments instruments(das, console);
    instruments.AddSerialInstrument(1, TInstrumentSpec{});
    TDASDesktopForm& f = Start();
    TDevice* ctd = Device("CTD");
    ASSERT_NE(ctd, nullptr);
    StreamBetweenGoAndStop(ctd);
    const int channel = ctd->GetHostChannel();
    SelectOnly({"CTD"});
    f.UpdateActions();
    ASSERT_TRUE(f.Action(QStringLiteral("Desktop_DeviceOn"))->isEnabled());

    Trigger("Desktop_DeviceOn");
    ASSERT_TRUE(WaitUntil([&] {
        return instruments.SwitchOn(1) && instruments.IsOpen(1) && instruments.RouteOf(1) == channel;
    }, 10000));
    const QStringList power = console.Texts();
    const int open = IndexOfPrefix(power, QStringLiteral("OpenSerial 1, 9600"));
    const int route = IndexOfPrefix(power, QStringLiteral("RouteSerial 1 Host ") + QString::number(channel));
    const int on = IndexOfPrefix(power, QStringLiteral("SETPOWER 1 1"));
    ASSERT_GE(open, 0) << power.join('|').toStdString();
    EXPECT_LT(open, route);
    EXPECT_LT(route, on);

    // The operator shows text and hex side by side.
    auto* window = dynamic_cast<TTerminalForm*>(ctd->GetMux()->GetWindow());
    ASSERT_NE(window, nullptr);
    window->SetViewSplit(0.5);
    Trigger("Desktop_StartData");
    ASSERT_TRUE(WaitUntil([&] { return ctd->GetDataOn() && instruments.IsStreaming(1); }));
    EXPECT_TRUE(console.Texts().contains(QStringLiteral("SendString Serial 1 \"GO\\r\"")));
    ASSERT_TRUE(WaitUntil([&] {
        return window->TextPane()->toPlainText().contains(QStringLiteral("SAMPLE\nSAMPLE"));
    }));
    EXPECT_TRUE(window->HexPane()->toPlainText().contains(QStringLiteral("53414D504C450D0A")))
        << window->HexPane()->toPlainText().left(200).toStdString();

    // Typed keys travel on the device's channel and are never echoed.
    QTest::keyClicks(window->TextPane(), QStringLiteral("xy"));
    QTest::keyClick(window->TextPane(), Qt::Key_Return);
    EXPECT_TRUE(das.WaitForBytes(static_cast<uint8_t>(channel), 3));
    EXPECT_EQ(das.ReceivedOn(static_cast<uint8_t>(channel)), QByteArray("xy\r"));
    EXPECT_TRUE(WaitUntil([&] { return instruments.LinesTo(1).contains("xy"); }));
    EXPECT_FALSE(window->TextPane()->toPlainText().contains(QLatin1Char('x')));

    Trigger("Desktop_StopData");
    ASSERT_TRUE(WaitUntil([&] { return !instruments.IsStreaming(1); }));
    EXPECT_FALSE(ctd->GetDataOn());

    // A capture holds exactly what streamed while it ran (the last samples of the first run
    // are in before it starts).
    ASSERT_TRUE(WaitUntil([&] { return das.AllSent() && !ctd->GetMux()->HasData(); }));
    const QString file = NativePath(ctd->CaptureTarget().fileName);
    QFile::remove(file);
    Trigger("Desktop_StartCapture");
    ASSERT_TRUE(WaitUntil([&] { return ctd->GetMux()->IsCaptureOnPc(); }));
    const int before = instruments.SamplesFrom(1);
    Trigger("Desktop_StartData");
    ASSERT_TRUE(WaitUntil([&] { return instruments.SamplesFrom(1) >= before + 5; }));
    Trigger("Desktop_StopData");
    ASSERT_TRUE(WaitUntil([&] { return !instruments.IsStreaming(1); }));
    ASSERT_TRUE(WaitUntil([&] { return das.AllSent() && !ctd->GetMux()->HasData(); }));
    const int samples = instruments.SamplesFrom(1) - before;
    Trigger("Desktop_StopCapture");
    ASSERT_TRUE(WaitUntil([&] { return !ctd->GetMux()->HasCaptureFile(); }));
    QFile captured(file);
    ASSERT_TRUE(captured.open(QIODevice::ReadOnly)) << file.toStdString();
    const QByteArray bytes = captured.readAll();
    EXPECT_EQ(bytes.size(), samples * 8);
    EXPECT_EQ(bytes, QByteArray("SAMPLE\r\n").repeated(samples));
    f.close();
}

// On a line that hears itself, where every third echo of an acknowledgement with the host's
// packet riding on it comes back spoilt, the instrument's data streams into a capture while
// the operator types a line in the device's window.
TEST_F(ActionsTest, OnALineThatHearsItselfSpoiltEchoesLeaveTheCaptureAndTheTypedTextExact)
{
    das.SetEcho(true);
    das.SetEchoSpoiling(3);
    TDasInstruments instruments(das, console);
    instruments.AddSerialInstrument(1, TInstrumentSpec{});
    TDASDesktopForm& f = Start();
    TDevice* ctd = Device("CTD");
    ASSERT_NE(ctd, nullptr);
    const auto channel = static_cast<uint8_t>(ctd->GetHostChannel());
    SelectOnly({"CTD"});
    f.UpdateActions();
    Trigger("Desktop_DeviceOn");
    ASSERT_TRUE(WaitUntil(
        [&] { return instruments.IsOpen(1) && instruments.RouteOf(1) == channel; }, 10000));
    auto* window = dynamic_cast<TTerminalForm*>(ctd->GetMux()->GetWindow());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return das.AllSent() && !ctd->GetMux()->HasData(); }));
    const QString file = NativePath(ctd->CaptureTarget().fileName);
    QFile::remove(file);
    Trigger("Desktop_StartCapture");
    // The capture's whole command sequence has gone (the instrument's port is routed again).
    ASSERT_TRUE(WaitUntil(
        [&] { return ctd->GetMux()->IsCaptureOnPc() && TimedQueue->Count() == 0; }));

    // A long record comes in, so the DAS always has a packet to send: every key the operator
    // types rides on the acknowledgement of one, in a packet of its own.
    QByteArray record;
    for (int i = 0; record.size() < 96 * 1024; ++i) {
        record += "21.5" + QByteArray::number(i % 1000).rightJustified(3, '0') + ",8.2031\r\n";
    }
    das.SendChannelData(channel, record);
    const QString typed = QStringLiteral("set interval 5 and go on sampling\r");
    for (const QChar key : typed) {
        const qsizetype sent = das.ReceivedOn(channel).size();
        QTest::keyClick(window->TextPane(), key.toLatin1());
        ASSERT_TRUE(WaitUntil([&] { return das.ReceivedOn(channel).size() > sent; }));
    }
    EXPECT_FALSE(das.AllSent()) << "the record ended before the last key";
    ASSERT_TRUE(WaitUntil([&] { return das.AllSent() && !ctd->GetMux()->HasData(); }));
    Trigger("Desktop_StopCapture");
    ASSERT_TRUE(WaitUntil([&] { return !ctd->GetMux()->HasCaptureFile(); }));

    QFile captured(file);
    ASSERT_TRUE(captured.open(QIODevice::ReadOnly)) << file.toStdString();
    EXPECT_TRUE(captured.readAll() == record);
    EXPECT_EQ(das.ReceivedOn(channel), typed.toLatin1());
    EXPECT_GE(das.spoiltEchoes.load(), 5u);
    EXPECT_LE(das.unaskedAnswers.load(), das.spoiltEchoes.load());
    f.close();
}

TEST_F(ActionsTest, DeviceOnSwitchesASharedSwitchOnceInPowerOrder)
{
    StartQuiet();
    // The fourth device lands on "Analog 2", which shares switch 4 with the oxygen sensor.
    for (const char* name : {"A", "B", "C"}) {
        ASSERT_NE(Devices->Add(QString::fromLatin1(name)), nullptr);
    }
    ASSERT_EQ(Device("C")->GetPort()->GetPowerSwitch(), Device("Oxygen")->GetPort()->GetPowerSwitch());
    SelectOnly({"Oxygen", "C"});

    Trigger("Desktop_DeviceOn");
    EXPECT_EQ(TakeCommands().count(QStringLiteral("SETPOWER 4 1")), 1);
    Trigger("Desktop_DeviceOff");
    EXPECT_EQ(TakeCommands().count(QStringLiteral("SETPOWER 4 0")), 1);
    // One device alone switches its own switch.
    SelectOnly({"C"});
    Trigger("Desktop_DeviceOn");
    EXPECT_EQ(TakeCommands().count(QStringLiteral("SETPOWER 4 1")), 1);
}

TEST_F(ActionsTest, ConsoleCommandsOfTheDasAndScriptActions)
{
    TDASDesktopForm& f = StartQuiet();
    prompt.QueueInput(QStringLiteral("Indefinite (until Wake command)"));
    Trigger("Desktop_DASSleep");
    EXPECT_EQ(TakeCommands(), (QStringList{"Sleep 0", "Sleep 1000000"}));
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("Sleeping indefinitely."));
    prompt.QueueInput(QStringLiteral("60"));
    Trigger("Desktop_DASSleep");
    EXPECT_EQ(TakeCommands(), (QStringList{"Sleep 0", "Sleep 60"}));
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("Sleeping for 60 seconds."));
    prompt.QueueInput(std::nullopt);
    Trigger("Desktop_DASSleep");
    EXPECT_TRUE(TakeCommands().isEmpty());

    Trigger("Desktop_SetDASTimeDate");
    EXPECT_EQ(TakeCommands(), (QStringList{"SetConOut Host 248", "PicoDos \"Date \"",
                                           "SetConOut Serial 0"}));
    EXPECT_EQ(modalShown, QStringList{SetTimeForm->windowTitle()});
    Trigger("Desktop_SetupSysVars");
    EXPECT_EQ(TakeCommands(), (QStringList{"SetConOut Host 249", "PicoDos \"Set \"",
                                           "SetConOut Serial 0"}));

    TMux* script = MuxArray->GetChannel(kScriptChannel);
    auto* scriptWindow = dynamic_cast<TTerminalForm*>(script->GetWindow());
    scriptWindow->ShowData("old", 3);
    Trigger("Desktop_ShowLoadedScript");
    EXPECT_TRUE(scriptWindow->TextPane()->toPlainText().isEmpty());
    EXPECT_TRUE(scriptWindow->isVisible());
    Trigger("Desktop_RunScript");
    Trigger("Desktop_StopScript");
    EXPECT_EQ(TakeCommands(), (QStringList{"SENDPARSED", "RUNSCRIPT", "ENDSCRIPT"}));
    EXPECT_TRUE(f.isVisible());
}

TEST_F(ActionsTest, OtherChannelsOpensAWindowForAnyChannel)
{
    StartQuiet();
    prompt.QueueInput(QStringLiteral("0"));
    Trigger("OtherChannels");
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("Host Channel 0 already has a window."));
    EXPECT_TRUE(dynamic_cast<TTerminalForm*>(MuxArray->GetChannel(0)->GetWindow())->isVisible());

    prompt.QueueInput(QStringLiteral("12"));
    Trigger("OtherChannels");
    TMux* twelve = MuxArray->GetChannel(12);
    ASSERT_NE(twelve, nullptr);
    EXPECT_EQ(twelve->GetName(), QStringLiteral("Host Channel 12"));
    auto* window = dynamic_cast<TTerminalForm*>(twelve->GetWindow());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Host Channel 12"));

    // An existing channel without a window gets one under its own name.
    prompt.QueueInput(QStringLiteral("250"));
    Trigger("OtherChannels");
    ASSERT_NE(MuxArray->GetChannel(250)->GetWindow(), nullptr);

    const int count = MuxArray->Count();
    for (const char* answer : {"300", "abc", "-1"}) {
        prompt.QueueInput(QString::fromLatin1(answer));
        Trigger("OtherChannels");
    }
    prompt.QueueInput(std::nullopt);
    Trigger("OtherChannels");
    EXPECT_EQ(MuxArray->Count(), count);
}

TEST_F(ActionsTest, NewDeviceAsksAgainForATakenNameAndKeepsItOnlyAfterSetup)
{
    StartQuiet();
    prompt.QueueInput(QStringLiteral("ctd"));       // taken, in another case
    prompt.QueueInput(QStringLiteral("PELAGRIX"));  // the unit's own section
    prompt.QueueInput(QStringLiteral("Pump"));
    modalResult = QDialog::Rejected;
    Trigger("Desktop_NewDevice");
    ASSERT_GE(prompt.shown.size(), 4u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("New Device Name"));
    EXPECT_EQ(prompt.shown[0].text, QStringLiteral("Name of New Device:"));
    EXPECT_EQ(prompt.shown[1].title, QStringLiteral("Duplicate Device Name"));
    // Cancelled setup: the device is gone again and its port free.
    EXPECT_EQ(Devices->FindByName(QStringLiteral("Pump")), nullptr);
    EXPECT_EQ(Devices->Count(), 3);
    EXPECT_NE(PortArray->FirstFreePort(), nullptr);
    EXPECT_FALSE(ConfigurationChanged);

    prompt.QueueInput(QStringLiteral("Pump"));
    modalResult = QDialog::Accepted;
    Trigger("Desktop_NewDevice");
    ASSERT_NE(Devices->FindByName(QStringLiteral("Pump")), nullptr);
    EXPECT_TRUE(ConfigurationChanged);
    EXPECT_TRUE(TakeCommands().contains(kStatusRequestCommand));

    // An empty answer stops; with every port taken the operator is told.
    prompt.QueueInput(QString());
    Trigger("Desktop_NewDevice");
    while (PortArray->FirstFreePort() != nullptr) {
        Devices->Add(QStringLiteral("D") + QString::number(Devices->Count()));
    }
    Trigger("Desktop_NewDevice");
    EXPECT_EQ(prompt.shown.back().text,
              QStringLiteral("Can Not Create Device -- No More Ports Available"));
}

// A device made with the setup wizard on a free serial port powers on, starts its data and
// shows it in its window against the stand-in; the terminal's Device Setup closes the script
// wizard before it opens the setup on page 1.
TEST_F(ActionsTest, DeviceMadeWithTheWizardRunsItsInstrument)
{
    TDasInstruments instruments(das, console);
    TInstrumentSpec altimeter;
    altimeter.sample = "ALT 012.45 m\r\n";
    instruments.AddSerialInstrument(2, altimeter);
    TDASDesktopForm& f = Start();

    QStringList pages;
    QStringList blocks = {"GO", "STOP"};
    TDASDesktopForm::SetModalRunner([&pages, &blocks](QDialog& dialog) {
        if (auto* editor = dynamic_cast<TEditCommandForm*>(&dialog)) {
            editor->RichEdit->setPlainText(blocks.takeFirst());
            editor->DevSetupOKButtonClick();
            return editor->result();
        }
        auto& wizard = dynamic_cast<TDeviceSetupForm&>(dialog);
        pages << QString::number(wizard.CurrentPage()) + " " + wizard.windowTitle();
        if (wizard.Edit_Name->text() == QStringLiteral("Altimeter")) {
            wizard.ComboBox_Ports->setCurrentIndex(wizard.ComboBox_Ports->findText("Serial 2"));
            QTest::mouseClick(wizard.Radio_StartStopData, Qt::LeftButton);
            wizard.Button_CmdStartClick();
            wizard.Button_CmdStopClick();
            wizard.Edit_Name->setText(QStringLiteral("Altimeter 2"));
        }
        wizard.DevSetupDoneButtonClick();
        return wizard.result();
    });
    prompt.QueueInput(QStringLiteral("Altimeter"));
    Trigger("Desktop_NewDevice");
    EXPECT_EQ(pages, QStringList{"1 Altimeter Setup"});
    TDevice* alt = Device("Altimeter 2");
    ASSERT_NE(alt, nullptr);
    EXPECT_EQ(alt->GetPort()->GetName(), QStringLiteral("Serial 2"));
    EXPECT_EQ(alt->GetCmdStart(), QStringList{"GO"});
    EXPECT_EQ(alt->GetCmdStop(), QStringList{"STOP"});
    EXPECT_EQ(alt->GetMux()->GetName(), QStringLiteral("Altimeter 2"));

    SelectOnly({"Altimeter 2"});
    f.UpdateActions();
    Trigger("Desktop_DeviceOn");
    ASSERT_TRUE(WaitUntil([&] { return instruments.SwitchOn(2) && instruments.RouteOf(2) >= 0; },
                          10000));
    Trigger("Desktop_StartData");
    ASSERT_TRUE(WaitUntil([&] { return alt->GetDataOn() && instruments.IsStreaming(2); }));
    auto* window = dynamic_cast<TTerminalForm*>(alt->GetMux()->GetWindow());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil(
        [&] { return window->TextPane()->toPlainText().contains(QStringLiteral("ALT 012.45 m")); }));

    // Edit from the terminal window: the script wizard goes first.
    ScriptWizardForm->Window()->show();
    bool wizardShownDuringSetup = true;
    TDASDesktopForm::SetModalRunner([&](QDialog& dialog) {
        wizardShownDuringSetup = ScriptWizardForm->Window()->isVisible();
        pages << QString::number(dynamic_cast<TDeviceSetupForm&>(dialog).CurrentPage());
        return kModalCancel;
    });
    window->findChild<QAction*>(QStringLiteral("TermDeviceSetup"))->trigger();
    EXPECT_FALSE(wizardShownDuringSetup);
    EXPECT_EQ(pages.last(), QStringLiteral("1"));
    EXPECT_EQ(DeviceSetupForm->WorkingCopy(), nullptr);
    // Data kept running through the setup.
    EXPECT_TRUE(alt->GetDataOn());
    Trigger("Desktop_StopData");
    ASSERT_TRUE(WaitUntil([&] { return !instruments.IsStreaming(2); }));
}

TEST_F(ActionsTest, DeleteAsksFirstAndThenOffersTheExport)
{
    StartQuiet();
    SelectOnly({"Oxygen"});
    prompt.QueueMessageAnswer(TMsgResult::No);
    Trigger("Desktop_DeleteDevice");
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("Delete Devices"));
    EXPECT_EQ(prompt.shown.back().text,
              QStringLiteral("Delete the Oxygen from the current configuration?"));
    ASSERT_NE(Device("Oxygen"), nullptr);

    prompt.QueueMessageAnswer(TMsgResult::Yes);
    prompt.QueueMessageAnswer(TMsgResult::Cancel);
    Trigger("Desktop_DeleteDevice");
    EXPECT_EQ(prompt.shown.back().text,
              QStringLiteral("Export the Oxygen settings before deleting?"));
    ASSERT_NE(Device("Oxygen"), nullptr);
    EXPECT_FALSE(ConfigurationChanged);

    // Two selected: each is asked about in turn, both go.
    SelectOnly({"Oxygen", "CTD"});
    for (int i = 0; i < 2; ++i) {
        prompt.QueueMessageAnswer(TMsgResult::Yes);
        prompt.QueueMessageAnswer(TMsgResult::No);
    }
    Trigger("Desktop_DeleteDevice");
    EXPECT_EQ(Device("Oxygen"), nullptr);
    EXPECT_EQ(Device("CTD"), nullptr);
    EXPECT_EQ(Devices->Count(), 1);
    EXPECT_TRUE(ConfigurationChanged);
    EXPECT_TRUE(modalShown.isEmpty());
}

TEST_F(ActionsTest, ActionsFollowTheSelection)
{
    TDASDesktopForm& f = StartQuiet();
    SelectOnly({});
    EXPECT_FALSE(f.Action(QStringLiteral("Desktop_DeviceOn"))->isEnabled());
    EXPECT_FALSE(f.Action(QStringLiteral("ShowDeviceWindow"))->isEnabled());
    EXPECT_TRUE(f.Action(QStringLiteral("Desktop_StartAll"))->isEnabled());
    EXPECT_FALSE(f.Variable2->isVisible());

    Device("CTD")->SetEchoSerial(2);
    SelectOnly({"CTD"});
    EXPECT_TRUE(f.Action(QStringLiteral("Desktop_DeviceOn"))->isEnabled());
    EXPECT_TRUE(f.Action(QStringLiteral("Desktop_OpenSerialEcho"))->isEnabled());
    EXPECT_FALSE(f.Action(QStringLiteral("Desktop_CloseSerialEcho"))->isEnabled());
    EXPECT_TRUE(f.Variable2->isVisible());
    EXPECT_EQ(f.Variable2->text(), QStringLiteral("CTD"));
    SelectOnly({"CTD", "Oxygen"});
    EXPECT_FALSE(f.Variable2->isVisible());

    // Captions carry the key after a tab; the Device menu's entries come in their order.
    EXPECT_EQ(f.Action(QStringLiteral("Desktop_NewDevice"))->text(),
              QStringLiteral("&New Device... \t\t\tIns"));
    EXPECT_EQ(f.Action(QStringLiteral("Desktop_StopAll"))->text(),
              QStringLiteral("Sto&p Data and Shut Down \tF2"));
    EXPECT_EQ(f.Action(QStringLiteral("Desktop_DeviceOn"))->statusTip(),
              QStringLiteral("Turns Seleted Device On"));
    // A toolbar button shows the caption alone.
    EXPECT_EQ(f.Action(QStringLiteral("Desktop_StopAll"))->iconText(),
              QStringLiteral("Stop Data and Shut Down"));
}

TEST_F(ActionsTest, KeysRunTheirActionsWhereverTheFocusIs)
{
    TDASDesktopForm& f = StartQuiet();
    SelectOnly({});
    const auto press = [&f](int key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(f.DeviceView, &event);
        return event.isAccepted();
    };
    press(Qt::Key_F1, Qt::NoModifier);
    EXPECT_TRUE(Device("CTD")->IsSelected());
    EXPECT_TRUE(Device("Current Meter")->IsSelected());
    EXPECT_TRUE(TakeCommands().contains(QStringLiteral("SETPOWER 1 1")));

    press(Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(TakeCommands(), QStringList{"DIR"});
    EXPECT_TRUE(DASExplorerForm->Form()->isVisible());
    DASExplorerForm->Form()->hide();

    press(Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(TakeCommands(), QStringList{"SENDMUXSTATS"});
    EXPECT_FALSE(f.DebugMemo()->isVisible());
    press(Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(f.DebugMemo()->isVisible());
    EXPECT_TRUE(TakeCommands().isEmpty());
    f.DebugMemo()->appendPlainText(QStringLiteral("line"));
    f.Memo1DblClick();
    EXPECT_TRUE(f.DebugMemo()->toPlainText().isEmpty());
    // The memo keeps only the newest text.
    for (int i = 0; i < 3; ++i) {
        f.AppendDebugMemo(QString(9, QChar(u'a' + i)));
    }
    f.KeepDebugMemoTail(12);
    EXPECT_EQ(f.DebugMemo()->toPlainText(), QStringLiteral("bb\nccccccccc"));
    f.Memo1DblClick();
    press(Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(f.DebugMemo()->isVisible());

    // Unhandled keys pass on.
    EXPECT_FALSE(f.FormKeyDown(Qt::Key_Q, Qt::ControlModifier));
    EXPECT_FALSE(f.FormKeyDown(Qt::Key_A, Qt::NoModifier));
}

TEST_F(ActionsTest, ResetHoldsABreakWithTheLinkParkedOnlyAfterYes)
{
    StartQuiet();
    Host.Unpause();
    QStringList steps;
    TDASDesktopForm::SetResetWait([&steps](int ms) { steps << QStringLiteral("wait %1").arg(ms); });
    prompt.QueueMessageAnswer(TMsgResult::No);
    Trigger("Desktop_ResetPelx");
    prompt.QueueMessageAnswer(TMsgResult::Cancel);  // the box closed
    Trigger("Desktop_ResetPelx");
    EXPECT_TRUE(steps.isEmpty());
    EXPECT_TRUE(prompt.shown.back().text.startsWith(
        QStringLiteral("Warning! This could corrupt the flash if \r\nfiles")));

    // The DAS port becomes a fake that records its breaks, seen from the waits.
    Host.Pause();
    auto port = std::make_unique<TFakeSerialPort>();
    TFakeSerialPort* fake = port.get();
    InstallDasPortForTest(std::move(port));
    Host.Unpause();
    TDASDesktopForm::SetResetWait([&](int ms) {
        steps << QStringLiteral("wait %1 break %2 paused %3")
                     .arg(ms)
                     .arg(fake->BreakOn())
                     .arg(Host.Thread().Running() ? Host.Pause() : true);
    });
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    Trigger("Desktop_ResetPelx");
    EXPECT_EQ(steps, (QStringList{"wait 100 break 0 paused 1", "wait 15000 break 1 paused 1"}));
    EXPECT_FALSE(fake->BreakOn());
    EXPECT_EQ(fake->BreakCalls(), 2);
}

TEST_F(ActionsTest, PlayWithoutAPlaybackConnectsTheLinkAgain)
{
    StartQuiet();
    Host.Unpause();
    ASSERT_TRUE(DasPortOpen());
    // Ctrl+P, then the archive dialog cancelled: the live link is back.
    prompt.QueueFile(std::nullopt);
    ASSERT_TRUE(form->FormKeyDown(Qt::Key_P, Qt::ControlModifier));
    EXPECT_TRUE(DasPortOpen());
    EXPECT_FALSE(PlayingBack());
    EXPECT_TRUE(Host.Thread().Running());
    EXPECT_EQ(prompt.shown.back().kind, QStringLiteral("open"));

    // While a recording runs, Play does nothing.
    Host.SetRecording(true);
    const size_t dialogs = prompt.shown.size();
    form->FormKeyDown(Qt::Key_P, Qt::ControlModifier);
    Host.SetRecording(false);
    EXPECT_EQ(prompt.shown.size(), dialogs);
    EXPECT_TRUE(DasPortOpen());

    // Stop with nothing running leaves the link alone.
    Trigger("StopDASArchive");
    EXPECT_TRUE(DasPortOpen());
}

}  // namespace
