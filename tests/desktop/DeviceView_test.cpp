#include <gtest/gtest.h>

#include <QAction>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QTreeView>

#include "DesktopFixture.h"
#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "desktop/Terminal.h"
#include "link/Host.h"
#include "link/Serial.h"
#include "support/FakePrompt.h"
#include "support/Pty.h"

namespace {

// The program started with its link parked, so the queued commands can be read.
class DeviceViewTest : public DesktopFixture {
protected:
    void SetUp() override
    {
        DesktopFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        StartQuiet();
        ASSERT_FALSE(HasFailure());
    }

    // The captions in the order the views show them.
    QStringList ShownCaptions() const
    {
        QStringList out;
        for (int row = 0; row < form->ViewModel()->rowCount(); ++row) {
            out << form->ItemAtViewRow(row)->Caption();
        }
        return out;
    }

    int ViewRowOf(const char* name) const
    {
        return static_cast<int>(ShownCaptions().indexOf(QString::fromLatin1(name)));
    }
};

TEST(DeviceInfoTipTest, CaptionThenOneLabelledLinePerColumn)
{
    TDeviceListModel model;
    TDeviceListItem* item = model.AddItem(QStringLiteral("Pump"));
    EXPECT_EQ(DeviceInfoTip(*item), QStringLiteral("Pump"));
    item->SetSubItems({"off", "closed", "off", "off", "Host:PUMP000.RAW", "", "none", "1", "2",
                       "Serial 1", "J1", "001"});
    EXPECT_EQ(DeviceInfoTip(*item),
              QStringLiteral("Pump\nPower: off\nPort: closed\nData: off\nCapture: off\nCapture "
                             "File: Host:PUMP000.RAW\nEcho: \nEcho Port: none\nPower Seq: 1\n"
                             "Data Seq: 2\nPort#: Serial 1\nConnector#: J1\nChannel#: 001"));
}

TEST_F(DeviceViewTest, ColumnsAndRowTextsFollowTheDevice)
{
    QAbstractItemModel* model = form->ViewModel();
    ASSERT_EQ(model->columnCount(), 13);
    const QStringList captions{"Device", "Power", "Port",  "Data",  "Capture", "Capture To", "Echo",
                               "Echo Port", "PSeq", "DSeq", "Port#", "Conn#", "Chan#"};
    for (int c = 0; c < 13; ++c) {
        EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), captions[c]);
    }
    TDevice* ctd = Device("CTD");
    const TDeviceListItem* item = ctd->GetListItem();
    EXPECT_EQ(item->SubItem(kColData - 1), QStringLiteral("off"));
    EXPECT_EQ(item->SubItem(kColPortNo - 1), QStringLiteral("Serial 1"));
    EXPECT_EQ(item->SubItem(kColConnNo - 1), QStringLiteral("J1"));
    EXPECT_EQ(item->SubItem(kColChanNo - 1), QStringLiteral("001"));
    ctd->SetDataActive(true);
    ctd->RefreshListRow();
    EXPECT_EQ(model->index(ViewRowOf("CTD"), kColData).data().toString(), QStringLiteral("ON"));
    // Every column is as wide as its widest text and some room.
    form->AutoSizeColumns();
    EXPECT_GT(form->DeviceView->columnWidth(kColCaptureTo), 15);
}

TEST_F(DeviceViewTest, FourViewStylesWithHintsOutsideTheReport)
{
    const QModelIndex first = form->ViewModel()->index(0, 0);
    form->Action(QStringLiteral("Details"))->trigger();
    EXPECT_EQ(form->ViewStyle(), kViewDetails);
    EXPECT_TRUE(form->DeviceView->isVisible());
    EXPECT_FALSE(first.data(Qt::ToolTipRole).isValid());

    form->Action(QStringLiteral("LargeIcons"))->trigger();
    EXPECT_EQ(form->ViewStyle(), kViewLargeIcons);
    EXPECT_TRUE(form->DeviceIcons->isVisible());
    EXPECT_EQ(form->DeviceIcons->viewMode(), QListView::IconMode);
    EXPECT_EQ(form->DeviceIcons->iconSize(), QSize(64, 64));
    EXPECT_TRUE(first.data(Qt::ToolTipRole).toString().startsWith(
        form->ItemAtViewRow(0)->Caption() + QStringLiteral("\nPower: ")));

    form->Action(QStringLiteral("SmallIcons"))->trigger();
    EXPECT_EQ(form->DeviceIcons->iconSize(), QSize(32, 32));
    form->Action(QStringLiteral("List"))->trigger();
    EXPECT_EQ(form->ViewStyle(), kViewList);
    EXPECT_EQ(form->DeviceIcons->flow(), QListView::TopToBottom);
    EXPECT_TRUE(first.data(Qt::ToolTipRole).isValid());

    // The style is stored with the configuration.
    EXPECT_EQ(form->CurrentSettings().viewStyle, kViewList);
    // A selection made in one view is the device list's selection in every view.
    form->DeviceIcons->selectionModel()->select(form->ViewModel()->index(ViewRowOf("Oxygen"), 0),
                                                QItemSelectionModel::ClearAndSelect);
    EXPECT_TRUE(Device("Oxygen")->IsSelected());
    EXPECT_FALSE(Device("CTD")->IsSelected());
}

TEST_F(DeviceViewTest, SortsByColumnTextIgnoringCase)
{
    form->DeviceViewRename(Device("CTD")->GetListItem(), QStringLiteral("b"));
    form->DeviceViewRename(Device("Oxygen")->GetListItem(), QStringLiteral("A"));
    form->DeviceViewRename(Device("Current Meter")->GetListItem(), QStringLiteral("c"));
    form->Action(QStringLiteral("SortByDeviceName"))->trigger();
    EXPECT_EQ(ShownCaptions(), (QStringList{"A", "b", "c"}));
    EXPECT_EQ(form->SortColumn(), 0);

    // Numbers sort as text: "10" before "9".
    Device("b")->GetListItem()->SetSubItem(kColPSeq - 1, QStringLiteral("9"));
    Device("A")->GetListItem()->SetSubItem(kColPSeq - 1, QStringLiteral("100"));
    Device("c")->GetListItem()->SetSubItem(kColPSeq - 1, QStringLiteral("10"));
    form->SortDevices(kColPSeq);
    EXPECT_EQ(ShownCaptions(), (QStringList{"c", "A", "b"}));

    form->Action(QStringLiteral("SortByConnection"))->trigger();
    EXPECT_EQ(form->SortColumn(), kColConnNo);
    EXPECT_EQ(ShownCaptions(), (QStringList{"b", "A", "c"}));  // J1, J4, J6
    form->Action(QStringLiteral("SortByPortName"))->trigger();
    EXPECT_EQ(form->SortColumn(), kColPortNo);
    EXPECT_EQ(ShownCaptions(), (QStringList{"A", "c", "b"}));  // Analog, Frequency, Serial
    EXPECT_EQ(form->CurrentSettings().sortColumn, kColPortNo);
}

TEST_F(DeviceViewTest, RenameInPlaceRefusesTakenAndReservedNames)
{
    TDevice* ctd = Device("CTD");
    form->DeviceViewRename(ctd->GetListItem(), QStringLiteral("oxygen"));
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("Name \"oxygen\" already exists."));
    EXPECT_EQ(ctd->GetListItem()->Caption(), QStringLiteral("CTD"));
    form->DeviceViewRename(ctd->GetListItem(), QStringLiteral("corvane"));
    EXPECT_EQ(ctd->GetListItem()->Caption(), QStringLiteral("CTD"));
    form->DeviceViewRename(ctd->GetListItem(), QStringLiteral("[x]"));
    EXPECT_EQ(ctd->GetListItem()->Caption(), QStringLiteral("CTD"));
    // A blank name is no name: the row keeps its device's name, the channel its own.
    for (const QString& blank : {QString(), QStringLiteral("   ")}) {
        form->DeviceViewRename(ctd->GetListItem(), blank);
        EXPECT_EQ(ctd->GetListItem()->Caption(), QStringLiteral("CTD"));
        EXPECT_EQ(ctd->GetMux()->GetName(), QStringLiteral("CTD"));
    }
    EXPECT_FALSE(ConfigurationChanged);

    // An accepted name reaches the channel and its window, and is saved with the station.
    form->DeviceViewRename(ctd->GetListItem(), QStringLiteral("Probe"));
    EXPECT_EQ(ctd->GetName(), QStringLiteral("Probe"));
    EXPECT_EQ(ctd->GetMux()->GetName(), QStringLiteral("Probe"));
    EXPECT_TRUE(ConfigurationChanged);
}

TEST_F(DeviceViewTest, DoubleClickOnACellRunsItsActionOnThatRow)
{
    form->SortDevices(kColDevice);
    for (int i = 0; i < Devices->Count(); ++i) {
        Devices->Items(i)->SetSelected(false);
    }
    TDevice* ctd = Device("CTD");
    ASSERT_NE(ctd->GetListItem()->SubItem(kColPower - 1), QStringLiteral("ON"));
    form->DeviceViewDblClick(ViewRowOf("CTD"), kColPower);
    EXPECT_TRUE(TakeCommands().contains(QStringLiteral("SETPOWER 1 1")));
    EXPECT_TRUE(ctd->IsSelected());

    // Another row's cell: that row alone becomes the selection.
    form->DeviceViewDblClick(ViewRowOf("Oxygen"), kColData);
    EXPECT_FALSE(TakeCommands().isEmpty());
    EXPECT_TRUE(Device("Oxygen")->IsSelected());
    EXPECT_FALSE(ctd->IsSelected());

    // The capture destination opens the device setup.
    form->DeviceViewDblClick(ViewRowOf("Oxygen"), kColCaptureTo);
    EXPECT_EQ(modalShown, QStringList{DeviceSetupForm->windowTitle()});

    // The name column shows the selected devices' windows.
    form->DeviceViewDblClick(ViewRowOf("Oxygen"), kColDevice);
    auto* window = dynamic_cast<TTerminalForm*>(Device("Oxygen")->GetMux()->GetWindow());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    // Outside the rows nothing happens.
    form->DeviceViewDblClick(99, kColPower);
    EXPECT_TRUE(TakeCommands().isEmpty());
}

TEST_F(DeviceViewTest, MenusAndThePopupMenuInTheirOrder)
{
    QStringList top;
    for (QAction* a : form->menuBar()->actions()) {
        top << a->text();
    }
    EXPECT_EQ(top, (QStringList{"&File", "&Edit", "&View", "&DAS", "De&vice", "&Scripts",
                                "&Window", "&Help"}));
    const QList<QAction*> popup = form->DevicePopupMenu->actions();
    ASSERT_GT(popup.size(), 3);
    EXPECT_EQ(popup[0], form->Variable2);
    EXPECT_EQ(popup[1], form->Action(QStringLiteral("ShowDeviceWindow")));
    EXPECT_TRUE(popup[2]->isSeparator());
    EXPECT_EQ(popup.last(), form->Action(QStringLiteral("Desktop_DeviceSetup")));
    // The sleep action is hidden; its menu entry says so in its own words.
    EXPECT_FALSE(form->Action(QStringLiteral("Desktop_DASSleep"))->isVisible());
}

}  // namespace

namespace {

TEST_F(DeviceViewTest, EchoColumnAndActionsFollowTheEchoPort)
{
    TPty echoLine;
    ASSERT_FALSE(echoLine.Slave().isEmpty());
    constexpr int kEchoCom = 44;
    SetComPortDevicePath(kEchoCom, echoLine.Slave());
    TDevice* ctd = Device("CTD");
    const auto echo = [&] {
        return form->ViewModel()->index(ViewRowOf("CTD"), kColEcho).data().toString();
    };
    const auto echoPort = [&] {
        return form->ViewModel()->index(ViewRowOf("CTD"), kColEchoPort).data().toString();
    };
    ctd->SetEchoSerial(0);
    ctd->RefreshListRow();
    EXPECT_EQ(echo(), QString());
    EXPECT_EQ(echoPort(), QStringLiteral("none"));

    ctd->SetEchoSerial(kEchoCom);
    ctd->RefreshListRow();
    SelectOnly({"CTD"});
    form->UpdateActions();
    EXPECT_EQ(echo(), QStringLiteral("off"));
    EXPECT_EQ(echoPort(), QStringLiteral("COM44"));
    EXPECT_TRUE(form->Action(QStringLiteral("Desktop_OpenSerialEcho"))->isEnabled());
    EXPECT_FALSE(form->Action(QStringLiteral("Desktop_CloseSerialEcho"))->isEnabled());

    Trigger("Desktop_OpenSerialEcho");
    ASSERT_TRUE(ctd->GetMux()->IsEchoOpen());
    EXPECT_EQ(echo(), QStringLiteral("ON"));
    EXPECT_NE(EchoPortIcon(true).cacheKey(), EchoPortIcon(false).cacheKey());
    EXPECT_FALSE(form->Action(QStringLiteral("Desktop_OpenSerialEcho"))->isEnabled());
    EXPECT_TRUE(form->Action(QStringLiteral("Desktop_CloseSerialEcho"))->isEnabled());

    // The echo line hangs up: the port is closed and the row says so.
    echoLine.CloseMaster();
    EXPECT_TRUE(WaitUntil([&] { return !ctd->GetMux()->IsEchoOpen() && echo() == "off"; }));
    EXPECT_TRUE(form->Action(QStringLiteral("Desktop_OpenSerialEcho"))->isEnabled());
    EXPECT_FALSE(form->Action(QStringLiteral("Desktop_CloseSerialEcho"))->isEnabled());
    // The device window's echo action offers to open it again, with the open picture.
    auto* window = dynamic_cast<TTerminalForm*>(ctd->GetMux()->GetWindow());
    ASSERT_NE(window, nullptr);
    QAction* windowEcho = window->findChild<QAction*>(QStringLiteral("TermOpenSerialPort"));
    ASSERT_NE(windowEcho, nullptr);
    EXPECT_EQ(windowEcho->text(), QStringLiteral("Open Serial &Echo"));
    EXPECT_EQ(windowEcho->icon().cacheKey(), EchoPortIcon(true).cacheKey());

    Trigger("Desktop_CloseSerialEcho");
    EXPECT_EQ(echo(), QStringLiteral("off"));
    SetComPortDevicePath(kEchoCom, QString());
}

}  // namespace
