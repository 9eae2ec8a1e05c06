#pragma once
// The main window: it makes the program's shared objects (the DAS unit, the send queues, the
// Window menu list, the devices, the host channels, the script editor list) in a fixed order
// when it is made and first shown, loads the station's configuration, connects the link,
// drives the link's user interface side with its data and status timers, shows the DAS's
// status line, and on closing ends the link thread, saves the station and deletes everything
// in order.
//
// UI thread only.

#include <QMainWindow>
#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "desktop/StatusLine.h"
#include "desktop/Terminal.h"
#include "link/ChannelInterfaces.h"
#include "link/LinkUi.h"
#include "link/MuxClasses.h"
#include "station/ConfigFiles.h"
#include "station/DeviceClasses.h"

class QAbstractItemModel;
class QAction;
class QColor;
class QDialog;
class QLabel;
class QListView;
class QMenu;
class QModelIndex;
class QPlainTextEdit;
class QSortFilterProxyModel;
class QStackedWidget;
class QStatusBar;
class QTimer;
class QToolBar;
class QTreeView;
class TWindowsMenuItem;

// The data timer's period.
constexpr int kDataTimerMs = 100;
// The status interval until the configuration sets one, and the least the operator may set.
constexpr int kDefaultStatusIntervalMs = 1000;
constexpr int kMinStatusIntervalMs = 100;
// How long the shutdown lets posted work run after the link thread ended.
constexpr int kShutdownSettleMs = 50;
// The file sequence number runs from 0 to 999.
constexpr int kSeqNumModulus = 1000;
// The version whose settings key is tried first, times 100.
constexpr int kRegistryVersionKey = 126;
// The status bar's panels: sequence number, four sensors, script state.
constexpr int kStatusPanelCount = 6;
// The power switches 0 to 16.
constexpr int kPowerSwitchCount = 17;
// Reset: the wait after the link thread parked, and how long the break is held.
constexpr int kResetSettleMs = 100;
constexpr int kResetBreakMs = 15000;
// The sleep time taken when the operator's answer is not a number, and the least time that
// counts as sleeping until woken.
constexpr int kIndefiniteSleepSeconds = 1000000;
constexpr int kLongestTimedSleepSeconds = 100000;
// The delays before the console goes back to the DAS's serial port after the clock and the
// power-up variable requests.
constexpr int kClockConOutDelayMs = 20;
constexpr int kSysVarConOutDelayMs = 200;
// Extra room of each device list column beyond its widest text.
constexpr int kColumnPaddingPx = 15;
// The toolbar's pictures.
constexpr int kToolIconPx = 24;
// Device windows without a stored place open beside the main window, this far from it and
// from each other.
constexpr int kWindowGapPx = 8;
constexpr int kWindowCascadePx = 30;
// The least width and height a device window is given beside or below the main window.
constexpr int kBesideMinWidthPx = 360;
constexpr int kBesideMinHeightPx = 200;
// A device window as large as the room beside the main window is made smaller, so that this
// many windows still cascade apart.
constexpr int kMinCascadeSteps = 3;
// At a first start the device windows are placed once the window manager has framed the main
// window: it is asked every step, at most this many times.
constexpr int kFrameWaitStepMs = 20;
constexpr int kFrameWaitSteps = 50;

// The device list's view styles, numbered as the configuration file stores them.
enum TDeviceViewStyle { kViewLargeIcons = 0, kViewSmallIcons = 1, kViewList = 2, kViewDetails = 3 };

// The device setup wizard's pages the device list opens.
constexpr int kSetupPagePort = 1;
constexpr int kSetupPageSequences = 2;
constexpr int kSetupPageCapture = 5;

// The texts the main window shows.
inline const QString kConfigRequiredText =
    QStringLiteral("Configuration File Required -- Exiting Wendrok");
inline const QString kStatusRequestCommand = QStringLiteral("SENDSTATUS HOST 247");

// The channels every station has, with their names and whether they get a window.
struct TFixedChannel {
    uint8_t channel;
    bool window;
    const char* name;
};
extern const std::array<TFixedChannel, 10> kFixedChannels;

// Where the `index`th device window without a stored place goes: right of the main window's
// frame `main` when `screen` (the available area) leaves room there, else below it, cascaded
// by index; within the screen. `size` is the client size wanted and `frame` the window
// manager's frame around it; the result is the frame's top left corner and the client size,
// so that the whole framed window stays in the area.
QRect BesideMainWindow(const QRect& main, const QRect& screen, const QSize& size, int index,
                       const QMargins& frame = QMargins());

class TDASDesktopForm;
// The hint of a device list row: its caption and a labelled line per column text.
QString DeviceInfoTip(const TDeviceListItem& item);

// The program's main window.
class TDASDesktopForm final : public QMainWindow,
                              public ILinkUi,
                              public IFixedChannelReaders,
                              public IDeviceListHost,
                              public IPortTableLookup,
                              public IStationConfigHost,
                              public IChannelServices {
    Q_OBJECT
public:
    // Makes Das, the send queues and WindowsList, and reads the last configuration file's name
    // from the newest settings key that exists.
    explicit TDASDesktopForm(QWidget* parent = nullptr);
    // Runs what the shutdown has not run yet (nothing is saved then) and deletes WindowsList.
    ~TDASDesktopForm() override;
    TDASDesktopForm(const TDASDesktopForm&) = delete;
    TDASDesktopForm& operator=(const TDASDesktopForm&) = delete;

    // What ends the program when the configuration cannot be loaded and after the shutdown
    // (default: the application's event loop quits). Tests set their own; empty restores it.
    static void SetTerminateHandler(std::function<void()> handler);
    // How the main window runs a tool window modally (default: QDialog::exec); returns the
    // dialog's result. Tests set their own; empty restores it.
    using TModalRunner = std::function<int(QDialog& dialog)>;
    static void SetModalRunner(TModalRunner runner);
    static int RunModal(QDialog& dialog);
    // Where Reset's waits go (default: the UI thread blocks). Tests set their own.
    static void SetResetWait(std::function<void(int ms)> wait);

    // --- Life cycle ---
    // The first show's work ran: the configuration loaded (or failed to).
    bool FirstShowDone() const { return firstShowDone_; }
    bool IsConfigurationLoaded() const { return configLoaded_; }
    bool IsShutDown() const { return shutDown_; }
    // Closes the window, which asks the script editors and shuts down.
    void ExitWendrokExecute();

    // --- Configuration (forwarded to the station's configuration files) ---
    TStationConfig& Config() { return config_; }
    QString ConfigFileName() const { return config_.ConfigFileName; }
    void SaveConfigurationExecute() { config_.SaveConfigurationExecute(); }
    void SaveConfigurationAsExecute() { config_.SaveConfigurationAsExecute(); }
    void OpenConfigurationExecute() { config_.OpenConfigurationExecute(); }
    void NewConfgurationExecute() { config_.NewConfgurationExecute(); }

    // --- Timers (DesktopTimers.cpp) ---
    void Timer_DataTimer();
    void Timer_StatTimer();
    void SetStatusInterval(int ms);
    int GetStatusInterval() const;
    bool RequestStatus() const;
    void Desktop_SetStatusUpdateRateExecute();
    void Desktop_RequestStatusPacketsExecute();
    void SetSeqNum(int n);
    void NextSeqNum() override;
    int GetSeqNum() const { return seqNum_; }
    void Desktop_SetSeqNumExecute();
    QTimer* DataTimer() const { return Timer_Data; }
    QTimer* StatTimer() const { return Timer_Stat; }

    // --- Status line (StatusLine.cpp) ---
    // Data of channels 247 and 252 as the channel hands it on.
    void OnStatusChannelData(uint8_t channel, const char* bytes, int count) override;
    // One status line; none shows that status requests are off.
    void ParseStatusLine(const std::optional<QString>& line);
    void OnMuxStatsLine(const QString& line);
    void UpdateDeviceStates(const QString& portStates, const QString& powerStates);
    void RefreshActivityIcons();
    void ShowScriptState(const QString& text);
    void StatusBar_DesktopResize();
    void ShowToolMessage(const QString& text) override;
    void ToolBar_DesktopResize() { ShowToolMessage(QString()); }
    // The text and width of a status bar panel (0..5), and the toolbar message.
    QString PanelText(int panel) const;
    int PanelWidth(int panel) const;
    QLabel* Panel(int panel) const;
    QString ToolMessage() const;
    QLabel* PanelMessage = nullptr;

    // --- Controls ---
    QStatusBar* StatusBar_Desktop = nullptr;
    QToolBar* ToolBar_Desktop = nullptr;
    QTreeView* DeviceView = nullptr;
    TDeviceListModel* DeviceModel() const { return deviceModel_; }
    QMenu* HelpMenu() const { return mnuHelp_; }
    TWindowsMenuItem* WindowMenu() const { return windowMenu_; }
    QAction* Desktop_RequestStatusPackets = nullptr;

    // --- ILinkUi ---
    void SetDeviceListGrey(bool grey) override;
    bool DeviceListGrey() const override { return grey_; }
    void SetArchiveActions(bool recordPlay, bool rewind, bool fast, bool pauseStop) override;
    void AppendDebugMemo(const QString& line) override;
    void KeepDebugMemoTail(int chars) override;
    bool ExplorerVisible() const override;
    void RefreshExplorer() override;
    // The row, and the actions that follow the devices' state (the echo actions).
    void RefreshDeviceRow(IChannelDevice& device) override;

    // --- IFixedChannelReaders ---
    void ReceiveControlText(const char* bytes, int count) override;
    void ReceiveListingData(const char* bytes, int count) override;
    // The clock window's and the system variables window's channels (Settime.cpp,
    // Systemvariables.cpp).
    void ReceiveDateReply(const char* bytes, int count) override;
    void ReceiveListing(const char* bytes, int count) override;

    // --- IDeviceListHost ---
    int FileSeqNum() const override { return seqNum_; }
    bool ArchivePlaying() const override;
    bool ExecuteDeviceSetup(TDevice& device) override;

    // --- IPortTableLookup ---
    bool HasPortNamed(const QString& name) const override;

    // --- IStationConfigHost ---
    TConfigSettings CurrentSettings() const override;
    void ApplySettings(const TConfigSettings& settings) override;
    void InternalConfigurationRead() override { StatusBar_DesktopResize(); }
    void ConfigurationLoaded() override;
    bool PauseLink() override;
    void ResumeLink() override;

    // --- IChannelServices ---
    QString CaptureFolder() const override;
    void SetupDeviceCapture(IChannelDevice& device) override;
    IProgressView* CreateProgress(TMux& channel, const QString& caption, const QString& text,
                                  int idleTimeoutMs, int64_t total) override;
    void ExecProgress(IProgressView& view) override;

    // --- Actions (DesktopActions.cpp; what they do: DesktopCommands.cpp, DeviceView.cpp) ---
    // The action of that name (its object name), or null.
    QAction* Action(const QString& name) const;
    // The keys the main window handles wherever the focus is in it; true when handled.
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    // Enables the device actions as the selection allows.
    void UpdateActions();
    QMenu* DevicePopupMenu = nullptr;
    QAction* Variable2 = nullptr;
    QPlainTextEdit* DebugMemo() const { return Memo1; }

    void SetMasterDirectoryExecute();
    void SetupCommunicationExecute();
    void SelectAllExecute();
    void DASExplorerExecute();
    void InfoChannelExecute();
    void ErrorChannelExecute();
    void OtherChannelsExecute();
    void ShowDeviceWindowExecute();
    void ShowHostStatisticsExecute();
    void ShowDASStatisticsExecute();
    void DebugExecute();
    void Desktop_SendCommandExecute();
    void Desktop_SetDASTimeDateExecute();
    void Desktop_SetupSysVarsExecute();
    void Desktop_DASSleepExecute();
    void Desktop_DASWakeExecute();
    void Desktop_ResetPelxExecute();
    void Desktop_NewDeviceExecute();
    void Desktop_DeleteDeviceExecute();
    void Desktop_DeviceSetupExecute();
    void Desktop_DeviceOnExecute();
    void Desktop_DeviceOffExecute();
    void Desktop_StartDataExecute();
    void Desktop_StopDataExecute();
    void Desktop_StartCaptureExecute();
    void Desktop_StopCaptureExecute();
    void Desktop_StartAllExecute();
    void Desktop_StopAllExecute();
    void Desktop_OpenSerialEchoExecute();
    void Desktop_CloseSerialEchoExecute();
    void Desktop_NewScriptExecute();
    void Desktop_OpenScriptExecute();
    void Desktop_ScriptWizardExecute();
    void Desktop_ShowLoadedScriptExecute();
    void Desktop_RunScriptExecute();
    void Desktop_StopScriptExecute();
    void RecordDASArchiveExecute();
    void PlayDASArchiveExecute();
    void StopDASArchiveExecute();
    // The device setup wizard for `device`, opened at `page`; true when closed with OK.
    bool ExecuteDeviceSetupPage(TDevice& device, int page);

    // --- Device list view (DeviceView.cpp) ---
    QListView* DeviceIcons = nullptr;
    int ViewStyle() const { return viewStyle_; }
    void SetViewStyle(int style);
    // Item hints are shown in every style but the report.
    bool HintsOn() const { return viewStyle_ != kViewDetails; }
    int SortColumn() const { return sortColumn_; }
    // Sorts the rows by `column` (0: caption), as text without regard to case, ascending.
    void SortDevices(int column);
    // What the views show: the device rows in their sorted order.
    QAbstractItemModel* ViewModel() const;
    // The list row shown at `viewRow`, or null.
    TDeviceListItem* ItemAtViewRow(int viewRow) const;
    // A double click on a cell of the report (view row and column): column 0 shows the device
    // windows of the selection; another column selects that row alone and runs its action.
    void DeviceViewDblClick(int viewRow, int column);
    // The operator's in-place rename of `item` to `caption`.
    void DeviceViewRename(TDeviceListItem* item, const QString& caption);
    void Memo1DblClick();
    void AutoSizeColumns();
    // The size the main window opens at when no placement is stored: every column of the
    // report and the whole toolbar in sight, within the screen.
    QSize DefaultSize() const;
    // Opens `device`'s window beside the main window (the `index`th such window).
    void PlaceDeviceWindow(TDevice& device, int index);
    // At a first start: the device windows without a stored place, beside the main window
    // once it is framed (`stepsLeft` more waits for the frame).
    void PlaceUnplacedDeviceWindows(int stepsLeft);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildStatusBar();
    void OpenSettingsKey();
    void FormShow();
    void FirstShow();
    void CreateChannels();
    // The shutdown: `save` is false when the configuration never loaded.
    void FormClose();
    void Shutdown(bool save);
    void SaveSettingsKey();
    void DeleteSingletons();
    // DesktopActions.cpp
    void BuildActions();
    void BuildActionMenus();
    void BuildToolBar();
    void BuildPopupMenu();
    void InstallKeyPreview();
    void PowerSelected(bool on);
    void RunCellAction(TDevice& device, int column);
    std::vector<TDevice*> SelectedDevices() const;
    QString AskNewDeviceName();
    // DeviceView.cpp
    void BuildDeviceView();
    void SetDeviceListColor(const QColor& color);
    static void Terminate();
    bool StatusPanelShown(int panel) const;

    TStationConfig config_;
    TTerminalFactory terminalFactory_;
    TStatusLineBuffer statusBuffer_;
    TStatusLineBuffer muxStatsBuffer_;

    int mouseX_ = 0;
    int mouseY_ = 0;
    int sortColumn_ = 4;
    int viewStyle_ = 3;
    int seqNum_ = 0;
    int statisticsInterval_ = 1000;
    int preXmitPause_ = 0;
    int postXmitPause_ = 0;
    int explorerViewStyle_ = 0;
    int maxPartition_ = 0;
    bool grey_ = false;

    bool firstShowQueued_ = false;
    bool firstShowDone_ = false;
    bool configLoaded_ = false;
    bool shutDown_ = false;
    // Set while the shutdown runs, so that a close that arrives meanwhile does nothing.
    static bool closing_;

    TWindowsMenuItem* windowMenu_ = nullptr;
    TDeviceListModel* deviceModel_ = nullptr;
    QTimer* Timer_Data = nullptr;
    QTimer* Timer_Stat = nullptr;
    std::array<QLabel*, kStatusPanelCount> panels_{};
    QAction* toolMessage_ = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QMenu* mnuFile_ = nullptr;
    QMenu* mnuDas_ = nullptr;
    QMenu* mnuHelp_ = nullptr;
    QStackedWidget* deviceViews_ = nullptr;
    QSortFilterProxyModel* sortProxy_ = nullptr;
    bool renaming_ = false;
};

// The program's main window (null before it is made and after it is deleted).
extern TDASDesktopForm* DASDesktopForm;
