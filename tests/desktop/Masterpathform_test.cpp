// The master directory dialog: what it shows of the device list's capture settings, what OK
// and Cancel do with them, the folder picker and the default folder.
#include "desktop/Masterpathform.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "link/Global.h"
#include "platform/WindowPlacement.h"
#include "station/DeviceClasses.h"
#include "station/DeviceListModel.h"
#include "station/PortClasses.h"
#include "support/FakePrompt.h"

namespace {

class MasterPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPlacementScreenSize(QSize(1000, 800));
        Devices = &devices;
        devices.SetCaptureDir(QStringLiteral("/srv/capture"));
        devices.SetCaptureToHost(true);
    }
    void TearDown() override
    {
        dialog.hide();
        Devices = nullptr;
        SetPlacementScreenSize(QSize());
    }

    // Shows the dialog as the main window's action does, the operator then acting.
    void Show()
    {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }

    TFakePrompt prompt;
    TDeviceListModel model{nullptr, nullptr};
    TDevices devices{&model};
    TMasterPath dialog;
};

TEST_F(MasterPathTest, ShowsTheCaptureSettingsCentred)
{
    Show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Master Directory"));
    EXPECT_EQ(dialog.RadioGroup_Destination->title(),
              QStringLiteral("Data Destination for Captured Data"));
    EXPECT_EQ(dialog.Radio_Host->text(), QStringLiteral("Save Data to Host"));
    EXPECT_EQ(dialog.Radio_DAS->text(), QStringLiteral("Save Data to DAS"));
    EXPECT_EQ(dialog.Edit_MasterPath->text(), QStringLiteral("/srv/capture/"));
    EXPECT_EQ(dialog.DestinationIndex(), 0);
    EXPECT_TRUE(dialog.Edit_MasterPath->isEnabled());
    const QRect frame = dialog.frameGeometry();
    EXPECT_EQ(frame.left(), 500 - frame.width() / 2);
    EXPECT_EQ(frame.top(), 400 - frame.height() / 2);

    // Choosing the DAS disables the folder and its picker.
    dialog.Radio_DAS->click();
    EXPECT_FALSE(dialog.Edit_MasterPath->isEnabled());
    EXPECT_FALSE(dialog.Button_ChoosePath->isEnabled());
    dialog.Radio_Host->click();
    EXPECT_TRUE(dialog.Button_ChoosePath->isEnabled());
}

TEST_F(MasterPathTest, OkStoresFolderAndDestinationEvenForTheDas)
{
    Show();
    dialog.Edit_MasterPath->setText(QStringLiteral("/x/y"));
    dialog.Radio_DAS->click();
    dialog.Button_OK->click();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(NativePath(devices.GetCaptureDir()), QStringLiteral("/x/y/"));
    EXPECT_FALSE(devices.GetCaptureToHost());

    // Shown again, it starts from the stored choice.
    Show();
    EXPECT_EQ(dialog.DestinationIndex(), 1);
    EXPECT_FALSE(dialog.Edit_MasterPath->isEnabled());
}

TEST_F(MasterPathTest, OkShowsTheNewPlaceInTheDeviceList)
{
    TPortArray ports;
    PortArray = &ports;
    ports.AddPort(QStringLiteral("Serial 1"), QStringLiteral("J1"), 1, 1, 0, 1,
                  QStringLiteral("Serial"));
    TDevice* ctd = devices.Add(QStringLiteral("CTD"));
    ASSERT_NE(ctd, nullptr);
    ctd->SetCaptureDest(3);
    const QModelIndex captureTo = model.index(0, 5);
    EXPECT_EQ(model.data(captureTo, Qt::DisplayRole).toString(),
              QStringLiteral("Host:CTD_000.RAW"));
    Show();
    dialog.Radio_DAS->click();
    dialog.Button_OK->click();
    EXPECT_EQ(model.data(captureTo, Qt::DisplayRole).toString(), QStringLiteral("DAS:CTD_000.RAW"));
    devices.Clear();
    PortArray = nullptr;
}

TEST_F(MasterPathTest, CancelAndClosingChangeNothing)
{
    Show();
    dialog.Edit_MasterPath->setText(QStringLiteral("/elsewhere"));
    dialog.Radio_DAS->click();
    dialog.Button_Cancel->click();
    EXPECT_EQ(dialog.result(), 2);
    Show();
    dialog.Edit_MasterPath->setText(QStringLiteral("/elsewhere"));
    dialog.close();
    EXPECT_EQ(NativePath(devices.GetCaptureDir()), QStringLiteral("/srv/capture/"));
    EXPECT_TRUE(devices.GetCaptureToHost());
}

TEST_F(MasterPathTest, PickerStartsAtTheEditAndDefaultIsTheDataFolder)
{
    Show();
    prompt.QueueFolder(QStringLiteral("/mnt/usb/cruise"));
    dialog.Button_ChoosePath->click();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("Choose Master Directory for Captured Data..."));
    EXPECT_EQ(prompt.shown[0].text, QStringLiteral("/srv/capture/"));
    EXPECT_EQ(dialog.Edit_MasterPath->text(), QStringLiteral("/mnt/usb/cruise"));

    prompt.QueueFolder(std::nullopt);
    dialog.Button_ChoosePath->click();
    EXPECT_EQ(dialog.Edit_MasterPath->text(), QStringLiteral("/mnt/usb/cruise"));

    dialog.Button_Default->click();
    EXPECT_EQ(dialog.Edit_MasterPath->text(), GetProgramDataDir() + QStringLiteral("Data/"));
    dialog.Button_OK->click();
    EXPECT_EQ(NativePath(devices.GetCaptureDir()), GetProgramDataDir() + QStringLiteral("Data/"));
}

}  // namespace
