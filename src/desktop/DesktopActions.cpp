// The main window's actions: one action list for the menus, the toolbar, the device pop-up
// menu and the keys, and the rules that enable them. What the File, View, DAS, Scripts and
// archive actions do is in DesktopCommands.cpp, the device actions in DeviceView.cpp.
#include <QAction>
#include <QIcon>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <algorithm>
#include <array>

#include "desktop/AboutBox.h"
#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "desktop/Terminal.h"
#include "desktop/ThemeIcon.h"

namespace {

// One action of the main window: its name, caption (shortcut text after the tab), hint and
// handler.
struct TActionDef {
    const char* name;
    const char* caption;
    const char* hint;
    void (TDASDesktopForm::*run)();
};

// Captions and hints as the operator sees them.
const TActionDef kActions[] = {
    {"OpenConfiguration", "&Open Configuration... \t\tCtrl+O", "Open Configuration",
     &TDASDesktopForm::OpenConfigurationExecute},
    {"NewConfguration", "&New Confguration...", "", &TDASDesktopForm::NewConfgurationExecute},
    {"SaveConfiguration", "&Save Configuration \t\tCtrl+S", "Save Pelagrix Configuration",
     &TDASDesktopForm::SaveConfigurationExecute},
    {"SaveConfigurationAs", "Save Configuration &As...", "",
     &TDASDesktopForm::SaveConfigurationAsExecute},
    {"SetMasterDirectory", "Set &Master Directory...", "Set Master Directory for Captured Data",
     &TDASDesktopForm::SetMasterDirectoryExecute},
    {"SetupCommunication", "Setup Communication &Ports...", "Setup Communication Port",
     &TDASDesktopForm::SetupCommunicationExecute},
    {"ExitWendrok", "E&xit Wendrok", "Exit Wendrok", &TDASDesktopForm::ExitWendrokExecute},
    {"SelectAll", "Select &All \tCtrl+A", "Select All Icons", &TDASDesktopForm::SelectAllExecute},
    {"Desktop_ViewToolbar", "View &Toolbar", "View Toolbar", nullptr},
    {"Desktop_ViewStatusBar", "View Status &Bar", "View Status Bar", nullptr},
    {"LargeIcons", "Lar&ge Icons", "View Large Device Icons", nullptr},
    {"SmallIcons", "S&mall Icons", "View Small Device Icons", nullptr},
    {"List", "&List", "View List of Minimized Device Icons", nullptr},
    {"Details", "&Details", "View Devices in Report Format", nullptr},
    {"SortByDeviceName", "by Device Name", "", nullptr},
    {"SortByPortName", "by Port Name", "", nullptr},
    {"SortByConnection", "by Connection", "", nullptr},
    {"DASExplorer", "DAS &Explorer \t\tCtrl+E", "Open DAS Explorer",
     &TDASDesktopForm::DASExplorerExecute},
    {"InfoChannel", "&Info Channel", "View Info Channel", &TDASDesktopForm::InfoChannelExecute},
    {"ErrorChannel", "&Error Channel", "View Error Channel",
     &TDASDesktopForm::ErrorChannelExecute},
    {"OtherChannels", "&Other Channels...", "View Other Channels",
     &TDASDesktopForm::OtherChannelsExecute},
    {"ShowDeviceWindow", "Show Device &Window \tCtrl+W", "Show Device Window(s)",
     &TDASDesktopForm::ShowDeviceWindowExecute},
    {"ShowHostStatistics", "Show Host &Statistics \tCtrl+H", "Show Host Communication Statistics",
     &TDASDesktopForm::ShowHostStatisticsExecute},
    {"ShowDASStatistics", "Show DAS S&tatistics \tCtrl+D", "Show DAS Communication Statistics",
     &TDASDesktopForm::ShowDASStatisticsExecute},
    {"Debug", "Debug Information", "", &TDASDesktopForm::DebugExecute},
    {"Desktop_SendCommand", "Send C&ommand...", "Type Command to DAS",
     &TDASDesktopForm::Desktop_SendCommandExecute},
    {"Desktop_SetDASTimeDate", "Set DAS &Time && Date...", "",
     &TDASDesktopForm::Desktop_SetDASTimeDateExecute},
    {"Desktop_SetupSysVars", "Setup DAS Po&wer-Up Options...", "",
     &TDASDesktopForm::Desktop_SetupSysVarsExecute},
    {"Desktop_SetSeqNum", "Set File Se&quence Number...", "",
     &TDASDesktopForm::Desktop_SetSeqNumExecute},
    {"Desktop_RequestStatusPackets", "Request Status &Updates", "", nullptr},
    {"Desktop_SetStatusUpdateRate", "Set Status &Update Rate...", "",
     &TDASDesktopForm::Desktop_SetStatusUpdateRateExecute},
    {"Desktop_DASSleep", "Pelagrix &Sleep...", "Put Pelagrix to Sleep",
     &TDASDesktopForm::Desktop_DASSleepExecute},
    {"Desktop_DASWake", "Pelagrix &Wake", "Wake Pelagrix from Sleep",
     &TDASDesktopForm::Desktop_DASWakeExecute},
    {"Desktop_ResetPelx", "&Reset the Pelagrix", "Reset the Pelagrix",
     &TDASDesktopForm::Desktop_ResetPelxExecute},
    {"Desktop_NewDevice", "&New Device... \t\t\tIns", "Add New Device",
     &TDASDesktopForm::Desktop_NewDeviceExecute},
    {"Desktop_DeleteDevice", "&Delete Device \t\t\tDel", "",
     &TDASDesktopForm::Desktop_DeleteDeviceExecute},
    {"Desktop_DeviceSetup", "Device &Setup...", "Setup Device(s)",
     &TDASDesktopForm::Desktop_DeviceSetupExecute},
    {"Desktop_DeviceOn", "Device O&n", "Turns Seleted Device On",
     &TDASDesktopForm::Desktop_DeviceOnExecute},
    {"Desktop_DeviceOff", "Device O&ff", "Turns Seleted Device Off",
     &TDASDesktopForm::Desktop_DeviceOffExecute},
    {"Desktop_StartData", "St&art Data", "Start Data Flow",
     &TDASDesktopForm::Desktop_StartDataExecute},
    {"Desktop_StopData", "St&op Data", "Stop Data Flow", &TDASDesktopForm::Desktop_StopDataExecute},
    {"Desktop_StartCapture", "Start Ca&pture", "Start Capturing Data",
     &TDASDesktopForm::Desktop_StartCaptureExecute},
    {"Desktop_StopCapture", "Stop Capt&ure", "Stop Capturing Data",
     &TDASDesktopForm::Desktop_StopCaptureExecute},
    {"Desktop_StartAll", "Star&t and Collect Data \t\tF1", "Start Device and Collect Data",
     &TDASDesktopForm::Desktop_StartAllExecute},
    {"Desktop_StopAll", "Sto&p Data and Shut Down \tF2", "Stop Data Collection and Shut Down",
     &TDASDesktopForm::Desktop_StopAllExecute},
    {"Desktop_OpenSerialEcho", "Open Serial &Echo", "Open Serial Echo",
     &TDASDesktopForm::Desktop_OpenSerialEchoExecute},
    {"Desktop_CloseSerialEcho", "Close Serial E&cho", "Close Serial Echo",
     &TDASDesktopForm::Desktop_CloseSerialEchoExecute},
    {"Desktop_NewScript", "&New Script...", "Create New Script",
     &TDASDesktopForm::Desktop_NewScriptExecute},
    {"Desktop_OpenScript", "&Open Script...", "Edit Exisiting Script",
     &TDASDesktopForm::Desktop_OpenScriptExecute},
    {"Desktop_ScriptWizard", "Script &Wizard...", "Launch Script Wizard",
     &TDASDesktopForm::Desktop_ScriptWizardExecute},
    {"Desktop_ShowLoadedScript", "Show &Loaded Script", "Show Loaded Script",
     &TDASDesktopForm::Desktop_ShowLoadedScriptExecute},
    {"Desktop_RunScript", "Run Loaded Script", "Run Script",
     &TDASDesktopForm::Desktop_RunScriptExecute},
    {"Desktop_StopScript", "&Stop Script", "Stop Script Execution",
     &TDASDesktopForm::Desktop_StopScriptExecute},
    {"RecordDASArchive", "&Record DAS Archive... \tCtrl+R", "Record DAS Archive",
     &TDASDesktopForm::RecordDASArchiveExecute},
    {"PlayDASArchive", "&Play DAS Archive... \t\tCtrl+P", "Play DAS Archive",
     &TDASDesktopForm::PlayDASArchiveExecute},
    {"StopDASArchive", "Stop DAS Archive", "Stop DAS Archive",
     &TDASDesktopForm::StopDASArchiveExecute},
    {"RewindDASArchive", "Re&wind DAS Archive", "Rewind DAS Archive", nullptr},
    {"FastDASArchive", "Play DAS Archive &Fast", "Play DAS Archive Fast", nullptr},
    {"PauseDASArchive", "Pa&use DAS Archive Play", "Pause DAS Archive Play", nullptr},
    {"HelpAbout", "&About Wendrok", "", nullptr},
};

// The picture of an action: a name of the desktop's icon theme, and our own picture
// (resources/icons, 24 px and 48 px) where the theme has none.
struct TActionIcon {
    const char* action;
    const char* theme;
    const char* own;
};
const TActionIcon kActionIcons[] = {
    {"RewindDASArchive", "media-seek-backward", "rewind"},
    {"RecordDASArchive", "media-record", "record"},
    {"PlayDASArchive", "media-playback-start", "play"},
    {"FastDASArchive", "media-seek-forward", "fast"},
    {"PauseDASArchive", "media-playback-pause", "pause"},
    {"StopDASArchive", "media-playback-stop", "stop"},
    {"OpenConfiguration", "document-open", "open-configuration"},
    {"SaveConfiguration", "document-save", "save-configuration"},
    {"LargeIcons", "view-list-icons", "large-icons"},
    {"SmallIcons", "view-grid", "small-icons"},
    {"List", "view-list", "list"},
    {"Details", "view-list-details", "details"},
    {"DASExplorer", "folder-remote", "explorer"},
    {"ShowHostStatistics", "network-transmit-receive", "host-statistics"},
    {"Desktop_DASSleep", "system-suspend", "sleep"},
    {"Desktop_DASWake", "weather-clear", "wake"},
    {"Desktop_StartAll", "system-run", "start-all"},
    {"Desktop_StopAll", "process-stop", "stop-all"},
    {"Desktop_OpenSerialEcho", "network-connect", "open-echo"},
    {"Desktop_CloseSerialEcho", "network-disconnect", "close-echo"},
    {"Desktop_DeviceSetup", "document-properties", "device-setup"},
    {"Desktop_NewScript", "document-new", "new-script"},
    {"Desktop_OpenScript", "document-edit", "open-script"},
    {"Desktop_ScriptWizard", "tools-wizard", "script-wizard"},
    {"Desktop_ShowLoadedScript", "document-print-preview", "show-script"},
    {"Desktop_RunScript", "go-next", "run-script"},
    {"Desktop_StopScript", "media-playback-stop", "stop-script"},
};

QIcon ActionIcon(const TActionIcon& icon)
{
    return ThemeIconOrOwn(QLatin1String(icon.theme), QLatin1String(icon.own));
}

// A menu entry: an action's name, "-" for a separator, or "-hint" for a separator with a hint;
// a caption given overrides the action's own in this menu only.
struct TEntry {
    const char* name;
    const char* caption = nullptr;
};

const TEntry kFileMenu[] = {
    {"Desktop_NewDevice"}, {"NewConfguration"}, {"OpenConfiguration"}, {"SaveConfiguration"},
    {"SaveConfigurationAs"}, {"-"}, {"SetMasterDirectory"},
    {"-Show Controls to Record && Play Back DAS Archives"}, {"RewindDASArchive"},
    {"RecordDASArchive"}, {"PlayDASArchive"}, {"FastDASArchive"}, {"PauseDASArchive"},
    {"StopDASArchive"}, {"-"}, {"SetupCommunication", "Set Up Communication &Ports..."}, {"-"},
    {"ExitWendrok"},
};
const TEntry kViewMenuTop[] = {
    {"Desktop_ViewToolbar"}, {"Desktop_ViewStatusBar"}, {"-"}, {"LargeIcons"}, {"SmallIcons"},
    {"List"}, {"Details"}, {"-"},
};
const TEntry kArrangeMenu[] = {{"SortByDeviceName"}, {"SortByPortName"}, {"SortByConnection"}};
const TEntry kChannelsMenu[] = {{"InfoChannel"}, {"ErrorChannel"}, {"OtherChannels"}};
const TEntry kDasMenu[] = {
    {"Desktop_SendCommand"}, {"-"}, {"Desktop_SetDASTimeDate"},
    {"Desktop_SetupSysVars", "Set DAS Po&wer-Up Options..."}, {"Desktop_SetSeqNum"}, {"-"},
    {"Desktop_RequestStatusPackets"}, {"Desktop_SetStatusUpdateRate"}, {"-"},
    {"Desktop_DASSleep", "Put Pelagrix to &Sleep..."}, {"Desktop_DASWake", "&Wake Pelagrix"},
    {"Desktop_ResetPelx", "&Reset Pelagrix"},
};
// The device entries of the Device menu and the device pop-up menu.
const TEntry kDeviceEntries[] = {
    {"ShowDeviceWindow"}, {"-"}, {"Desktop_StartAll"}, {"Desktop_StopAll"}, {"-"},
    {"Desktop_OpenSerialEcho"}, {"Desktop_CloseSerialEcho"}, {"-"}, {"Desktop_DeviceOn"},
    {"Desktop_DeviceOff"}, {"Desktop_StartData"}, {"Desktop_StopData"},
    {"Desktop_StartCapture"}, {"Desktop_StopCapture"}, {"-"}, {"Desktop_NewDevice"},
    {"Desktop_DeleteDevice"}, {"Desktop_DeviceSetup"},
};
const TEntry kScriptsMenu[] = {
    {"Desktop_NewScript"}, {"Desktop_OpenScript"}, {"Desktop_ScriptWizard"}, {"-"},
    {"Desktop_ShowLoadedScript", "Show &Loaded Script..."}, {"Desktop_RunScript"},
    {"Desktop_StopScript"},
};
// Toolbar buttons after the message panel; "|" is a separator, "!" a hidden button.
const char* const kToolButtons[] = {
    "RewindDASArchive", "RecordDASArchive", "PlayDASArchive", "FastDASArchive",
    "PauseDASArchive", "StopDASArchive", "OpenConfiguration", "SaveConfiguration", "|",
    "LargeIcons", "SmallIcons", "List", "Details", "DASExplorer", "ShowHostStatistics",
    "!Desktop_DASSleep", "|", "!Desktop_DASWake", "|", "Desktop_StartAll", "Desktop_StopAll", "|",
    "Desktop_OpenSerialEcho", "Desktop_CloseSerialEcho", "Desktop_DeviceSetup", "|",
    "Desktop_NewScript", "Desktop_OpenScript", "Desktop_ScriptWizard", "Desktop_ShowLoadedScript",
    "Desktop_RunScript", "Desktop_StopScript",
};

TDASDesktopForm::TModalRunner& ModalRunner()
{
    static TDASDesktopForm::TModalRunner runner;
    return runner;
}

// Hands the main window the keys typed into its device views, so they work wherever the focus
// is in the window; an in-place caption editor keeps its own keys. Also clears the debug memo
// on a double click.
class TDesktopKeyPreview final : public QObject {
public:
    explicit TDesktopKeyPreview(TDASDesktopForm& form) : QObject(&form), form_(form) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick && form_.DebugMemo() != nullptr &&
            watched == form_.DebugMemo()->viewport()) {
            form_.Memo1DblClick();
            return true;
        }
        if (event->type() == QEvent::KeyPress && watched != form_.DebugMemo()) {
            const auto* key = static_cast<QKeyEvent*>(event);
            return form_.FormKeyDown(key->key(), key->modifiers());
        }
        return false;
    }

private:
    TDASDesktopForm& form_;
};

}  // namespace

void TDASDesktopForm::SetModalRunner(TModalRunner runner) { ModalRunner() = std::move(runner); }

int TDASDesktopForm::RunModal(QDialog& dialog)
{
    if (ModalRunner()) {
        return ModalRunner()(dialog);
    }
    return dialog.exec();
}

QAction* TDASDesktopForm::Action(const QString& name) const
{
    return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

// --- Building ---

void TDASDesktopForm::BuildActions()
{
    for (const TActionDef& def : kActions) {
        auto* action = new QAction(QString::fromLatin1(def.caption), this);
        action->setObjectName(QString::fromLatin1(def.name));
        const QString hint = QString::fromLatin1(def.hint);
        action->setStatusTip(hint);
        action->setToolTip(hint.isEmpty() ? action->text().section(QLatin1Char('\t'), 0, 0)
                                          : hint);
        if (def.run != nullptr) {
            connect(action, &QAction::triggered, this, [this, run = def.run] { (this->*run)(); });
        }
    }
    // The echo actions show the state they lead to, as the terminal's echo action does.
    Action(QStringLiteral("Desktop_OpenSerialEcho"))->setIcon(EchoPortIcon(true));
    Action(QStringLiteral("Desktop_CloseSerialEcho"))->setIcon(EchoPortIcon(false));
    const auto view = [this](const char* name, int style) {
        connect(Action(QString::fromLatin1(name)), &QAction::triggered, this,
                [this, style] { SetViewStyle(style); });
    };
    view("LargeIcons", kViewLargeIcons);
    view("SmallIcons", kViewSmallIcons);
    view("List", kViewList);
    view("Details", kViewDetails);
    const auto sortBy = [this](const char* name, int column) {
        connect(Action(QString::fromLatin1(name)), &QAction::triggered, this,
                [this, column] { SortDevices(column); });
    };
    sortBy("SortByDeviceName", kColDevice);
    sortBy("SortByPortName", kColPortNo);
    sortBy("SortByConnection", kColConnNo);

    for (const char* name : {"Desktop_ViewToolbar", "Desktop_ViewStatusBar"}) {
        QAction* toggle = Action(QString::fromLatin1(name));
        toggle->setCheckable(true);
        toggle->setChecked(true);
    }
    connect(Action(QStringLiteral("Desktop_ViewToolbar")), &QAction::toggled, this,
            [this](bool on) { ToolBar_Desktop->setVisible(on); });
    connect(Action(QStringLiteral("Desktop_ViewStatusBar")), &QAction::toggled, this,
            [this](bool on) { StatusBar_Desktop->setVisible(on); });

    Desktop_RequestStatusPackets = Action(QStringLiteral("Desktop_RequestStatusPackets"));
    Desktop_RequestStatusPackets->setCheckable(true);
    Desktop_RequestStatusPackets->setChecked(true);
    // The action decides the check itself: turning requests off asks first.
    connect(Desktop_RequestStatusPackets, &QAction::triggered, this, [this](bool checked) {
        Desktop_RequestStatusPackets->setChecked(!checked);
        Desktop_RequestStatusPacketsExecute();
    });
    connect(Action(QStringLiteral("HelpAbout")), &QAction::triggered, this, [] {
        if (AboutBox != nullptr) {
            RunModal(*AboutBox);
        }
    });
    Action(QStringLiteral("Desktop_DASSleep"))->setVisible(false);
    for (const TActionIcon& icon : kActionIcons) {
        Action(QString::fromLatin1(icon.action))->setIcon(ActionIcon(icon));
    }
}

namespace {

void AddEntries(TDASDesktopForm& form, QMenu* menu, const TEntry* first, const TEntry* last)
{
    for (const TEntry* e = first; e != last; ++e) {
        if (e->name[0] == '-') {
            QAction* separator = menu->addSeparator();
            separator->setStatusTip(QString::fromLatin1(e->name + 1));
            continue;
        }
        QAction* action = form.Action(QString::fromLatin1(e->name));
        if (e->caption == nullptr) {
            menu->addAction(action);
            continue;
        }
        // A menu caption of its own: an entry that runs the action and follows its state.
        auto* entry = new QAction(QString::fromLatin1(e->caption), menu);
        entry->setObjectName(QStringLiteral("mnu") + action->objectName());
        entry->setStatusTip(action->statusTip());
        entry->setIcon(action->icon());
        entry->setVisible(action->isVisible());
        entry->setEnabled(action->isEnabled());
        QObject::connect(entry, &QAction::triggered, action, &QAction::trigger);
        QObject::connect(action, &QAction::changed, entry, [action, entry] {
            entry->setIcon(action->icon());
            entry->setVisible(action->isVisible());
            entry->setEnabled(action->isEnabled());
        });
        menu->addAction(entry);
    }
}

template <size_t N>
void AddEntries(TDASDesktopForm& form, QMenu* menu, const TEntry (&entries)[N])
{
    AddEntries(form, menu, entries, entries + N);
}

}  // namespace

void TDASDesktopForm::BuildActionMenus()
{
    mnuFile_ = menuBar()->addMenu(QStringLiteral("&File"));
    AddEntries(*this, mnuFile_, kFileMenu);
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(Action(QStringLiteral("SelectAll")));

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    AddEntries(*this, view, kViewMenuTop);
    AddEntries(*this, view->addMenu(QStringLiteral("Arrange &Icons")), kArrangeMenu);
    view->addSeparator();
    view->addAction(Action(QStringLiteral("DASExplorer")));
    AddEntries(*this, view->addMenu(QStringLiteral("Show Channels")), kChannelsMenu);
    view->addAction(Action(QStringLiteral("ShowDeviceWindow")));
    view->addAction(Action(QStringLiteral("ShowHostStatistics")));
    view->addAction(Action(QStringLiteral("ShowDASStatistics")));
    // The debug entry stays hidden; its key is handled with the others (Ctrl+Alt+D).
    auto* debugEntry = new QAction(QStringLiteral("Debug Information\tCtrl+Alt+D"), view);
    debugEntry->setObjectName(QStringLiteral("mnuDebug"));
    debugEntry->setVisible(false);
    connect(debugEntry, &QAction::triggered, Action(QStringLiteral("Debug")), &QAction::trigger);
    view->addAction(debugEntry);

    mnuDas_ = menuBar()->addMenu(QStringLiteral("&DAS"));
    AddEntries(*this, mnuDas_, kDasMenu);
    AddEntries(*this, menuBar()->addMenu(QStringLiteral("De&vice")), kDeviceEntries);
    AddEntries(*this, menuBar()->addMenu(QStringLiteral("&Scripts")), kScriptsMenu);
    mnuHelp_ = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp_->addAction(Action(QStringLiteral("HelpAbout")));
}

void TDASDesktopForm::BuildToolBar()
{
    ToolBar_Desktop->setToolTipDuration(-1);
    // Pictures only, so that the whole bar fits the window; the hints name the buttons.
    ToolBar_Desktop->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar_Desktop->setIconSize(QSize(kToolIconPx, kToolIconPx));
    for (const char* name : kToolButtons) {
        if (name[0] == '|') {
            ToolBar_Desktop->addSeparator();
            continue;
        }
        const bool hidden = name[0] == '!';
        QAction* action = Action(QString::fromLatin1(hidden ? name + 1 : name));
        if (!hidden) {
            // A button shows the caption without its shortcut text and accelerator mark.
            action->setIconText(
                action->text().section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&')).trimmed());
            ToolBar_Desktop->addAction(action);
            continue;
        }
        // A hidden button of an action whose menu entry may show.
        auto* button = new QAction(action->icon(), action->text(), ToolBar_Desktop);
        button->setObjectName(QStringLiteral("btn") + action->objectName());
        button->setVisible(false);
        connect(button, &QAction::triggered, action, &QAction::trigger);
        ToolBar_Desktop->addAction(button);
    }
}

void TDASDesktopForm::BuildPopupMenu()
{
    DevicePopupMenu = new QMenu(this);
    DevicePopupMenu->setObjectName(QStringLiteral("DevicePopupMenu"));
    Variable2 = DevicePopupMenu->addAction(QStringLiteral("Variable"));
    Variable2->setObjectName(QStringLiteral("Variable2"));
    Variable2->setVisible(false);
    AddEntries(*this, DevicePopupMenu, kDeviceEntries);
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(DeviceView),
                                 static_cast<QAbstractItemView*>(DeviceIcons)}) {
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(v, &QWidget::customContextMenuRequested, this, [this, v](const QPoint& pos) {
            UpdateActions();
            DevicePopupMenu->popup(v->viewport()->mapToGlobal(pos));
        });
    }
}

void TDASDesktopForm::InstallKeyPreview()
{
    auto* preview = new TDesktopKeyPreview(*this);
    installEventFilter(preview);
    deviceViews_->installEventFilter(preview);
    DeviceView->installEventFilter(preview);
    DeviceIcons->installEventFilter(preview);
    Memo1->viewport()->installEventFilter(preview);
}

bool TDASDesktopForm::FormKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    const char* name = nullptr;
    if (modifiers.testFlag(Qt::ControlModifier)) {
        switch (key) {
        case Qt::Key_A: name = "SelectAll"; break;
        // Ctrl+Alt+D is the debug memo's own key and never also asks for the statistics.
        case Qt::Key_D:
            name = modifiers.testFlag(Qt::AltModifier) ? "Debug" : "ShowDASStatistics";
            break;
        case Qt::Key_E: name = "DASExplorer"; break;
        case Qt::Key_H: name = "ShowHostStatistics"; break;
        case Qt::Key_O: name = "OpenConfiguration"; break;
        case Qt::Key_P: name = "PlayDASArchive"; break;
        case Qt::Key_R: name = "RecordDASArchive"; break;
        case Qt::Key_S: name = "SaveConfiguration"; break;
        case Qt::Key_W: name = "ShowDeviceWindow"; break;
        default: break;
        }
    } else {
        switch (key) {
        case Qt::Key_Insert: name = "Desktop_NewDevice"; break;
        case Qt::Key_Delete: name = "Desktop_DeleteDevice"; break;
        case Qt::Key_F1: name = "Desktop_StartAll"; break;
        case Qt::Key_F2: name = "Desktop_StopAll"; break;
        default: break;
        }
    }
    if (name == nullptr) {
        return false;
    }
    // The keys run the handlers as the actions would, also for hidden or disabled actions:
    // Ctrl+P stops a playback while the Play action is hidden.
    for (const TActionDef& def : kActions) {
        if (qstrcmp(def.name, name) == 0 && def.run != nullptr) {
            (this->*def.run)();
        }
    }
    return true;
}

// --- Enabling ---

std::vector<TDevice*> TDASDesktopForm::SelectedDevices() const
{
    std::vector<TDevice*> out;
    if (Devices == nullptr) {
        return out;
    }
    for (TDevice* d = Devices->First(true, true); d != nullptr; d = Devices->Next(d, true, true)) {
        out.push_back(d);
    }
    return out;
}

void TDASDesktopForm::UpdateActions()
{
    if (Variable2 == nullptr) {
        return;
    }
    const std::vector<TDevice*> selected = SelectedDevices();
    const int items = deviceModel_->ItemCount();
    const bool single = selected.size() == 1;
    const bool any = !selected.empty();
    bool echoOpen = false;
    bool echoClosed = false;
    for (TDevice* d : selected) {
        TMux* mux = d->GetMux();
        if (mux != nullptr && d->GetEchoSerial() > 0) {
            (mux->IsEchoOpen() ? echoOpen : echoClosed) = true;
        }
    }
    Variable2->setVisible(single);
    if (single) {
        Variable2->setText(selected.front()->GetName());
        Variable2->setEnabled(true);
    }
    for (const char* name :
         {"ShowDeviceWindow", "Desktop_DeviceOn", "Desktop_DeviceOff", "Desktop_StartData",
          "Desktop_StopData", "Desktop_StartCapture", "Desktop_StopCapture", "Desktop_DeviceSetup",
          "Desktop_DeleteDevice"}) {
        Action(QString::fromLatin1(name))->setEnabled(any);
    }
    Action(QStringLiteral("Desktop_StartAll"))->setEnabled(items > 0);
    Action(QStringLiteral("Desktop_StopAll"))->setEnabled(items > 0);
    Action(QStringLiteral("Desktop_OpenSerialEcho"))->setEnabled(any && echoClosed);
    Action(QStringLiteral("Desktop_CloseSerialEcho"))->setEnabled(any && echoOpen);
}
