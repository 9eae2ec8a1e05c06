// The device setup wizard on a station built in the test: its pages and their order for each
// port kind, its fields with their defaults and ranges, the boxes that collapse, the names it
// refuses, and what Finished and Cancel change.
#include "desktop/Devicesetup.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include "desktop/Dasdesktop.h"
#include "desktop/DeviceImages.h"
#include "desktop/Forms.h"
#include "desktop/ModalResult.h"
#include "link/Global.h"
#include "link/Host.h"
#include "link/Serial.h"
#include "platform/Registry.h"
#include "station/StationFixture.h"
#include "support/Pty.h"
#include "support/TestFiles.h"
#include "support/QtHelpers.h"

namespace {

class DeviceSetupTest : public StationTest {
protected:
    void SetUp() override
    {
        StationTest::SetUp();
        ASSERT_TRUE(InstallDefaultDevicePicture());
        CreateToolForms();
        wizard = DeviceSetupForm;
        TDASDesktopForm::SetModalRunner([this](QDialog& dialog) {
            modalShown << dialog.windowTitle();
            return answer ? answer(dialog) : kModalCancel;
        });
    }

    void TearDown() override
    {
        TDASDesktopForm::SetModalRunner({});
        DeleteToolForms();
        StationTest::TearDown();
    }

    // Pages the Next button walks through from page 1 (and the title of each).
    QStringList NextWalk()
    {
        QStringList titles{wizard->CurrentPageTitle()};
        while (wizard->DevSetupNextButton->isEnabled()) {
            QTest::mouseClick(wizard->DevSetupNextButton, Qt::LeftButton);
            titles << QString::number(wizard->CurrentPage()) + " " + wizard->CurrentPageTitle();
        }
        return titles;
    }

    // Loads the device and shows the wizard at the page, as the main window does.
    void Open(TDevice& device, int page)
    {
        wizard->LoadFromDevice(device, page);
        wizard->show();
        QCoreApplication::processEvents();
    }

    void Finish() { QTest::mouseClick(wizard->DevSetupDoneButton, Qt::LeftButton); }

    TDeviceSetupForm* wizard = nullptr;
    QStringList modalShown;
    std::function<int(QDialog&)> answer;
};

TEST_F(DeviceSetupTest, PagesFollowThePortKind)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1, QStringLiteral("Serial"));
    AddPort(QStringLiteral("Frequency 1"), 21, 5, QStringLiteral("Frequency"));
    AddPort(QStringLiteral("Analog 1"), 11, 4, QStringLiteral("Analog"));
    AddPort(QStringLiteral("Frequency 2"), 22, 6, QStringLiteral("Frequency"));
    TDevice* ctd = devices.Add(QStringLiteral("CTD"));
    TDevice* flow = devices.Add(QStringLiteral("Flow"));
    TDevice* oxygen = devices.Add(QStringLiteral("Oxygen"));

    Open(*ctd, 1);
    EXPECT_EQ(wizard->CurrentPageTitle(), QStringLiteral("Basic Properties"));
    EXPECT_FALSE(wizard->DevSetupBackButton->isEnabled());
    EXPECT_TRUE(wizard->DevSetupDoneButton->isEnabled());
    EXPECT_EQ(NextWalk(),
              (QStringList{"Basic Properties", "2 Power/Output/Priority Options",
                           "3 Automatic Data Capture Options", "4 Labels for Captured Data",
                           "5 Captured Data Destinations"}));
    EXPECT_TRUE(wizard->DevSetupBackButton->isEnabled());

    Open(*flow, 1);
    EXPECT_EQ(NextWalk(), (QStringList{"Basic Properties", "2 Power/Output/Priority Options",
                                       "4 Labels for Captured Data", "5 Captured Data Destinations",
                                       "6 Analog/Frequency Options"}));
    EXPECT_TRUE(wizard->DevSetupDoneButton->isEnabled());
    // Page 6 of a frequency port shows both boxes at their full heights.
    EXPECT_EQ(wizard->GroupBox_Averaging->height(), 110);
    EXPECT_EQ(wizard->GroupBox_Frequency->height(), 60);
    EXPECT_EQ(wizard->GroupBox_Frequency->y(), wizard->GroupBox_Averaging->y() + 110 + 8);
    QTest::mouseClick(wizard->DevSetupBackButton, Qt::LeftButton);
    EXPECT_EQ(wizard->CurrentPage(), 5);
    EXPECT_TRUE(wizard->DevSetupNextButton->isEnabled());
    QTest::mouseClick(wizard->DevSetupBackButton, Qt::LeftButton);
    QTest::mouseClick(wizard->DevSetupBackButton, Qt::LeftButton);
    EXPECT_EQ(wizard->CurrentPage(), 2);

    // An analog input has no frequency options; callers may open any page.
    Open(*oxygen, 6);
    EXPECT_EQ(wizard->CurrentPageTitle(), QStringLiteral("Analog/Frequency Options"));
    EXPECT_FALSE(wizard->DevSetupNextButton->isEnabled());
    EXPECT_EQ(wizard->GroupBox_Averaging->height(), 110);
    EXPECT_EQ(wizard->GroupBox_Frequency->height(), 0);

    // The kind follows the port chosen in the list, before Finished.
    Open(*ctd, 5);
    EXPECT_FALSE(wizard->DevSetupNextButton->isEnabled());
    EXPECT_EQ(ComboItems(wizard->ComboBox_Ports), (QStringList{"Serial 1", "Frequency 2"}));
    wizard->ComboBox_Ports->setCurrentIndex(1);
    EXPECT_EQ(wizard->ComboBox_Connection->currentText(), QStringLiteral("JFrequency 2"));
    EXPECT_EQ(wizard->Label_Mux->text(), QStringLiteral("22"));
    EXPECT_TRUE(wizard->DevSetupNextButton->isEnabled());
}

TEST_F(DeviceSetupTest, ShowsANewDevicesDefaults)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    AddPort(QStringLiteral("Serial 2"), 2, 2);
    AddPort(QStringLiteral("Serial 3"), 3, 3);
    devices.Add(QStringLiteral("Taken"));  // holds Serial 1
    TDevice* ctd = devices.Add(QStringLiteral("CTD 1"));
    Open(*ctd, 1);

    EXPECT_EQ(wizard->windowTitle(), QStringLiteral("CTD 1 Setup"));
    EXPECT_EQ(wizard->Edit_Name->text(), QStringLiteral("CTD 1"));
    EXPECT_EQ(wizard->Edit_Icon_File->text(), GetProgramDataDir() + "Icons/Tavo.bmp");
    EXPECT_FALSE(wizard->IconImage->pixmap().isNull());
    // The free ports and the device's own, in table order, its own selected.
    EXPECT_EQ(ComboItems(wizard->ComboBox_Ports), (QStringList{"Serial 2", "Serial 3"}));
    EXPECT_EQ(ComboItems(wizard->ComboBox_Connection), (QStringList{"JSerial 2", "JSerial 3"}));
    EXPECT_EQ(wizard->ComboBox_Ports->currentText(), QStringLiteral("Serial 2"));
    EXPECT_EQ(wizard->Label_Mux->text(), QStringLiteral("2"));
    EXPECT_EQ(wizard->Serial_Settings->text(), QStringLiteral("9600,N,8,1"));
    EXPECT_EQ(wizard->ComboBox_Echo_Serial->currentText(), QStringLiteral("No Echo"));
    EXPECT_EQ(wizard->Echo_Settings->text(), QStringLiteral("9600,N,8,1,No Flow Control"));
    EXPECT_FALSE(wizard->Echo_Settings->isEnabled());
    EXPECT_FALSE(wizard->Button_Echo_Setup->isEnabled());

    EXPECT_EQ(wizard->Edit_PowerOnDelay->text(), QStringLiteral("30"));
    EXPECT_FALSE(wizard->Cb_PowerOnCmd->isChecked());
    EXPECT_EQ(wizard->Edit_PowerOnCmdWait->text(), QStringLiteral("30"));
    EXPECT_FALSE(wizard->Edit_PowerOnCmdWait->isEnabled());
    EXPECT_FALSE(wizard->Button_CmdPowerOn->isEnabled());
    EXPECT_EQ(wizard->Edit_PowerOffCmdWait->text(), QStringLiteral("30"));
    EXPECT_TRUE(wizard->Radio_StartStopData->isChecked());
    EXPECT_FALSE(wizard->Radio_OnDemandData->isChecked());
    EXPECT_EQ(wizard->Edit_PacketPause->text(), QStringLiteral("100"));
    EXPECT_FALSE(wizard->Edit_PacketPause->isEnabled());
    EXPECT_TRUE(wizard->Button_CmdStart->isEnabled());
    EXPECT_EQ(wizard->Edit_CmdStartDelay->text(), QStringLiteral("50"));
    EXPECT_EQ(wizard->Edit_CmdStopDelay->text(), QStringLiteral("50"));
    EXPECT_EQ(wizard->Edit_PowerOnPriority->text(), QStringLiteral("2nd"));
    EXPECT_EQ(wizard->Edit_PowerOnPriority->maximum(), 3);
    EXPECT_EQ(wizard->Edit_DataPriority->text(), QStringLiteral("2nd"));
    EXPECT_EQ(wizard->Edit_DataPriority->maximum(), 2);

    EXPECT_TRUE(wizard->Radio_StartBeforePower->isChecked());
    EXPECT_EQ(wizard->Edit_StartAfterDelay->text(), QStringLiteral("30"));
    EXPECT_FALSE(wizard->Edit_StartAfterDelay->isEnabled());
    EXPECT_TRUE(wizard->Radio_StopBeforePower->isChecked());
    EXPECT_EQ(wizard->Edit_StopAfterDelay->text(), QStringLiteral("200"));

    EXPECT_EQ(wizard->Edit_DateStampInfix->text(), QStringLiteral("/"));
    EXPECT_EQ(wizard->Edit_TimeStampInfix->text(), QStringLiteral(":"));
    ASSERT_EQ(wizard->ComboBox_DateStampFormat->count(), 16);
    EXPECT_EQ(wizard->ComboBox_DateStampFormat->currentText(), QStringLiteral("MM/DD/YYYY"));
    EXPECT_EQ(wizard->ComboBox_DateStampFormat->itemText(7), QStringLiteral("YY/JJJ"));
    EXPECT_EQ(wizard->ComboBox_DateStampFormat->itemText(8), QStringLiteral("MM/DD/YYYY HH:MM:SS"));

    EXPECT_TRUE(wizard->Radio_CaptureSeq->isChecked());
    EXPECT_EQ(wizard->Edit_CaptureDest->text(), QStringLiteral("CTD_1\\CTD_1000.RAW"));
    EXPECT_TRUE(wizard->Cb_CaptureDestAppend->isChecked());
    EXPECT_FALSE(wizard->Cb_CaptureDestAppend->isEnabled());
    EXPECT_EQ(wizard->ComboBox_CaptureDestOther->count(), 256);
    EXPECT_EQ(wizard->ComboBox_CaptureDestOther->currentIndex(), 2);
    EXPECT_EQ(wizard->ComboBox_CaptureDestOther->currentText(), QStringLiteral("CTD 1"));
    EXPECT_EQ(wizard->Edit_MasterDirectory->text(), NativePath(devices.GetCaptureDir()));

    EXPECT_FALSE(wizard->Cb_DoAveraging->isChecked());
    EXPECT_EQ(wizard->Edit_AvgNumSamples->text(), QStringLiteral("10"));
    EXPECT_EQ(wizard->Edit_AvgPause->text(), QStringLiteral("10"));
    EXPECT_EQ(wizard->Edit_FreqDuration->text(), QStringLiteral("1000000"));

    // The master directory dialog changes where captures go; the field follows it.
    answer = [](QDialog& dialog) {
        auto& master = dynamic_cast<TMasterPath&>(dialog);
        master.FormShow();
        master.SetDestinationIndex(1);
        master.done(kModalOk);
        return kModalOk;
    };
    Open(*ctd, 5);
    QTest::mouseClick(wizard->Btn_ChangeMasterDir, Qt::LeftButton);
    EXPECT_EQ(modalShown.last(), QStringLiteral("Master Directory"));
    EXPECT_FALSE(devices.GetCaptureToHost());
    EXPECT_EQ(wizard->Edit_MasterDirectory->text(), QStringLiteral("Current DAS Directory:"));
}

TEST_F(DeviceSetupTest, FixedCaptionsOfThePages)
{
    const auto titles = [this](QWidget* page) {
        QStringList out;
        for (const QGroupBox* box : page->findChildren<QGroupBox*>()) {
            out << box->title();
        }
        return out;
    };
    EXPECT_EQ(titles(wizard->Pages[0]), (QStringList{"Identification", "Connnection",
                                                     "Echo Data to PC Serial Port Options"}));
    EXPECT_EQ(titles(wizard->Pages[1]), (QStringList{"Power-On Options", "Power-Off Options",
                                                     "Data Output Style", "Priority Options"}));
    EXPECT_EQ(titles(wizard->Pages[2]),
              (QStringList{"Automatic Start Data Capture:", "Automatic Stop Data Capture:"}));
    EXPECT_EQ(
        titles(wizard->Pages[3]),
        (QStringList{"Start of Captured Data Labels", "Data Packet Labels",
                     "End of Captured Data Labels", "Date Stamp Format", "Time Stamp Format"}));
    EXPECT_EQ(titles(wizard->Pages[4]), QStringList{"Data is Captured to:"});
    EXPECT_EQ(titles(wizard->Pages[5]),
              (QStringList{"Analog/Frequency Averaging Options - Scripted Mode Only!",
                           "Frequency Options"}));
    QStringList labels;
    for (const QLabel* label : wizard->findChildren<QLabel*>()) {
        labels << label->text();
    }
    for (const char* text :
         {"DAS Connector:", "OR...       DAS Port:", "MUX Port:", "Device Serial Settings:",
          "Folder Name(s) will be ignored if saving to DAS."}) {
        EXPECT_TRUE(labels.contains(QString::fromLatin1(text))) << text;
    }
    EXPECT_EQ(wizard->Radio_OnDemandData->text(),
              QStringLiteral("Pelagrix must request each data packet from the device"));
    EXPECT_EQ(wizard->Radio_AutomaticData->text(),
              QStringLiteral("Instrument Sends Serial Data Automatically and Continiously"));
    EXPECT_EQ(wizard->Radio_StartStopData->text(),
              QStringLiteral("Pelagrix Tells Instrument to Start/Stop Continous Serial Data"));
    EXPECT_EQ(wizard->Radio_StartAfterRetrieve->text(),
              QStringLiteral("Start after sending \"Get Saved Data\" command at the end of data "
                             "collection."));
    EXPECT_EQ(wizard->Radio_StopBeforeDataCmd->text(),
              QStringLiteral("Stop immediately before sending \"Stop Data\" Commands."));
    QStringList destinations;
    for (const QRadioButton* r : {wizard->Radio_CaptureHost, wizard->Radio_CaptureOther,
                                  wizard->Radio_CaptureSeq, wizard->Radio_CaptureFile}) {
        destinations << r->text();
    }
    EXPECT_EQ(destinations, (QStringList{"Default Host Channel", "Other Host Channel",
                                         "Sequentially Numbered File", "Non-Sequential File"}));
    EXPECT_EQ(wizard->ImportSettingsButton->text(), QStringLiteral("Import Settings"));
    EXPECT_EQ(wizard->ExportSettingsButton->text(), QStringLiteral("Export Settings"));
    EXPECT_EQ(wizard->Btn_ChangeMasterDir->text(), QStringLiteral("Change Master Directory"));
    QStringList bottom;
    for (const QPushButton* b :
         {wizard->DevSetupCancelButton, wizard->DevSetupHelpButton, wizard->DevSetupBackButton,
          wizard->DevSetupNextButton, wizard->DevSetupDoneButton}) {
        bottom << b->text();
    }
    EXPECT_EQ(bottom, (QStringList{"Cancel", "Help", "<--- Back", "Next -->", "Finished"}));
}

TEST_F(DeviceSetupTest, PortsThatAreNotSerialLoseCommandsAndOnDemandChoice)
{
    AddPort(QStringLiteral("Digital 1"), 31, 6, QStringLiteral("DigitalInput"));
    TDevice* d = devices.Add(QStringLiteral("Switch"));
    d->SetPowerOnCmd(true);
    d->SetPowerOffCmd(true);
    d->SetCollectionType(2);
    d->SetDoAveraging(true);
    Open(*d, 1);
    EXPECT_EQ(NextWalk().size(), 5);

    // The power-on box loses its command row, the power-off box and on-demand choice go.
    EXPECT_EQ(wizard->GroupBox_PowerOn->height(), 50);
    EXPECT_EQ(wizard->GroupBox_PowerOff->height(), 0);
    EXPECT_TRUE(wizard->Radio_OnDemandData->isHidden());
    EXPECT_TRUE(wizard->Button_CmdGetData->isHidden());
    EXPECT_TRUE(wizard->Edit_PacketPause->isEnabled());
    // Only the "Time between packets" row of the output box stays, then the priorities.
    EXPECT_LT(wizard->GroupBox_DataOutput->height(), 220);
    EXPECT_GE(wizard->GroupBox_DataOutput->height(),
              wizard->Edit_PacketPause->mapTo(wizard->GroupBox_DataOutput, QPoint(0, 0)).y() +
                  wizard->Edit_PacketPause->height());
    EXPECT_EQ(wizard->GroupBox_PowerOff->y(), wizard->GroupBox_PowerOn->y() + 50 + 8);
    EXPECT_EQ(wizard->GroupBox_DataOutput->y(), wizard->GroupBox_PowerOff->y());
    EXPECT_EQ(wizard->GroupBox_Priority->y(),
              wizard->GroupBox_DataOutput->y() + wizard->GroupBox_DataOutput->height() + 8);
    EXPECT_EQ(wizard->GroupBox_Averaging->height(), 0);

    Finish();
    EXPECT_EQ(wizard->result(), kModalOk);
    EXPECT_FALSE(d->GetPowerOnCmd());
    EXPECT_FALSE(d->GetPowerOffCmd());
    EXPECT_EQ(d->GetCollectionType(), 0);
    EXPECT_FALSE(d->GetDoAveraging());
}

TEST_F(DeviceSetupTest, NumberFieldsAreRaisedToTheirLeast)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    TDevice* d = devices.Add(QStringLiteral("CTD"));
    const struct {
        QLineEdit* TDeviceSetupForm::*field;
        const char* text;
        int (TDevice::*get)() const;
        int expected;
    } cases[] = {
        {&TDeviceSetupForm::Edit_PowerOnDelay, "10", &TDevice::GetPowerOnDelay, 30},
        {&TDeviceSetupForm::Edit_PowerOnDelay, "abc", &TDevice::GetPowerOnDelay, 30},
        {&TDeviceSetupForm::Edit_PowerOnDelay, "75", &TDevice::GetPowerOnDelay, 75},
        {&TDeviceSetupForm::Edit_FreqDuration, "5", &TDevice::GetFreqDuration, 10},
        {&TDeviceSetupForm::Edit_FreqDuration, "2500", &TDevice::GetFreqDuration, 2500},
        {&TDeviceSetupForm::Edit_PacketPause, "-3", &TDevice::GetPacketPause, 0},
        {&TDeviceSetupForm::Edit_PowerOnCmdWait, "x", &TDevice::GetPowerOnCmdWait, 0},
        {&TDeviceSetupForm::Edit_PowerOffCmdWait, "-1", &TDevice::GetPowerOffCmdWait, 0},
        {&TDeviceSetupForm::Edit_CmdStartDelay, "12", &TDevice::GetCmdStartDelay, 12},
        {&TDeviceSetupForm::Edit_CmdStopDelay, "", &TDevice::GetCmdStopDelay, 0},
        {&TDeviceSetupForm::Edit_StartAfterDelay, "-9", &TDevice::GetStartAfterDelay, 0},
        {&TDeviceSetupForm::Edit_StopAfterDelay, "7", &TDevice::GetStopAfterDelay, 7},
        {&TDeviceSetupForm::Edit_AvgNumSamples, "-2", &TDevice::GetAvgNumSamples, 0},
        {&TDeviceSetupForm::Edit_AvgPause, "3", &TDevice::GetAvgPause, 3},
    };
    for (const auto& c : cases) {
        Open(*d, 1);
        (wizard->*c.field)->setText(QString::fromLatin1(c.text));
        Finish();
        EXPECT_EQ((d->*c.get)(), c.expected) << c.text;
    }
}

TEST_F(DeviceSetupTest, CaptureRadiosFollowRetrieval)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    TDevice* d = devices.Add(QStringLiteral("CTD"));
    Open(*d, 3);
    EXPECT_FALSE(wizard->Radio_StartBeforePowerCmd->isEnabled());
    EXPECT_FALSE(wizard->Button_CmdGetSavedData->isEnabled());
    EXPECT_FALSE(wizard->Radio_StopAfterRetrieve->isEnabled());

    QTest::mouseClick(wizard->Radio_StartAfterRetrieve, Qt::LeftButton);
    EXPECT_TRUE(wizard->Radio_StartAfterRetrieve->isChecked());
    EXPECT_FALSE(wizard->Radio_StartBeforePower->isChecked());
    EXPECT_TRUE(wizard->Radio_StopAfterRetrieve->isChecked());
    EXPECT_TRUE(wizard->Radio_StopAfterRetrieve->isEnabled());
    for (QRadioButton* r : {wizard->Radio_StopBeforeDataCmd, wizard->Radio_StopAfterDataCmd,
                            wizard->Radio_StopBeforePowerCmd, wizard->Radio_StopAfterPowerCmd,
                            wizard->Radio_StopBeforePower}) {
        EXPECT_FALSE(r->isEnabled());
        EXPECT_FALSE(r->isChecked());
    }
    EXPECT_TRUE(wizard->Button_CmdGetSavedData->isEnabled());
    EXPECT_TRUE(wizard->Edit_StartAfterDelay->isEnabled());
    EXPECT_TRUE(wizard->Edit_StopAfterDelay->isEnabled());

    // Another start choice takes the stop choice away: none is checked, which saves 5.
    QTest::mouseClick(wizard->Radio_StartAfterPower, Qt::LeftButton);
    EXPECT_FALSE(wizard->Radio_StopAfterRetrieve->isChecked());
    EXPECT_TRUE(wizard->Radio_StopBeforePower->isEnabled());
    // A click on the checked radio keeps it checked.
    QTest::mouseClick(wizard->Radio_StartAfterPower, Qt::LeftButton);
    EXPECT_TRUE(wizard->Radio_StartAfterPower->isChecked());
    Finish();
    EXPECT_EQ(d->GetStartDataCapture(), 2);
    EXPECT_EQ(d->GetStopDataCapture(), 5);

    // The stop choices follow the output style and the power-off commands.
    Open(*d, 2);
    QTest::mouseClick(wizard->Radio_AutomaticData, Qt::LeftButton);
    EXPECT_FALSE(wizard->Radio_StartBeforeDataCmd->isEnabled());
    EXPECT_FALSE(wizard->Radio_StopBeforeDataCmd->isEnabled());
    EXPECT_FALSE(wizard->Button_CmdStart->isEnabled());
    EXPECT_EQ(wizard->GroupBox_DataLabels->height(), 0);
    QTest::mouseClick(wizard->Radio_OnDemandData, Qt::LeftButton);
    EXPECT_EQ(wizard->GroupBox_DataLabels->height(), 60);
    EXPECT_TRUE(wizard->Button_CmdGetData->isEnabled());
    EXPECT_TRUE(wizard->Edit_Prefix->isEnabled());
    EXPECT_FALSE(wizard->Edit_Suffix->isEnabled());
    QTest::mouseClick(wizard->Cb_PowerOffCmd, Qt::LeftButton);
    EXPECT_TRUE(wizard->Radio_StopBeforePowerCmd->isEnabled());
    EXPECT_TRUE(wizard->Button_CmdPowerOff->isEnabled());
    Finish();
    EXPECT_EQ(d->GetCollectionType(), 0);
    EXPECT_TRUE(d->GetPowerOffCmd());
}

TEST_F(DeviceSetupTest, StoredValuesOutsideTheListsAreShownOrKept)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    AddPort(QStringLiteral("Serial 2"), 40, 2);
    TDevice* a = devices.Add(QStringLiteral("A"));
    TDevice* b = devices.Add(QStringLiteral("B"));
    b->SetCaptureDestOther(40);
    a->SetCaptureDestOther(12);
    Open(*b, 5);
    EXPECT_EQ(wizard->ComboBox_CaptureDestOther->currentText(), QStringLiteral("B"));
    Finish();
    Open(*a, 5);
    EXPECT_EQ(wizard->ComboBox_CaptureDestOther->currentIndex(), 12);
    EXPECT_EQ(wizard->ComboBox_CaptureDestOther->itemText(12), QStringLiteral("12"));
    EXPECT_EQ(wizard->ComboBox_CaptureDestOther->itemText(100), QStringLiteral("100"));

    // A channel no list holds, a date format past the list's end, an echo port this PC lacks.
    a->SetCaptureDestOther(300);
    a->SetDateStampFormat(40);
    a->SetEchoSerial(9);
    Open(*a, 1);
    EXPECT_EQ(wizard->ComboBox_CaptureDestOther->currentIndex(), -1);
    EXPECT_EQ(wizard->ComboBox_DateStampFormat->currentIndex(), 15);
    EXPECT_EQ(wizard->ComboBox_Echo_Serial->currentIndex(), -1);
    Finish();
    EXPECT_EQ(a->GetCaptureDestOther(), 300);
    EXPECT_EQ(a->GetDateStampFormat(), 16);
    EXPECT_EQ(a->GetEchoSerial(), 9);

    a->SetDateStampFormat(0);
    Open(*a, 4);
    EXPECT_EQ(wizard->ComboBox_DateStampFormat->currentText(), QStringLiteral("MM/DD/YYYY"));
    wizard->ComboBox_DateStampFormat->setCurrentIndex(8);
    Finish();
    EXPECT_EQ(a->GetDateStampFormat(), 9);
    Open(*a, 4);
    wizard->ComboBox_DateStampFormat->setCurrentIndex(0);
    Finish();
    EXPECT_EQ(a->GetDateStampFormat(), 1);
}

TEST_F(DeviceSetupTest, NamesOtherDevicesOrModelsCarryAreRefused)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    AddPort(QStringLiteral("Serial 2"), 2, 2);
    TDevice* pump = devices.Add(QStringLiteral("Pump"));
    TDevice* fan = devices.Add(QStringLiteral("Fan"));

    Open(*fan, 1);
    wizard->setResult(0);
    wizard->Edit_Name->setText(QStringLiteral("PUMP"));
    EXPECT_EQ(wizard->windowTitle(), QStringLiteral("PUMP Setup"));
    Finish();
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("Name \"PUMP\" already exists."));
    EXPECT_EQ(wizard->result(), 0);
    EXPECT_NE(wizard->WorkingCopy(), nullptr);
    EXPECT_EQ(fan->GetName(), QStringLiteral("Fan"));

    for (const char* name : {"corvane", "Pelagrix"}) {
        wizard->Edit_Name->setText(QString::fromLatin1(name));
        Finish();
        EXPECT_EQ(prompt.shown.back().text,
                  QStringLiteral("Name \"") + QLatin1String(name) + "\" already exists.");
        EXPECT_EQ(wizard->result(), 0);
    }
    for (const char* name : {"", "  ", "Fan[2]"}) {
        const size_t before = prompt.shown.size();
        wizard->Edit_Name->setText(QString::fromLatin1(name));
        Finish();
        EXPECT_EQ(prompt.shown.size(), before + 1) << name;
        EXPECT_EQ(wizard->result(), 0);
    }
    EXPECT_EQ(fan->GetName(), QStringLiteral("Fan"));

    // Its own name in another case is fine.
    Open(*pump, 1);
    wizard->Edit_Name->setText(QStringLiteral("pump"));
    Finish();
    EXPECT_EQ(wizard->result(), kModalOk);
    EXPECT_EQ(pump->GetName(), QStringLiteral("pump"));
}

TEST_F(DeviceSetupTest, FinishedWritesBackAndRenamesCancelChangesNothing)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    AddPort(QStringLiteral("Serial 2"), 2, 2);
    AddPort(QStringLiteral("Serial 3"), 3, 3);
    TDevice* d = devices.Add(QStringLiteral("Probe"));
    TPort* serial1 = ports.FindPort(QStringLiteral("Serial 1"));

    // Cancel, Escape and the title bar's close: nothing changes, the copy is gone.
    const auto editAll = [this] {
        wizard->Edit_Name->setText(QStringLiteral("Other"));
        wizard->Edit_PacketPause->setText(QStringLiteral("7"));
        wizard->ComboBox_Ports->setCurrentIndex(1);
        wizard->Edit_PowerOnDelay->setText(QStringLiteral("99"));
    };
    for (int way = 0; way < 3; ++way) {
        Open(*d, 1);
        editAll();
        if (way == 0) {
            QTest::mouseClick(wizard->DevSetupCancelButton, Qt::LeftButton);
        } else if (way == 1) {
            QTest::keyClick(wizard, Qt::Key_Escape);
        } else {
            wizard->close();
        }
        EXPECT_EQ(wizard->result(), kModalCancel);
        EXPECT_FALSE(wizard->isVisible());
        EXPECT_EQ(wizard->WorkingCopy(), nullptr);
        EXPECT_EQ(d->GetName(), QStringLiteral("Probe"));
        EXPECT_EQ(d->GetPacketPause(), 100);
        EXPECT_EQ(d->GetPort(), serial1);
        EXPECT_EQ(d->GetPowerOnDelay(), 30);
        // The copy never took the port or the channel from the device.
        EXPECT_EQ(serial1->GetDevice(), d);
        EXPECT_EQ(mux.GetChannel(1)->GetDevice(), d);
    }
    EXPECT_FALSE(ConfigurationChanged);

    // Finished: the edits, the new name on the row and the channel, the new port.
    Open(*d, 1);
    wizard->Edit_Name->setText(QStringLiteral("CTD"));
    EXPECT_EQ(wizard->windowTitle(), QStringLiteral("CTD Setup"));
    wizard->Edit_PacketPause->setText(QStringLiteral("7"));
    wizard->ComboBox_Ports->setCurrentIndex(wizard->ComboBox_Ports->findText("Serial 3"));
    Finish();
    EXPECT_EQ(wizard->result(), kModalOk);
    EXPECT_EQ(wizard->WorkingCopy(), nullptr);
    EXPECT_EQ(d->GetName(), QStringLiteral("CTD"));
    EXPECT_EQ(Row(d, kColDevice), QStringLiteral("CTD"));
    EXPECT_EQ(d->GetPacketPause(), 7);
    EXPECT_TRUE(ConfigurationChanged);
    EXPECT_EQ(d->GetPort()->GetName(), QStringLiteral("Serial 3"));
    EXPECT_EQ(serial1->GetDevice(), nullptr);
    EXPECT_EQ(mux.GetChannel(1), nullptr);
    ASSERT_NE(mux.GetChannel(3), nullptr);
    EXPECT_EQ(mux.GetChannel(3)->GetName(), QStringLiteral("CTD"));
    EXPECT_EQ(Row(d, kColPortNo), QStringLiteral("Serial 3"));
}

TEST_F(DeviceSetupTest, PowerOnDelayAndPriorityFollowThePortChosenOnPageOne)
{
    QTemporaryDir dir;
    TPort* first = AddPort(QStringLiteral("Serial 1"), 1, 1);
    AddPort(QStringLiteral("Serial 2"), 2, 2);
    TPort* real = AddPort(QStringLiteral("Serial 3"), 3, 3);
    AddPort(QStringLiteral("Serial 4"), 4, 3);
    ports.SetPowerOnDelay(first, 40);
    ports.SetPowerOnDelay(real, 120);
    // A new device starts on the first free port.
    TDevice* d = devices.Add(QStringLiteral("CTD"));
    ASSERT_EQ(d->GetPort(), first);
    const auto switchesUntouched = [&] {
        EXPECT_EQ(ports.GetPowerOnDelay(first), 40);
        EXPECT_EQ(ports.GetPowerOnDelay(real), 120);
        EXPECT_EQ(ports.GetPowerOnPriority(first), 1);
        EXPECT_EQ(ports.GetPowerOnPriority(real), 3);
    };

    // Either list of page 1 brings page 2 the new port's switch; Cancel leaves every switch
    // alone, and an export sets only the chosen port's switch, at once.
    Open(*d, 1);
    wizard->ComboBox_Connection->setCurrentIndex(
        wizard->ComboBox_Connection->findText(QStringLiteral("JSerial 3")));
    wizard->Edit_PowerOnDelay->setText(QStringLiteral("250"));
    QTest::mouseClick(wizard->DevSetupCancelButton, Qt::LeftButton);
    switchesUntouched();
    Open(*d, 1);
    EXPECT_EQ(wizard->Edit_PowerOnDelay->text(), QStringLiteral("40"));
    EXPECT_EQ(wizard->Edit_PowerOnPriority->text(), QStringLiteral("1st"));
    wizard->ComboBox_Connection->setCurrentIndex(
        wizard->ComboBox_Connection->findText(QStringLiteral("JSerial 3")));
    EXPECT_EQ(wizard->Edit_PowerOnDelay->text(), QStringLiteral("120"));
    EXPECT_EQ(wizard->Edit_PowerOnPriority->text(), QStringLiteral("3rd"));
    wizard->Edit_PowerOnDelay->setText(QStringLiteral("250"));
    const QString file = dir.filePath(QStringLiteral("CTD.ins"));
    prompt.QueueFile(file);
    QTest::mouseClick(wizard->ExportSettingsButton, Qt::LeftButton);
    EXPECT_TRUE(ReadAll(file).contains("\r\nPowerOnDelay=250\r\n"));
    QTest::mouseClick(wizard->DevSetupCancelButton, Qt::LeftButton);
    EXPECT_EQ(ports.GetPowerOnDelay(real), 250);
    EXPECT_EQ(ports.GetPowerOnDelay(first), 40);
    EXPECT_EQ(d->GetPort(), first);
    ports.SetPowerOnDelay(real, 120);

    // Finished writes the delay and the priority to the chosen port's switch only. Another port
    // on that switch keeps what was typed.
    Open(*d, 1);
    wizard->ComboBox_Ports->setCurrentIndex(
        wizard->ComboBox_Ports->findText(QStringLiteral("Serial 4")));
    wizard->Edit_PowerOnDelay->setText(QStringLiteral("250"));
    wizard->Edit_PowerOnPriority->stepDown();
    wizard->ComboBox_Ports->setCurrentIndex(
        wizard->ComboBox_Ports->findText(QStringLiteral("Serial 3")));
    EXPECT_EQ(wizard->Edit_PowerOnDelay->text(), QStringLiteral("250"));
    EXPECT_EQ(wizard->Edit_PowerOnPriority->text(), QStringLiteral("2nd"));
    Finish();
    ASSERT_EQ(wizard->result(), kModalOk);
    EXPECT_EQ(d->GetPort(), real);
    EXPECT_EQ(ports.GetPowerOnDelay(real), 250);
    EXPECT_EQ(ports.GetPowerOnPriority(real), 2);
    EXPECT_EQ(ports.GetPowerOnDelay(first), 40);
    EXPECT_EQ(ports.GetPowerOnPriority(first), 1);
    EXPECT_EQ(ports.SwitchNumberAt(3), 2);
}

TEST_F(DeviceSetupTest, FinishedKeepsWhatRanWhileTheWizardWasOpen)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    TDevice* d = devices.Add(QStringLiteral("CTD"));
    Open(*d, 1);
    // Host-side commands go on while the wizard is open.
    d->SetDataActive(true);
    d->SetCaptureOn(true);
    d->SetBusy(true);
    const double pollTime = d->GetNextPollTime();
    wizard->Edit_PacketPause->setText(QStringLiteral("5"));
    Finish();
    EXPECT_EQ(d->GetPacketPause(), 5);
    EXPECT_TRUE(d->GetDataOn());
    EXPECT_TRUE(d->GetCaptureOn());
    EXPECT_TRUE(d->IsBusy());
    EXPECT_EQ(d->GetNextPollTime(), pollTime);
    EXPECT_EQ(Row(d, kColData), QStringLiteral("ON"));
}

TEST_F(DeviceSetupTest, PrioritiesAreReadFromTheirLeadingNumberAndOnlyWhenChanged)
{
    AddPort(QStringLiteral("S1"), 1, 1);
    AddPort(QStringLiteral("S2"), 2, 2);
    AddPort(QStringLiteral("S3"), 3, 3);
    AddPort(QStringLiteral("S4"), 4, 4);
    TDevice* a = devices.Add(QStringLiteral("A"));
    devices.Add(QStringLiteral("B"));
    TDevice* c = devices.Add(QStringLiteral("C"));
    TDevice* d = devices.Add(QStringLiteral("D"));

    // Data priority typed as a plain number moves the device to the head of the list.
    Open(*c, 2);
    EXPECT_EQ(wizard->Edit_DataPriority->text(), QStringLiteral("3rd"));
    wizard->Edit_DataPriority->findChild<QLineEdit*>()->setText(QStringLiteral("1"));
    Finish();
    EXPECT_EQ(devices.Items(0), c);
    EXPECT_EQ(Row(c, kColDSeq), QStringLiteral("1"));
    EXPECT_EQ(Row(a, kColDSeq), QStringLiteral("2"));

    // Power-on priority typed as "2" or "2nd" gives 2, never "first".
    Open(*d, 2);
    EXPECT_EQ(wizard->Edit_PowerOnPriority->text(), QStringLiteral("4th"));
    wizard->Edit_PowerOnPriority->findChild<QLineEdit*>()->setText(QStringLiteral("2"));
    Finish();
    EXPECT_EQ(d->GetPowerOnPriority(), 2);
    Open(*d, 2);
    wizard->Edit_PowerOnPriority->stepUp();
    EXPECT_EQ(wizard->Edit_PowerOnPriority->text(), QStringLiteral("3rd"));
    Finish();
    EXPECT_EQ(d->GetPowerOnPriority(), 3);

    // A position the arrows cannot show is left alone when the operator did not touch it.
    ports.SetPowerOnPriority(a->GetPort(), 16);
    ASSERT_EQ(a->GetPowerOnPriority(), 16);
    Open(*a, 2);
    EXPECT_EQ(wizard->Edit_PowerOnPriority->text(), QStringLiteral("4th"));
    Finish();
    EXPECT_EQ(a->GetPowerOnPriority(), 16);
}

TEST_F(DeviceSetupTest, EchoListAndSerialSettingsDialogs)
{
    QTemporaryDir dir;
    SetSettingsFilePath(dir.filePath(QStringLiteral("Wendrok.ini")));
    TPty link;
    TPty spare;
    for (int n = 1; n <= 15; ++n) {
        SetComPortDevicePath(n, dir.filePath(QStringLiteral("none")));
    }
    SetComPortDevicePath(1, link.Slave());
    SetComPortDevicePath(3, spare.Slave());
    Host.SetDasPort(1);
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    TDevice* d = devices.Add(QStringLiteral("CTD"));
    d->SetEchoSerial(3);
    d->SetEchoFlow(2);

    Open(*d, 1);
    EXPECT_EQ(ComboItems(wizard->ComboBox_Echo_Serial), (QStringList{"No Echo", "COM3"}));
    EXPECT_EQ(wizard->ComboBox_Echo_Serial->currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(wizard->Echo_Settings->text(), QStringLiteral("9600,N,8,1,Hardware"));
    EXPECT_TRUE(wizard->Button_Echo_Setup->isEnabled());

    // The device's line through the serial settings dialog without flow control.
    answer = [](QDialog& dialog) {
        auto& comm = dynamic_cast<TCommSetupForm&>(dialog);
        EXPECT_TRUE(comm.ComboBox_Flow->isHidden());
        EXPECT_EQ(comm.ComboBox_Baud->currentText(), QStringLiteral("9600"));
        comm.ComboBox_Baud->setCurrentIndex(comm.ComboBox_Baud->findText("19200"));
        comm.ComboBox_Parity->setCurrentIndex(comm.ComboBox_Parity->findText("Even"));
        comm.ComboBox_Bits->setCurrentIndex(comm.ComboBox_Bits->findText("7"));
        comm.Button_OKClick();
        return comm.result();
    };
    QTest::mouseClick(wizard->Button_Serial_Setup, Qt::LeftButton);
    EXPECT_EQ(modalShown.last(), QStringLiteral("Setup Communications"));
    EXPECT_EQ(wizard->Serial_Settings->text(), QStringLiteral("19200,E,7,1"));

    // The echo port's line with flow control; Cancel gives back what it was given.
    answer = [](QDialog& dialog) {
        auto& comm = dynamic_cast<TCommSetupForm&>(dialog);
        EXPECT_FALSE(comm.ComboBox_Flow->isHidden());
        EXPECT_EQ(comm.ComboBox_Flow->currentText(), QStringLiteral("Hardware"));
        comm.ComboBox_Flow->setCurrentIndex(1);
        comm.Button_CancelClick();
        return comm.result();
    };
    QTest::mouseClick(wizard->Button_Echo_Setup, Qt::LeftButton);
    EXPECT_EQ(wizard->Echo_Settings->text(), QStringLiteral("9600,N,8,1,Hardware"));
    answer = [](QDialog& dialog) {
        auto& comm = dynamic_cast<TCommSetupForm&>(dialog);
        comm.ComboBox_Flow->setCurrentIndex(1);
        comm.ComboBox_StopBits->setCurrentIndex(2);
        comm.Button_OKClick();
        return comm.result();
    };
    QTest::mouseClick(wizard->Button_Echo_Setup, Qt::LeftButton);
    EXPECT_EQ(wizard->Echo_Settings->text(), QStringLiteral("9600,N,8,2,XonXoff"));
    Finish();
    EXPECT_EQ(d->GetPortBaud(), 19200);
    EXPECT_EQ(d->GetPortSettings(), QStringLiteral("E,7,1"));
    EXPECT_EQ(d->GetEchoSettings(), QStringLiteral("N,8,2"));
    EXPECT_EQ(d->GetEchoFlow(), 1);
    EXPECT_EQ(d->GetEchoSerial(), 3);

    Open(*d, 1);
    wizard->ComboBox_Echo_Serial->setCurrentIndex(0);
    EXPECT_FALSE(wizard->Button_Echo_Setup->isEnabled());
    Finish();
    EXPECT_EQ(d->GetEchoSerial(), -1);
    SetSettingsFilePath(QString());
}

TEST_F(DeviceSetupTest, CommandButtonsEditTheirOwnBlocks)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    TDevice* d = devices.Add(QStringLiteral("CTD"));
    d->SetCmdStart({QStringLiteral("GO")});
    d->SetCmdStop({QStringLiteral("STOP")});
    Open(*d, 2);

    QStringList loaded;
    answer = [&loaded](QDialog& dialog) {
        auto& editor = dynamic_cast<TEditCommandForm&>(dialog);
        loaded = editor.Commands();
        editor.Cb_SupCR->setChecked(true);
        editor.DevSetupOKButtonClick();
        return editor.result();
    };
    QTest::mouseClick(wizard->Button_CmdStart, Qt::LeftButton);
    EXPECT_EQ(modalShown.last(), QStringLiteral("Edit Commands"));
    EXPECT_EQ(loaded, QStringList{"GO"});
    QTest::mouseClick(wizard->Cb_PowerOnCmd, Qt::LeftButton);
    QTest::mouseClick(wizard->Button_CmdPowerOn, Qt::LeftButton);
    EXPECT_TRUE(loaded.isEmpty());

    // The editor's Cancel leaves the block as it was.
    answer = [&loaded](QDialog& dialog) {
        auto& editor = dynamic_cast<TEditCommandForm&>(dialog);
        loaded = editor.Commands();
        editor.RichEdit->setPlainText(QStringLiteral("CHANGED"));
        editor.DevSetupCancelButtonClick();
        return editor.result();
    };
    QTest::mouseClick(wizard->Button_CmdStop, Qt::LeftButton);
    EXPECT_EQ(loaded, QStringList{"STOP"});
    // Nothing reaches the device before Finished.
    EXPECT_EQ(d->GetCmdStart(), QStringList{"GO"});
    Finish();
    EXPECT_EQ(d->GetCmdStart(), (QStringList{"\\!SupCr", "GO"}));
    EXPECT_EQ(d->GetCmdPowerOn(), QStringList{"\\!SupCr"});
    EXPECT_EQ(d->GetCmdStop(), QStringList{"STOP"});
    EXPECT_TRUE(d->GetPowerOnCmd());
}

TEST_F(DeviceSetupTest, PicturesAndCaptureNamesThatCannotBeUsed)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    TDevice* d = devices.Add(QStringLiteral("CTD"));
    d->SetImage(GetProgramDataDir() + "Icons/Missing.bmp");
    // A picture that cannot be loaded shows as an empty one.
    Open(*d, 1);
    EXPECT_EQ(wizard->Edit_Icon_File->text(), GetProgramDataDir() + "Icons/Missing.bmp");

    prompt.shown.clear();
    wizard->Edit_Icon_File->setText(QStringLiteral("Icons\\Tavo.bmp"));
    wizard->Edit_Icon_FileExit();
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_FALSE(wizard->IconImage->pixmap().isNull());
    for (const char* bad : {"Icons\\NoSuch.bmp", "..\\..\\outside.bmp"}) {
        wizard->Edit_Icon_File->setText(QString::fromLatin1(bad));
        wizard->Edit_Icon_FileExit();
        ASSERT_FALSE(prompt.shown.empty());
        EXPECT_EQ(prompt.shown.back().text, QStringLiteral("Invalid Graphic File Selected"));
        EXPECT_EQ(wizard->Edit_Icon_File->text(), QStringLiteral("Icons\\Tavo.bmp")) << bad;
    }

    // The icon picker starts at the picture and offers bitmaps.
    prompt.QueueFile(std::nullopt);
    QTest::mouseClick(wizard->Button_Icon_File, Qt::LeftButton);
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("Select Icon Image for CTD"));
    EXPECT_EQ(prompt.lastFileOptions.filter, QStringLiteral("Bitmaps (*.bmp)|*.bmp"));
    EXPECT_EQ(prompt.lastFileOptions.fileName, GetProgramDataDir() + "Icons/Tavo.bmp");
    EXPECT_EQ(wizard->Edit_Icon_File->text(), QStringLiteral("Icons\\Tavo.bmp"));

    // A capture name leaving the capture folder keeps the wizard open with a message.
    wizard->Edit_CaptureDest->setText(QStringLiteral("..\\..\\victim.txt"));
    prompt.shown.clear();
    wizard->setResult(0);
    Finish();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_TRUE(prompt.shown[0].text.contains(QStringLiteral("..\\..\\victim.txt")));
    EXPECT_EQ(wizard->result(), 0);
    EXPECT_EQ(d->GetCaptureDestName(), QStringLiteral("CTD\\CTD_000.RAW"));

    // Finished shows the new picture on the device's row.
    wizard->Edit_CaptureDest->setText(QStringLiteral("CTD\\Cast.RAW"));
    const int shownBefore = images.paths.size();
    Finish();
    EXPECT_EQ(wizard->result(), kModalOk);
    EXPECT_EQ(d->GetCaptureDestName(), QStringLiteral("CTD\\Cast.RAW"));
    EXPECT_EQ(d->GetImage(), QStringLiteral("Icons\\Tavo.bmp"));
    ASSERT_EQ(images.paths.size(), shownBefore + 1);
    EXPECT_EQ(images.paths.last(), GetProgramDataDir() + "Icons/Tavo.bmp");
    EXPECT_GE(d->GetImageIndex(), 0);
}

TEST_F(DeviceSetupTest, ExportWritesTheListedNameIntoAFileNamedAfterTheNameField)
{
    QTemporaryDir dir;
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    TDevice* d = devices.Add(QStringLiteral("CTD"));
    Open(*d, 1);
    wizard->Edit_Name->setText(QStringLiteral("CTD2"));
    wizard->Edit_PacketPause->setText(QStringLiteral("42"));
    wizard->Edit_PowerOnDelay->setText(QStringLiteral("75"));

    const QString file = dir.filePath(QStringLiteral("CTD2.ins"));
    prompt.QueueFile(file);
    QTest::mouseClick(wizard->ExportSettingsButton, Qt::LeftButton);
    ASSERT_EQ(prompt.shown.back().kind, QStringLiteral("save"));
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("Export Instrument Configuration File"));
    EXPECT_EQ(prompt.lastFileOptions.fileName, QStringLiteral("CTD2"));
    EXPECT_EQ(prompt.lastFileOptions.defaultExt, QStringLiteral("ins"));
    EXPECT_EQ(prompt.lastFileOptions.folder, GetProgramDataDir() + "Config/");
    EXPECT_EQ(prompt.lastFileOptions.filter,
              QStringLiteral("Instrument Configuration Files (*.ins)|*.ins"));
    const QByteArray written = ReadAll(file);
    EXPECT_TRUE(written.startsWith("[CTD]\r\n")) << written.left(40).toStdString();
    EXPECT_TRUE(written.contains("\r\nPacketPause=42\r\n"));
    EXPECT_TRUE(written.contains("\r\nPowerOnDelay=75\r\n"));

    // An existing file is written over only after Yes.
    WriteFile(file, "[Old]\r\nPacketPause=1\r\n");
    wizard->Edit_PacketPause->setText(QStringLiteral("43"));
    prompt.QueueFile(file);
    prompt.QueueMessageAnswer(TMsgResult::No);
    QTest::mouseClick(wizard->ExportSettingsButton, Qt::LeftButton);
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("File Exists. OverWrite?"));
    EXPECT_EQ(ReadAll(file), QByteArray("[Old]\r\nPacketPause=1\r\n"));
    prompt.QueueFile(file);
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    QTest::mouseClick(wizard->ExportSettingsButton, Qt::LeftButton);
    EXPECT_TRUE(ReadAll(file).startsWith("[Old]\r\nPacketPause=1\r\n\r\n[CTD]\r\n"));
    EXPECT_TRUE(ReadAll(file).contains("\r\nPacketPause=43\r\n"));
    // A cancelled dialog writes nothing.
    prompt.QueueFile(std::nullopt);
    const size_t shown = prompt.shown.size();
    QTest::mouseClick(wizard->ExportSettingsButton, Qt::LeftButton);
    EXPECT_EQ(prompt.shown.size(), shown + 1);

    // Cancel keeps the device as it was, except the power switch's delay written by the export.
    QTest::mouseClick(wizard->DevSetupCancelButton, Qt::LeftButton);
    EXPECT_EQ(d->GetName(), QStringLiteral("CTD"));
    EXPECT_EQ(d->GetPacketPause(), 100);
    EXPECT_EQ(d->GetPowerOnDelay(), 75);
}

TEST_F(DeviceSetupTest, ImportRenamesAtOnceAndShowsTheFilesValues)
{
    QTemporaryDir dir;
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    AddPort(QStringLiteral("Serial 2"), 2, 2);
    TDevice* pump = devices.Add(QStringLiteral("Pump"));
    devices.Add(QStringLiteral("Fan"));
    const QString two = dir.filePath(QStringLiteral("two.INS"));
    WriteFile(two, "[A]\r\nPacketPause=11\r\nPort=Serial 2\r\n[B]\r\nPacketPause=22\r\n");

    Open(*pump, 3);
    prompt.QueueFile(two);
    QTest::mouseClick(wizard->ImportSettingsButton, Qt::LeftButton);
    ASSERT_EQ(prompt.shown.back().kind, QStringLiteral("open"));
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("Open Instrument Configuration File"));
    EXPECT_TRUE(prompt.lastFileOptions.fileName.isEmpty());
    EXPECT_EQ(prompt.lastFileOptions.folder, GetProgramDataDir() + "Config/");
    EXPECT_EQ(wizard->CurrentPage(), 1);
    EXPECT_EQ(wizard->Edit_Name->text(), QStringLiteral("A"));
    EXPECT_EQ(wizard->windowTitle(), QStringLiteral("A Setup"));
    EXPECT_EQ(wizard->Edit_PacketPause->text(), QStringLiteral("11"));
    EXPECT_EQ(wizard->ComboBox_Ports->currentText(), QStringLiteral("Serial 1"));
    // The row and the channel carry the new name at once, and keep it after Cancel.
    EXPECT_EQ(Row(pump, kColDevice), QStringLiteral("A"));
    EXPECT_EQ(mux.GetChannel(1)->GetName(), QStringLiteral("A"));
    QTest::mouseClick(wizard->DevSetupCancelButton, Qt::LeftButton);
    EXPECT_EQ(pump->GetName(), QStringLiteral("A"));
    EXPECT_EQ(pump->GetPacketPause(), 100);

    // Only ".ins" files, in any case.
    Open(*pump, 1);
    const QString text = dir.filePath(QStringLiteral("two.txt"));
    WriteFile(text, ReadAll(two));
    for (const QString& bad : {text, dir.filePath(QStringLiteral("missing.ins"))}) {
        prompt.QueueFile(bad);
        QTest::mouseClick(wizard->ImportSettingsButton, Qt::LeftButton);
        EXPECT_EQ(prompt.shown.back().text,
                  QStringLiteral("Invalid Instrument Configuration file selected."));
        EXPECT_EQ(wizard->Edit_Name->text(), QStringLiteral("A"));
    }

    // A section named like another device: the name stays, the values come.
    const QString fan = dir.filePath(QStringLiteral("fan.ins"));
    WriteFile(fan, "[Fan]\r\nPacketPause=33\r\n");
    prompt.QueueFile(fan);
    QTest::mouseClick(wizard->ImportSettingsButton, Qt::LeftButton);
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("Name \"Fan\" already exists."));
    EXPECT_EQ(wizard->Edit_Name->text(), QStringLiteral("A"));
    EXPECT_EQ(wizard->Edit_PacketPause->text(), QStringLiteral("33"));

    // A file without sections reloads the controls from the copy: typed edits are gone.
    const QString empty = dir.filePath(QStringLiteral("empty.ins"));
    WriteFile(empty, "");
    wizard->Edit_PacketPause->setText(QStringLiteral("55"));
    prompt.QueueFile(empty);
    QTest::mouseClick(wizard->ImportSettingsButton, Qt::LeftButton);
    EXPECT_EQ(wizard->Edit_PacketPause->text(), QStringLiteral("33"));

    // Finished keeps the imported values and shows the icon the field names.
    const int picturesBefore = images.paths.size();
    Finish();
    EXPECT_EQ(wizard->result(), kModalOk);
    EXPECT_EQ(pump->GetPacketPause(), 33);
    EXPECT_EQ(images.paths.size(), picturesBefore + 1);
    EXPECT_EQ(devices.Count(), 2);
    EXPECT_FALSE(devices.IsDuplicateName(QStringLiteral("Fan")));
}

TEST_F(DeviceSetupTest, ImportKeepsTheNameFinishedWouldRefuse)
{
    QTemporaryDir dir;
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    TDevice* pump = devices.Add(QStringLiteral("Pump"));
    pump->SetCaptureDestName(QStringLiteral("Casts\\Cast.RAW"));
    const QString file = dir.filePath(QStringLiteral("bad.ins"));
    for (const char* section : {"[ ]", "[A[1]]"}) {
        WriteFile(file, QByteArray(section) + "\r\nPacketPause=41\r\nCaptureDestName=\\x\r\n");
        Open(*pump, 1);
        prompt.shown.clear();
        prompt.QueueFile(file);
        QTest::mouseClick(wizard->ImportSettingsButton, Qt::LeftButton);
        // The open dialog, the name refused, the capture name refused.
        ASSERT_EQ(prompt.shown.size(), 3u) << section;
        EXPECT_TRUE(prompt.shown[1].text.endsWith(
            QStringLiteral("\" can not be used for a device. Please choose another device name.")));
        EXPECT_EQ(wizard->Edit_Name->text(), QStringLiteral("Pump"));
        EXPECT_EQ(wizard->Edit_PacketPause->text(), QStringLiteral("41"));
        // The capture name falls back on the name kept, never on the capture folder's root.
        EXPECT_EQ(wizard->Edit_CaptureDest->text(), QStringLiteral("Pump\\Pump_000.RAW"));
        QTest::mouseClick(wizard->DevSetupCancelButton, Qt::LeftButton);
        EXPECT_EQ(pump->GetName(), QStringLiteral("Pump"));
        EXPECT_EQ(Row(pump, kColDevice), QStringLiteral("Pump"));
        EXPECT_EQ(mux.GetChannel(1)->GetName(), QStringLiteral("Pump"));
    }
}

// A device section written out by hand, key by key, as another station reads it: what an
// export of a device set up through the wizard must give byte for byte, and what an import
// must bring back (the port and its power switch excepted).
QByteArray SondeSection(const QByteArray& name, const QByteArray& port, int position, int delay)
{
    return "[" + name + "]\r\n"
           "Image=Icons\\Tavo.bmp\r\n"
           "Port=" + port + "\r\n"
           "PortBaud=19200\r\n"
           "PortSettings=E,7,2\r\n"
           "EchoSerial=3\r\n"
           "EchoBaud=4800\r\n"
           "EchoSettings=O,8,1\r\n"
           "EchoFlow=1\r\n"
           "PowerOnPriority=" + QByteArray::number(position) + "\r\n"
           "PowerOnDelay=" + QByteArray::number(delay) + "\r\n"
           "PowerOnCmd=1\r\n"
           "PowerOnCmdWait=45\r\n"
           "CmdPowerOn=\\!SupCr,\"\\!Delay 5\",WAKE,\"TIME \\T\"\r\n"
           "PowerOffCmd=1\r\n"
           "PowerOffCmdWait=12\r\n"
           "CmdPowerOff=SLEEP\r\n"
           "CollectionType=2\r\n"
           "PacketPause=150\r\n"
           "CmdGetData=\r\n"
           "CmdStart=START,\"SAMPLE 5\"\r\n"
           "CmdStartDelay=60\r\n"
           "CmdStop=STOP\r\n"
           "CmdStopDelay=70\r\n"
           "StartDataCapture=3\r\n"
           "StartAfterDelay=35\r\n"
           "CmdGetSavedData=\r\n"
           "StopDataCapture=1\r\n"
           "StopAfterDelay=250\r\n"
           "StartPrefix=BEGIN \\D\r\n"
           "StopSuffix=END\r\n"
           "Prefix=<\r\n"
           "Suffix=>\r\n"
           "DateStampInfix=-\r\n"
           "DateStampFormat=11\r\n"
           "TimeStampInfix=.\r\n"
           "CaptureDest=1\r\n"
           "CaptureDestOther=40\r\n"
           "CaptureDestName=Sonde\\Cast000.RAW\r\n"
           "CaptureDestAppend=0\r\n"
           "DoAveraging=0\r\n"
           "AvgNumSamples=12\r\n"
           "AvgPause=3\r\n"
           "FreqDuration=5000\r\n"
           "HexWidth=0.25\r\n"
           "HexWrap=32\r\n"
           "HexWrapString=0D0A\r\n"
           "FontCharset=0\r\n"
           "FontColor=255\r\n"
           "FontName=Courier New\r\n"
           "FontSize=9\r\n"
           "FontStyleBold=1\r\n"
           "FontStyleItalic=0\r\n"
           "FontStyleUnderline=0\r\n"
           "FontStyleStrikeOut=1\r\n"
           "\r\n";
}

TEST_F(DeviceSetupTest, InstrumentFileOfADeviceSetUpInTheWizard)
{
    QTemporaryDir dir;
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    AddPort(QStringLiteral("Serial 2"), 2, 2);
    AddPort(QStringLiteral("Serial 3"), 3, 3);
    devices.Add(QStringLiteral("Keep"));
    TDevice* sonde = devices.Add(QStringLiteral("Sonde 7"));
    TDevice* spare = devices.Add(QStringLiteral("Spare"));
    // What the serial settings dialogs and the command editor would have stored.
    sonde->SetPortBaud(19200);
    sonde->SetPortSettings(QStringLiteral("E,7,2"));
    sonde->SetEchoSerial(3);
    sonde->SetEchoBaud(4800);
    sonde->SetEchoSettings(QStringLiteral("O,8,1"));
    sonde->SetEchoFlow(1);
    sonde->SetCmdPowerOn({"\\!SupCr", "\\!Delay 5", "WAKE", "TIME \\T"});
    sonde->SetCmdPowerOff({"SLEEP"});
    sonde->SetCmdStart({"START", "SAMPLE 5"});
    sonde->SetCmdStop({"STOP"});
    TFakeTerminal* terminal = TerminalOf(sonde);
    ASSERT_NE(terminal, nullptr);
    terminal->hexWidth = 0.25;
    terminal->hexWrap = 32;
    terminal->hexWrapString = QStringLiteral("0D0A");
    terminal->font = {0, 255, QStringLiteral("Courier New"), 9, true, false, false, true};

    // Everything else is typed and clicked in the wizard.
    Open(*sonde, 2);
    wizard->Edit_PowerOnDelay->setText(QStringLiteral("250"));
    QTest::mouseClick(wizard->Cb_PowerOnCmd, Qt::LeftButton);
    wizard->Edit_PowerOnCmdWait->setText(QStringLiteral("45"));
    QTest::mouseClick(wizard->Cb_PowerOffCmd, Qt::LeftButton);
    wizard->Edit_PowerOffCmdWait->setText(QStringLiteral("12"));
    wizard->Edit_PacketPause->setText(QStringLiteral("150"));
    wizard->Edit_CmdStartDelay->setText(QStringLiteral("60"));
    wizard->Edit_CmdStopDelay->setText(QStringLiteral("70"));
    wizard->ShowPage(3);
    QTest::mouseClick(wizard->Radio_StartBeforeDataCmd, Qt::LeftButton);
    wizard->Edit_StartAfterDelay->setText(QStringLiteral("35"));
    QTest::mouseClick(wizard->Radio_StopAfterDataCmd, Qt::LeftButton);
    wizard->Edit_StopAfterDelay->setText(QStringLiteral("250"));
    wizard->Edit_StartPrefix->setText(QStringLiteral("BEGIN \\D"));
    wizard->Edit_StopSuffix->setText(QStringLiteral("END"));
    wizard->Edit_Prefix->setText(QStringLiteral("<"));
    wizard->Edit_Suffix->setText(QStringLiteral(">"));
    wizard->Edit_DateStampInfix->setText(QStringLiteral("-"));
    wizard->ComboBox_DateStampFormat->setCurrentIndex(
        wizard->ComboBox_DateStampFormat->findText(QStringLiteral("DD/MM/YYYY HH:MM:SS")));
    wizard->Edit_TimeStampInfix->setText(QStringLiteral("."));
    wizard->ShowPage(5);
    QTest::mouseClick(wizard->Radio_CaptureOther, Qt::LeftButton);
    wizard->ComboBox_CaptureDestOther->setCurrentIndex(40);
    wizard->Edit_CaptureDest->setText(QStringLiteral("Sonde\\Cast000.RAW"));
    wizard->Cb_CaptureDestAppend->setChecked(false);
    wizard->Edit_AvgNumSamples->setText(QStringLiteral("12"));
    wizard->Edit_AvgPause->setText(QStringLiteral("3"));
    wizard->Edit_FreqDuration->setText(QStringLiteral("5000"));
    wizard->ShowPage(1);

    const QString exported = dir.filePath(QStringLiteral("Sonde 7.ins"));
    prompt.QueueFile(exported);
    QTest::mouseClick(wizard->ExportSettingsButton, Qt::LeftButton);
    EXPECT_EQ(ReadAll(exported).toStdString(),
              SondeSection("Sonde 7", "Serial 2", 2, 250).toStdString());
    QTest::mouseClick(wizard->DevSetupCancelButton, Qt::LeftButton);

    // The same section under another name, from a station where it sat on another port and
    // switch, goes into the spare device.
    const QString handWritten = dir.filePath(QStringLiteral("Sonde 8.INS"));
    WriteFile(handWritten, SondeSection("Sonde 8", "Serial 1", 9, 500));
    Open(*spare, 2);
    prompt.QueueFile(handWritten);
    QTest::mouseClick(wizard->ImportSettingsButton, Qt::LeftButton);
    EXPECT_EQ(wizard->CurrentPage(), 1);
    EXPECT_EQ(wizard->Edit_Name->text(), QStringLiteral("Sonde 8"));
    EXPECT_EQ(wizard->ComboBox_Ports->currentText(), QStringLiteral("Serial 3"));
    EXPECT_EQ(wizard->Serial_Settings->text(), QStringLiteral("19200,E,7,2"));
    EXPECT_EQ(wizard->Echo_Settings->text(), QStringLiteral("4800,O,8,1,XonXoff"));
    EXPECT_EQ(wizard->Edit_PowerOnDelay->text(), QStringLiteral("30"));
    EXPECT_EQ(wizard->Edit_PowerOnPriority->text(), QStringLiteral("3rd"));
    EXPECT_TRUE(wizard->Cb_PowerOnCmd->isChecked());
    EXPECT_TRUE(wizard->Radio_StartStopData->isChecked());
    EXPECT_TRUE(wizard->Radio_StartBeforeDataCmd->isChecked());
    EXPECT_TRUE(wizard->Radio_StopAfterDataCmd->isChecked());
    EXPECT_EQ(wizard->ComboBox_DateStampFormat->currentIndex(), 10);
    EXPECT_TRUE(wizard->Radio_CaptureOther->isChecked());
    EXPECT_EQ(wizard->ComboBox_CaptureDestOther->currentIndex(), 40);
    EXPECT_FALSE(wizard->Cb_CaptureDestAppend->isChecked());
    EXPECT_EQ(wizard->Edit_FreqDuration->text(), QStringLiteral("5000"));
    // The terminal keys act on the device's window at once.
    EXPECT_EQ(TerminalOf(spare)->hexWrap, 32);
    Finish();
    ASSERT_EQ(wizard->result(), kModalOk);
    EXPECT_EQ(spare->GetName(), QStringLiteral("Sonde 8"));
    EXPECT_EQ(spare->GetCmdPowerOn(),
              (QStringList{"\\!SupCr", "\\!Delay 5", "WAKE", "TIME \\T"}));

    // Written out again it is the hand-written section, with its own port and switch.
    const QString again = dir.filePath(QStringLiteral("again.ins"));
    Open(*spare, 1);
    prompt.QueueFile(again);
    QTest::mouseClick(wizard->ExportSettingsButton, Qt::LeftButton);
    EXPECT_EQ(ReadAll(again).toStdString(),
              SondeSection("Sonde 8", "Serial 3", 3, 30).toStdString());
    QTest::mouseClick(wizard->DevSetupCancelButton, Qt::LeftButton);
}

// Every control of every page lies inside the page and inside the visible part of its box, so
// nothing is cut off at the dialog's size.
TEST_F(DeviceSetupTest, EveryControlIsShownWhole)
{
    AddPort(QStringLiteral("Serial 1"), 1, 1);
    AddPort(QStringLiteral("Frequency 1"), 21, 5, QStringLiteral("Frequency"));
    TDevice* serial = devices.Add(QStringLiteral("CTD"));
    TDevice* freq = devices.Add(QStringLiteral("Flow"));
    for (TDevice* d : {serial, freq}) {
        for (int page = 1; page <= 6; ++page) {
            Open(*d, page);
            QWidget* shown = wizard->Pages[static_cast<size_t>(page - 1)];
            const QRect pageRect = shown->rect();
            for (QWidget* w : shown->findChildren<QWidget*>()) {
                if (!w->isVisibleTo(shown) || w->inherits("QGroupBox") ||
                    w->property("setupRow").toBool() || w->parentWidget()->inherits("QComboBox") ||
                    w->parentWidget()->inherits("QSpinBox")) {
                    continue;
                }
                const QRect r(w->mapTo(shown, QPoint(0, 0)), w->size());
                EXPECT_TRUE(pageRect.contains(r)) << page << " " << w->metaObject()->className();
                const auto* box = qobject_cast<QGroupBox*>(w->parentWidget()->parentWidget());
                if (box != nullptr && box->isVisibleTo(shown)) {
                    const QRect boxRect(box->mapTo(shown, QPoint(0, 0)), box->size());
                    if (boxRect.intersects(r)) {
                        EXPECT_TRUE(boxRect.contains(r))
                            << page << " " << box->title().toStdString();
                    }
                }
                // A control shows its whole text.
                if (const auto* b = qobject_cast<QAbstractButton*>(w)) {
                    EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
                }
                if (const auto* l = qobject_cast<QLabel*>(w);
                    l != nullptr && !l->text().isEmpty()) {
                    EXPECT_GE(l->width(), l->sizeHint().width()) << l->text().toStdString();
                }
            }
        }
    }
    wizard->hide();
}

}  // namespace
