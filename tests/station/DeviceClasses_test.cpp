#include "station/DeviceClasses.h"

#include <gtest/gtest.h>

#include "StationFixture.h"
#include "link/Global.h"

using DeviceModel = StationTest;

TEST(DeviceCaptureName, DefaultNameIsCutFromTheCleanedDeviceName)
{
    EXPECT_EQ(DefaultCaptureDestName(QStringLiteral("CTD 1")),
              QStringLiteral("CTD_1\\CTD_1000.RAW"));
    EXPECT_EQ(DefaultCaptureDestName(QStringLiteral("O2")), QStringLiteral("O2\\O2_000.RAW"));
    EXPECT_EQ(DefaultCaptureDestName(QStringLiteral("Fluorometer")),
              QStringLiteral("Fluorome\\Fluor000.RAW"));
    EXPECT_EQ(DefaultCaptureDestName(QStringLiteral("X")), QStringLiteral("X\\X_000.RAW"));
    EXPECT_EQ(DefaultCaptureDestName(QStringLiteral(" Temp Sensor#2 ")),
              QStringLiteral("Temp_Sen\\Temp_000.RAW"));
}

TEST(DeviceCaptureName, ABlankNameNeverGivesTheCaptureFolderItself)
{
    for (const char* blank : {"", " ", "\t  "}) {
        const QString name = DefaultCaptureDestName(QString::fromLatin1(blank));
        EXPECT_EQ(name, QStringLiteral("Device\\Devic000.RAW")) << '"' << blank << '"';
        EXPECT_TRUE(IsSafeRelativePath(name));
    }
}

TEST_F(DeviceModel, NewDeviceCarriesEveryDefault)
{
    AddPort(QStringLiteral("P3"), 3, 5);
    TDevice* d = devices.Add(QStringLiteral("CTD 1"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->GetPortBaud(), 9600);
    EXPECT_EQ(d->GetPortSettings(), QStringLiteral("N,8,1"));
    EXPECT_EQ(d->GetEchoSerial(), 0);
    EXPECT_EQ(d->GetEchoBaud(), 9600);
    EXPECT_EQ(d->GetEchoSettings(), QStringLiteral("N,8,1"));
    EXPECT_EQ(d->GetEchoFlow(), 0);
    EXPECT_FALSE(d->GetPowerOnCmd());
    EXPECT_EQ(d->GetPowerOnCmdWait(), 30);
    EXPECT_FALSE(d->GetPowerOffCmd());
    EXPECT_EQ(d->GetPowerOffCmdWait(), 30);
    EXPECT_EQ(d->GetCollectionType(), 2);
    EXPECT_EQ(d->GetPacketPause(), 100);
    EXPECT_EQ(d->GetCmdStartDelay(), 50);
    EXPECT_EQ(d->GetCmdStopDelay(), 50);
    EXPECT_EQ(d->GetStartDataCapture(), 0);
    EXPECT_EQ(d->GetStartAfterDelay(), 30);
    EXPECT_EQ(d->GetStopDataCapture(), 4);
    EXPECT_EQ(d->GetStopAfterDelay(), 200);
    EXPECT_EQ(d->GetDateStampInfix(), QStringLiteral("/"));
    EXPECT_EQ(d->GetDateStampFormat(), 1);
    EXPECT_EQ(d->GetTimeStampInfix(), QStringLiteral(":"));
    EXPECT_EQ(d->GetCaptureDest(), 2);
    EXPECT_EQ(d->GetCaptureDestOther(), 3);
    EXPECT_EQ(d->GetCaptureDestName(), QStringLiteral("CTD_1\\CTD_1000.RAW"));
    EXPECT_EQ(d->GetCaptureFilePath(), QStringLiteral("CTD_1\\CTD_1000.RAW"));
    EXPECT_TRUE(d->GetCaptureDestAppend());
    EXPECT_FALSE(d->GetDoAveraging());
    EXPECT_EQ(d->GetAvgNumSamples(), 10);
    EXPECT_EQ(d->GetAvgPause(), 10);
    EXPECT_EQ(d->GetFreqDuration(), 1000000);
    EXPECT_TRUE(d->GetCmdStart().isEmpty());
    EXPECT_EQ(d->GetImageIndex(), -1);
    EXPECT_FALSE(d->GetDataOn());
    EXPECT_FALSE(d->GetCaptureOn());
    EXPECT_FALSE(d->IsBusy());
    EXPECT_EQ(d->GetPowerOnDelay(), 30);
    EXPECT_EQ(d->GetPowerOnPriority(), 5);
    EXPECT_EQ(d->GetHostChannel(), 3);
    EXPECT_EQ(ports.FindPort(QStringLiteral("P3"))->GetDevice(), d);
}

TEST_F(DeviceModel, TerminalWindowCascadesByRowHidden)
{
    for (int i = 1; i <= 3; ++i) {
        AddPort(QStringLiteral("P%1").arg(i), i, 1);
    }
    devices.Add(QStringLiteral("A"));
    devices.Add(QStringLiteral("B"));
    TDevice* third = devices.Add(QStringLiteral("C"));
    TFakeTerminal* t = TerminalOf(third);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->geometry, QRect(100, 100, 600, 450));
    EXPECT_FALSE(t->visible);
    EXPECT_EQ(t->state, 0);
    EXPECT_EQ(t->caption, QStringLiteral("C"));
    EXPECT_EQ(t->hexWidth, 0.0);  // text view only
    EXPECT_EQ(t->hexWrap, 16);
    EXPECT_EQ(t->hexWrapString, QStringLiteral("0D0A"));
    EXPECT_EQ(third->GetMux()->GetName(), QStringLiteral("C"));
}

TEST_F(DeviceModel, AssignBackKeepsTheLiveDevicesRunTimeState)
{
    AddPort(QStringLiteral("P1"), 1, 1);
    TDevice* live = devices.Add(QStringLiteral("A"));
    auto copy = std::make_unique<TDevice>(*live);
    EXPECT_TRUE(copy->IsCopy());
    copy->SetPacketPause(1234);
    copy->SetCmdStart({QStringLiteral("GO")});

    // Data and capture went on while the wizard was open.
    live->SetDataActive(true);
    live->SetCaptureOn(true);
    live->SetBusy(true);
    const double pollTime = live->GetNextPollTime();

    live->Assign(*copy);
    EXPECT_EQ(live->GetPacketPause(), 1234);
    EXPECT_EQ(live->GetCmdStart(), QStringList{QStringLiteral("GO")});
    EXPECT_TRUE(live->GetDataOn());
    EXPECT_TRUE(live->GetCaptureOn());
    EXPECT_TRUE(live->IsBusy());
    EXPECT_EQ(live->GetNextPollTime(), pollTime);
    EXPECT_FALSE(live->IsCopy());

    // A working copy takes everything, run-time state included.
    TDevice second(*live);
    EXPECT_TRUE(second.GetDataOn());
    EXPECT_EQ(second.GetPacketPause(), 1234);
}

TEST_F(DeviceModel, DeletingAWorkingCopyLeavesPortAndChannel)
{
    AddPort(QStringLiteral("P1"), 1, 1);
    TDevice* live = devices.Add(QStringLiteral("A"));
    TMux* channel = live->GetMux();
    ASSERT_NE(channel, nullptr);
    const int windows = TFakeTerminal::alive;
    {
        TDevice copy(*live);
        EXPECT_EQ(copy.GetMux(), channel);
        // Pointed at another port and back, the copy never takes either port.
        TPort* other = AddPort(QStringLiteral("P2"), 2, 2);
        copy.SetPort(other);
        EXPECT_EQ(copy.GetPort(), other);
        EXPECT_EQ(other->GetDevice(), nullptr);
        EXPECT_EQ(mux.GetChannel(2), nullptr);
        copy.SetPort(live->GetPort());
        copy.Assign(*live);
    }
    EXPECT_EQ(ports.FindPort(QStringLiteral("P1"))->GetDevice(), live);
    EXPECT_EQ(mux.GetChannel(1), channel);
    EXPECT_EQ(TFakeTerminal::alive, windows);
}

TEST_F(DeviceModel, RenameReachesChannelWindowAndConfiguration)
{
    AddPort(QStringLiteral("P1"), 1, 1);
    TDevice* d = devices.Add(QStringLiteral("Old"));
    EXPECT_FALSE(ConfigurationChanged);
    EXPECT_TRUE(d->SetName(QStringLiteral("New")));
    EXPECT_EQ(d->GetName(), QStringLiteral("New"));
    EXPECT_EQ(d->GetMux()->GetName(), QStringLiteral("New"));
    EXPECT_EQ(TerminalOf(d)->caption, QStringLiteral("New"));
    EXPECT_TRUE(ConfigurationChanged);

    // An in-place edit of the caption, then taken over.
    ConfigurationChanged = false;
    model.setData(model.index(0, 0), QStringLiteral("Edited"), Qt::EditRole);
    EXPECT_TRUE(d->SetName());
    EXPECT_EQ(d->GetMux()->GetName(), QStringLiteral("Edited"));
    EXPECT_TRUE(ConfigurationChanged);

    // A refused edit: the caption shows the channel's name again.
    model.setData(model.index(0, 0), QStringLiteral("Other"), Qt::EditRole);
    d->RestoreItemCaption();
    EXPECT_EQ(d->GetName(), QStringLiteral("Edited"));
}

TEST_F(DeviceModel, ModelSectionNamesAreRefused)
{
    AddPort(QStringLiteral("P1"), 1, 1);
    AddPort(QStringLiteral("P2"), 2, 1);
    TDevice* d = devices.Add(QStringLiteral("Pump"));
    EXPECT_FALSE(d->SetName(QStringLiteral("pelagrix")));
    EXPECT_FALSE(d->SetName(QStringLiteral("Two\nLines")));
    EXPECT_EQ(d->GetName(), QStringLiteral("Pump"));
    model.setData(model.index(0, 0), QStringLiteral("CORVANE"), Qt::EditRole);
    EXPECT_FALSE(d->SetName());
    EXPECT_EQ(d->GetName(), QStringLiteral("Pump"));
    EXPECT_EQ(devices.Add(QStringLiteral("Corvane")), nullptr);
    EXPECT_EQ(devices.Count(), 1);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(prompt.Messages().size(), 4);
    EXPECT_TRUE(prompt.Messages().at(0).contains(QStringLiteral("reserved")));
    EXPECT_FALSE(ConfigurationChanged);
}

TEST_F(DeviceModel, NamesTheFilesCannotHoldAreRefused)
{
    AddPort(QStringLiteral("P1"), 1, 1);
    AddPort(QStringLiteral("P2"), 2, 1);
    // Latin-1 letters and signs are what the files hold.
    TDevice* d = devices.Add(QStringLiteral("Tr\u00fcbung \u00b0C"));
    ASSERT_NE(d, nullptr);
    for (const QString& name : {QStringLiteral("\u6e29\u5ea6"), QStringLiteral("CTD \u2116 1"),
                                QStringLiteral("Pump \U0001F41F")}) {
        EXPECT_EQ(devices.Add(name), nullptr);
        EXPECT_FALSE(d->SetName(name));
        EXPECT_EQ(d->GetName(), QStringLiteral("Tr\u00fcbung \u00b0C"));
    }
    EXPECT_EQ(devices.Count(), 1);
    EXPECT_EQ(prompt.Messages().size(), 6);

    // What is accepted reads back from the file as it was written.
    TMemIniFile ini;
    d->SaveSettings(ini);
    TMemIniFile reread;
    reread.SetText(QString::fromLatin1(ini.Text().toLatin1()));
    EXPECT_EQ(reread.ReadSections(), QStringList({d->GetName()}));
}

TEST_F(DeviceModel, SetPortOnSameChannelKeepsDataButReplacesWindow)
{
    TPort* a = AddPort(QStringLiteral("A"), 5, 1);
    TPort* b = AddPort(QStringLiteral("B"), 5, 2);
    TPort* c = AddPort(QStringLiteral("C"), 6, 2);
    TDevice* d = devices.Add(QStringLiteral("Dev"));
    ASSERT_EQ(d->GetPort(), a);
    TMux* channel = d->GetMux();
    channel->PushData("abc", 3);
    const int made = factory.made;

    d->SetPort(b);
    EXPECT_EQ(a->GetDevice(), nullptr);
    EXPECT_EQ(b->GetDevice(), d);
    EXPECT_EQ(mux.GetChannel(5), channel);
    EXPECT_TRUE(channel->HasData());
    EXPECT_EQ(factory.made, made + 1);

    d->SetPort(c);
    EXPECT_EQ(mux.GetChannel(5), nullptr);
    ASSERT_NE(mux.GetChannel(6), nullptr);
    EXPECT_EQ(mux.GetChannel(6)->GetName(), QStringLiteral("Dev"));
    EXPECT_EQ(d->GetHostChannel(), 6);
}

TEST_F(DeviceModel, DeletingADeviceFreesPortAndChannel)
{
    TPort* p = AddPort(QStringLiteral("P1"), 9, 1);
    TDevice* d = devices.Add(QStringLiteral("A"));
    const int windows = TFakeTerminal::alive;
    devices.Delete(d);
    EXPECT_EQ(p->GetDevice(), nullptr);
    EXPECT_EQ(mux.GetChannel(9), nullptr);
    EXPECT_EQ(TFakeTerminal::alive, windows - 1);
}

TEST_F(DeviceModel, NeverTakesOverAFixedOrForeignChannel)
{
    TPort* info = AddPort(QStringLiteral("DBG"), 0, 0, QStringLiteral("Debug"));
    AddPort(QStringLiteral("P1"), 4, 1);
    TPort* twin = AddPort(QStringLiteral("P2"), 4, 2);
    TMux* channel0 = mux.GetChannel(0);
    auto* infoWindow = new TFakeTerminal;
    channel0->SetWindow(infoWindow);
    channel0->SetName(QStringLiteral("Info Channel"));

    TDevice* onInfo = devices.Add(QStringLiteral("OnInfo"));  // first free port: DBG
    ASSERT_EQ(onInfo->GetPort(), info);
    EXPECT_EQ(channel0->GetWindow(), infoWindow);
    EXPECT_EQ(channel0->GetName(), QStringLiteral("Info Channel"));
    EXPECT_EQ(onInfo->GetMux(), nullptr);

    TDevice* first = devices.Add(QStringLiteral("First"));
    TMux* shared = first->GetMux();
    TDevice* second = devices.Add(QStringLiteral("Second"));
    ASSERT_EQ(second->GetPort(), twin);
    EXPECT_EQ(second->GetMux(), nullptr);
    EXPECT_EQ(shared->GetName(), QStringLiteral("First"));

    devices.Delete(onInfo);
    devices.Delete(second);
    EXPECT_EQ(mux.GetChannel(0), channel0);
    EXPECT_EQ(channel0->GetWindow(), infoWindow);
    EXPECT_EQ(mux.GetChannel(4), shared);
    EXPECT_EQ(first->GetMux(), shared);
}

TEST_F(DeviceModel, HostChannelOutsideRangeGivesNoChannel)
{
    AddPort(QStringLiteral("P300"), 300, 1);
    const int channels = mux.Count();
    TDevice* d = devices.Add(QStringLiteral("A"));
    EXPECT_EQ(mux.Count(), channels);
    EXPECT_EQ(d->GetMux(), nullptr);
    EXPECT_EQ(mux.GetChannel(44), nullptr);
    EXPECT_EQ(Row(d, kColChanNo), QStringLiteral("300"));
    devices.Delete(d);
    EXPECT_EQ(mux.Count(), channels);
}

TEST_F(DeviceModel, DataPriorityMovesOnlyWithinTheList)
{
    for (int i = 1; i <= 3; ++i) {
        AddPort(QStringLiteral("P%1").arg(i), i, 1);
    }
    TDevice* a = devices.Add(QStringLiteral("A"));
    TDevice* b = devices.Add(QStringLiteral("B"));
    TDevice* c = devices.Add(QStringLiteral("C"));
    c->SetDataPriority(0);
    c->SetDataPriority(4);
    EXPECT_EQ(devices.IndexOf(c), 2);
    c->SetDataPriority(1);
    EXPECT_EQ(devices.Items(0), c);
    EXPECT_EQ(devices.Items(1), a);
    EXPECT_EQ(Row(c, kColDSeq), QStringLiteral("1"));
    EXPECT_EQ(Row(a, kColDSeq), QStringLiteral("2"));
    EXPECT_EQ(Row(b, kColDSeq), QStringLiteral("3"));
}

TEST_F(DeviceModel, PortlessDeviceHasNoChannel)
{
    AddPort(QStringLiteral("P1"), 1, 1);
    TDevice* d = devices.Add(QStringLiteral("A"));
    d->SetPort(nullptr);
    EXPECT_EQ(d->GetHostChannel(), 0);
    EXPECT_EQ(d->GetMux(), nullptr);
    EXPECT_EQ(d->GetName(), QStringLiteral("A"));
    EXPECT_EQ(mux.GetChannel(1), nullptr);
    EXPECT_EQ(Row(d, kColPSeq), QString());
    EXPECT_EQ(Row(d, kColChanNo), QString());
}

TEST_F(DeviceModel, SingleLineSettingsRefuseLineBreaks)
{
    AddPort(QStringLiteral("P1"), 1, 1);
    TDevice* d = devices.Add(QStringLiteral("A"));
    EXPECT_FALSE(d->SetPrefix(QStringLiteral("a\r\nb")));
    EXPECT_FALSE(d->SetCaptureDestName(QStringLiteral("x\ny")));
    EXPECT_FALSE(d->SetPortSettings(QStringLiteral("N,8\n,1")));
    EXPECT_TRUE(d->SetSuffix(QStringLiteral("\\r")));
    EXPECT_EQ(d->GetPrefix(), QString());
    EXPECT_EQ(d->GetPortSettings(), QStringLiteral("N,8,1"));
    EXPECT_TRUE(d->SetPortSettings(QStringLiteral("E,7,2,EXTRA")));
    EXPECT_EQ(d->GetPortSettings(), QStringLiteral("E,7,2,EX"));
    d->SetCmdStart({QStringLiteral("ONE\r\nTWO")});
    EXPECT_EQ(d->GetCmdStart(), (QStringList{QStringLiteral("ONE"), QStringLiteral("TWO")}));
    // A final line break adds no empty line; an empty line of the block stays.
    d->SetCmdStart({QStringLiteral("A\r\n"), QString(), QStringLiteral("B")});
    EXPECT_EQ(d->GetCmdStart(), (QStringList{QStringLiteral("A"), QString(), QStringLiteral("B")}));
}

TEST_F(DeviceModel, OnlyThePcDestinationsCaptureOnThePc)
{
    AddPort(QStringLiteral("P3"), 3, 5);
    TDevice* d = devices.Add(QStringLiteral("CTD 1"));
    ASSERT_NE(d, nullptr);
    devices.SetCaptureToHost(true);
    d->SetCaptureDestAppend(true);

    d->SetCaptureDest(2);  // numbered files on the PC: always a new file
    TCaptureTarget t = d->CaptureTarget();
    EXPECT_TRUE(t.onPc);
    EXPECT_TRUE(t.numbered);
    EXPECT_FALSE(t.append);

    d->SetCaptureDest(3);  // one named file on the PC, appended as the device says
    t = d->CaptureTarget();
    EXPECT_TRUE(t.onPc);
    EXPECT_FALSE(t.numbered);
    EXPECT_TRUE(t.append);
    EXPECT_TRUE(t.fileName.endsWith(QStringLiteral("CTD_1\\CTD_1000.RAW")));

    for (int dest : {0, 1}) {  // host channel destinations: the capture is not made on the PC
        d->SetCaptureDest(static_cast<int8_t>(dest));
        EXPECT_FALSE(d->CaptureTarget().onPc) << dest;
    }

    d->SetCaptureDest(3);
    devices.SetCaptureToHost(false);
    EXPECT_FALSE(d->CaptureTarget().onPc);
}
