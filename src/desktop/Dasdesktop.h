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
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "desktop/StatusLine.h"
#include "desktop/Terminal.h"
#include "link/ChannelInterfaces.h"
#include "link/LinkUi.h"
#include "link/MuxClasses.h"
#include "station/ConfigFiles.h"
#include "station/DeviceClasses.h"

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
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

// The program's main window.
class TDASDesktopForm final : public QMainWindow,
                              public ILinkUi,
                              public IFixedChannelReaders,
                              public IDeviceListHost,
                              public IPortTableLookup,
                              public IStationConfigHost {
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
    bool ExplorerVisible() const override;

    // --- IFixedChannelReaders ---
    void ReceiveControlText(const char* bytes, int count) override;

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

    // TODO(#10): the actions of the device list and the sorting of its columns.
    void UpdateActions();
    void AutoSizeColumns();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
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
};

// The program's main window (null before it is made and after it is deleted).
extern TDASDesktopForm* DASDesktopForm;
