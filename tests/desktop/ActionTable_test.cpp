// The main window's actions, menus, pop-up menu and fixed channels held against the operator's
// reference table: caption (the key after tabs), hint, where each action stands, and the
// names and windows of the fixed host channels.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <vector>

#include "DesktopFixture.h"
#include "desktop/Dasdesktop.h"
#include "link/MuxClasses.h"

namespace {

class ActionTableTest : public DesktopFixture {};

struct TActionRow {
    const char* name;
    const char* caption;
    const char* hint;
};

// Every action with its caption as stored (shortcut text after the tabs) and its hint.
const TActionRow kTable[] = {
    {"OpenConfiguration", "&Open Configuration... \t\tCtrl+O", "Open Configuration"},
    {"NewConfguration", "&New Confguration...", ""},
    {"SaveConfiguration", "&Save Configuration \t\tCtrl+S", "Save Pelagrix Configuration"},
    {"SaveConfigurationAs", "Save Configuration &As...", ""},
    {"SetMasterDirectory", "Set &Master Directory...", "Set Master Directory for Captured Data"},
    {"SetupCommunication", "Setup Communication &Ports...", "Setup Communication Port"},
    {"ExitWendrok", "E&xit Wendrok", "Exit Wendrok"},
    {"SelectAll", "Select &All \tCtrl+A", "Select All Icons"},
    {"Desktop_ViewToolbar", "View &Toolbar", "View Toolbar"},
    {"Desktop_ViewStatusBar", "View Status &Bar", "View Status Bar"},
    {"LargeIcons", "Lar&ge Icons", "View Large Device Icons"},
    {"SmallIcons", "S&mall Icons", "View Small Device Icons"},
    {"List", "&List", "View List of Minimized Device Icons"},
    {"Details", "&Details", "View Devices in Report Format"},
    {"SortByDeviceName", "by Device Name", ""},
    {"SortByPortName", "by Port Name", ""},
    {"SortByConnection", "by Connection", ""},
    {"DASExplorer", "DAS &Explorer \t\tCtrl+E", "Open DAS Explorer"},
    {"InfoChannel", "&Info Channel", "View Info Channel"},
    {"ErrorChannel", "&Error Channel", "View Error Channel"},
    {"OtherChannels", "&Other Channels...", "View Other Channels"},
    {"ShowDeviceWindow", "Show Device &Window \tCtrl+W", "Show Device Window(s)"},
    {"ShowHostStatistics", "Show Host &Statistics \tCtrl+H", "Show Host Communication Statistics"},
    {"ShowDASStatistics", "Show DAS S&tatistics \tCtrl+D", "Show DAS Communication Statistics"},
    {"Debug", "Debug Information", ""},
    {"Desktop_SendCommand", "Send C&ommand...", "Type Command to DAS"},
    {"Desktop_SetDASTimeDate", "Set DAS &Time && Date...", ""},
    {"Desktop_SetupSysVars", "Setup DAS Po&wer-Up Options...", ""},
    {"Desktop_SetSeqNum", "Set File Se&quence Number...", ""},
    {"Desktop_RequestStatusPackets", "Request Status &Updates", ""},
    {"Desktop_SetStatusUpdateRate", "Set Status &Update Rate...", ""},
    {"Desktop_DASSleep", "Pelagrix &Sleep...", "Put Pelagrix to Sleep"},
    {"Desktop_DASWake", "Pelagrix &Wake", "Wake Pelagrix from Sleep"},
    {"Desktop_ResetPelx", "&Reset the Pelagrix", "Reset the Pelagrix"},
    {"Desktop_NewDevice", "&New Device... \t\t\tIns", "Add New Device"},
    {"Desktop_DeleteDevice", "&Delete Device \t\t\tDel", ""},
    {"Desktop_DeviceSetup", "Device &Setup...", "Setup Device(s)"},
    {"Desktop_DeviceOn", "Device O&n", "Turns Seleted Device On"},
    {"Desktop_DeviceOff", "Device O&ff", "Turns Seleted Device Off"},
    {"Desktop_StartData", "St&art Data", "Start Data Flow"},
    {"Desktop_StopData", "St&op Data", "Stop Data Flow"},
    {"Desktop_StartCapture", "Start Ca&pture", "Start Capturing Data"},
    {"Desktop_StopCapture", "Stop Capt&ure", "Stop Capturing Data"},
    {"Desktop_StartAll", "Star&t and Collect Data \t\tF1", "Start Device and Collect Data"},
    {"Desktop_StopAll", "Sto&p Data and Shut Down \tF2", "Stop Data Collection and Shut Down"},
    {"Desktop_OpenSerialEcho", "Open Serial &Echo", "Open Serial Echo"},
    {"Desktop_CloseSerialEcho", "Close Serial E&cho", "Close Serial Echo"},
    {"Desktop_NewScript", "&New Script...", "Create New Script"},
    {"Desktop_OpenScript", "&Open Script...", "Edit Exisiting Script"},
    {"Desktop_ScriptWizard", "Script &Wizard...", "Launch Script Wizard"},
    {"Desktop_ShowLoadedScript", "Show &Loaded Script", "Show Loaded Script"},
    {"Desktop_RunScript", "Run Loaded Script", "Run Script"},
    {"Desktop_StopScript", "&Stop Script", "Stop Script Execution"},
    {"RecordDASArchive", "&Record DAS Archive... \tCtrl+R", "Record DAS Archive"},
    {"PlayDASArchive", "&Play DAS Archive... \t\tCtrl+P", "Play DAS Archive"},
    {"StopDASArchive", "Stop DAS Archive", "Stop DAS Archive"},
    {"RewindDASArchive", "Re&wind DAS Archive", "Rewind DAS Archive"},
    {"FastDASArchive", "Play DAS Archive &Fast", "Play DAS Archive Fast"},
    {"PauseDASArchive", "Pa&use DAS Archive Play", "Pause DAS Archive Play"},
    {"HelpAbout", "&About Wendrok", ""},
};

// A menu's entries as captions ("-" for a separator, ">Caption" for a sub-menu).
QStringList Entries(const QMenu* menu)
{
    QStringList out;
    for (const QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            out << QStringLiteral("-");
        } else if (a->menu() != nullptr) {
            out << QLatin1Char('>') + a->text();
        } else {
            out << a->text();
        }
    }
    return out;
}

// The captions of the named actions, in order; "-" stays a separator.
QStringList Captions(const TDASDesktopForm& form, std::initializer_list<const char*> names)
{
    QStringList out;
    for (const char* name : names) {
        const QString n = QString::fromLatin1(name);
        out << (n == QLatin1String("-") || n.startsWith(QLatin1Char('>')) ||
                        n.startsWith(QLatin1Char('='))
                    ? (n.startsWith(QLatin1Char('=')) ? n.mid(1) : n)
                    : form.Action(n)->text());
    }
    return out;
}

const QMenu* TopMenu(const TDASDesktopForm& form, const QString& title)
{
    for (const QAction* a : form.menuBar()->actions()) {
        if (a->text() == title && a->menu() != nullptr) {
            return a->menu();
        }
    }
    return nullptr;
}

TEST_F(ActionTableTest, EveryActionHasItsCaptionAndHint)
{
    TDASDesktopForm& f = StartQuiet();
    for (const TActionRow& row : kTable) {
        QAction* action = f.Action(QString::fromLatin1(row.name));
        ASSERT_NE(action, nullptr) << row.name;
        EXPECT_EQ(action->text(), QString::fromLatin1(row.caption)) << row.name;
        EXPECT_EQ(action->statusTip(), QString::fromLatin1(row.hint)) << row.name;
        // The keys are the main window's own: no action carries a shortcut.
        EXPECT_TRUE(action->shortcut().isEmpty()) << row.name;
    }
}

TEST_F(ActionTableTest, MenusHoldTheirActionsInOrder)
{
    TDASDesktopForm& f = StartQuiet();
    QStringList top;
    for (const QAction* a : f.menuBar()->actions()) {
        top << a->text();
    }
    EXPECT_EQ(top, QStringList({"&File", "&Edit", "&View", "&DAS", "De&vice", "&Scripts", "&Window",
                                "&Help"}));

    EXPECT_EQ(Entries(TopMenu(f, "&File")),
              Captions(f, {"Desktop_NewDevice", "NewConfguration", "OpenConfiguration",
                           "SaveConfiguration", "SaveConfigurationAs", "-", "SetMasterDirectory",
                           "-", "RewindDASArchive", "RecordDASArchive", "PlayDASArchive",
                           "FastDASArchive", "PauseDASArchive", "StopDASArchive", "-",
                           "=Set Up Communication &Ports...", "-", "ExitWendrok"}));
    EXPECT_EQ(Entries(TopMenu(f, "&Edit")), Captions(f, {"SelectAll"}));
    EXPECT_EQ(
        Entries(TopMenu(f, "&View")),
        Captions(f, {"Desktop_ViewToolbar", "Desktop_ViewStatusBar", "-", "LargeIcons",
                     "SmallIcons", "List", "Details", "-", ">Arrange &Icons", "-", "DASExplorer",
                     ">Show Channels", "ShowDeviceWindow", "ShowHostStatistics",
                     "ShowDASStatistics", "=Debug Information\tCtrl+Alt+D"}));
    EXPECT_EQ(Entries(TopMenu(f, "&DAS")),
              Captions(f, {"Desktop_SendCommand", "-", "Desktop_SetDASTimeDate",
                           "=Set DAS Po&wer-Up Options...", "Desktop_SetSeqNum", "-",
                           "Desktop_RequestStatusPackets", "Desktop_SetStatusUpdateRate", "-",
                           "=Put Pelagrix to &Sleep...", "=&Wake Pelagrix", "=&Reset Pelagrix"}));
    const std::initializer_list<const char*> device = {"ShowDeviceWindow",
                                                       "-",
                                                       "Desktop_StartAll",
                                                       "Desktop_StopAll",
                                                       "-",
                                                       "Desktop_OpenSerialEcho",
                                                       "Desktop_CloseSerialEcho",
                                                       "-",
                                                       "Desktop_DeviceOn",
                                                       "Desktop_DeviceOff",
                                                       "Desktop_StartData",
                                                       "Desktop_StopData",
                                                       "Desktop_StartCapture",
                                                       "Desktop_StopCapture",
                                                       "-",
                                                       "Desktop_NewDevice",
                                                       "Desktop_DeleteDevice",
                                                       "Desktop_DeviceSetup"};
    EXPECT_EQ(Entries(TopMenu(f, "De&vice")), Captions(f, device));
    EXPECT_EQ(Entries(TopMenu(f, "&Scripts")),
              Captions(f, {"Desktop_NewScript", "Desktop_OpenScript", "Desktop_ScriptWizard", "-",
                           "=Show &Loaded Script...", "Desktop_RunScript", "Desktop_StopScript"}));
    EXPECT_EQ(Entries(TopMenu(f, "&Help")), Captions(f, {"HelpAbout"}));

    // The sub-menus of View, and the hidden entries.
    const QMenu* view = TopMenu(f, "&View");
    for (const QAction* a : view->actions()) {
        if (a->text() == QLatin1String("Arrange &Icons")) {
            EXPECT_EQ(Entries(a->menu()),
                      Captions(f, {"SortByDeviceName", "SortByPortName", "SortByConnection"}));
        } else if (a->text() == QLatin1String("Show Channels")) {
            EXPECT_EQ(Entries(a->menu()),
                      Captions(f, {"InfoChannel", "ErrorChannel", "OtherChannels"}));
        } else if (a->text().startsWith(QLatin1String("Debug Information"))) {
            EXPECT_FALSE(a->isVisible());
        }
    }
    for (const QAction* a : TopMenu(f, "&DAS")->actions()) {
        if (a->text() == QLatin1String("Put Pelagrix to &Sleep...")) {
            EXPECT_FALSE(a->isVisible());
        }
    }

    // The device pop-up menu: the selected device's entry, then the Device menu's entries.
    QStringList popup = Captions(f, device);
    popup.prepend(QStringLiteral("Variable"));
    EXPECT_EQ(Entries(f.DevicePopupMenu), popup);
}

TEST_F(ActionTableTest, ToolbarButtonsStandInOrder)
{
    TDASDesktopForm& f = StartQuiet();
    QStringList buttons;
    for (const QAction* a : f.ToolBar_Desktop->actions()) {
        if (a->isSeparator()) {
            buttons << QStringLiteral("|");
        } else if (a->objectName().isEmpty()) {
            buttons << QStringLiteral("ToolMessage");  // the message panel
        } else {
            // A hidden button stands for its action.
            buttons << (a->objectName().startsWith(QLatin1String("btn")) ? a->objectName().mid(3)
                                                                         : a->objectName());
        }
    }
    EXPECT_EQ(buttons, QStringList({"ToolMessage",
                                    "RewindDASArchive",
                                    "RecordDASArchive",
                                    "PlayDASArchive",
                                    "FastDASArchive",
                                    "PauseDASArchive",
                                    "StopDASArchive",
                                    "OpenConfiguration",
                                    "SaveConfiguration",
                                    "|",
                                    "LargeIcons",
                                    "SmallIcons",
                                    "List",
                                    "Details",
                                    "DASExplorer",
                                    "ShowHostStatistics",
                                    "Desktop_DASSleep",
                                    "|",
                                    "Desktop_DASWake",
                                    "|",
                                    "Desktop_StartAll",
                                    "Desktop_StopAll",
                                    "|",
                                    "Desktop_OpenSerialEcho",
                                    "Desktop_CloseSerialEcho",
                                    "Desktop_DeviceSetup",
                                    "|",
                                    "Desktop_NewScript",
                                    "Desktop_OpenScript",
                                    "Desktop_ScriptWizard",
                                    "Desktop_ShowLoadedScript",
                                    "Desktop_RunScript",
                                    "Desktop_StopScript"}));
}

TEST_F(ActionTableTest, FixedChannelsCarryTheirNamesAndWindows)
{
    StartQuiet();
    struct TFixed {
        int channel;
        bool window;
        const char* name;
    };
    const TFixed fixed[] = {
        {0, true, "Info Channel (Host Channel 0)"},
        {247, false, "Time & Date"},
        {248, false, "Time & Date"},
        {249, false, "System Variables"},
        {250, false, "File Transfer"},
        {251, false, "Directory"},
        {252, false, "Status"},
        {253, true, "Error Channel"},
        {254, true, "Parsed Script Output"},
        {255, false, "Commands"},
    };
    for (const TFixed& c : fixed) {
        TMux* mux = MuxArray->GetChannel(static_cast<uint8_t>(c.channel));
        ASSERT_NE(mux, nullptr) << c.channel;
        EXPECT_EQ(mux->GetName(), QString::fromLatin1(c.name)) << c.channel;
        EXPECT_EQ(mux->GetWindow() != nullptr, c.window) << c.channel;
        EXPECT_EQ(mux->GetDevice(), nullptr) << c.channel;
    }
}

}  // namespace
