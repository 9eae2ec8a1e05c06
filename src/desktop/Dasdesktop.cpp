#include "desktop/Dasdesktop.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "desktop/AboutBox.h"
#include "desktop/DeviceImages.h"
#include "desktop/Forms.h"
#include "desktop/WinMenuItem.h"
#include "link/Das.h"
#include "link/Global.h"
#include "link/Host.h"
#include "link/Packets.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/Clocks.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/WaitMs.h"
#include "platform/WindowPlacement.h"
#include "station/DataPolling.h"

TDASDesktopForm* DASDesktopForm = nullptr;
bool TDASDesktopForm::closing_ = false;

const std::array<TFixedChannel, 10> kFixedChannels = {{
    {kInfoChannel, true, "Info Channel (Host Channel 0)"},
    {kStatusChannel, false, "Time & Date"},
    {kClockChannel, false, "Time & Date"},
    {kSysVarChannel, false, "System Variables"},
    {kFileChannel, false, "File Transfer"},
    {kDirectoryChannel, false, "Directory"},
    {kMuxStatsChannel, false, "Status"},
    {kErrorChannel, true, "Error Channel"},
    {kScriptChannel, true, "Parsed Script Output"},
    {kCommandChannel, false, "Commands"},
}};

namespace {

const QString kDesktopKeyName = QStringLiteral("DasDesktop");
const QString kIniFileValue = QStringLiteral("INIFile");
// Pause values are kept in microseconds; the serial module counts performance counter ticks.
constexpr int64_t kTicksPerMicrosecond = kPerfFrequency / 1'000'000;

std::function<void()>& TerminateHandler()
{
    static std::function<void()> handler;
    return handler;
}

template <typename T>
void DeleteGlobal(T*& object)
{
    delete object;
    object = nullptr;
}

}  // namespace

TDASDesktopForm::TDASDesktopForm(QWidget* parent) : QMainWindow(parent), config_(*this)
{
    DASDesktopForm = this;
    Das = new TDas;
    // Host is the program's one link manager; the main window is its side of the link.
    Host.SetLinkUi(this);
    SendQueue = new TDataList;
    TimedQueue = new TDataList;
    WindowsList = new TWindowsList;
    // Qt's file dialogs never change the working folder, so nothing stands in for the
    // toolkit's "force current directory" switch.
    OpenSettingsKey();

    setWindowTitle(QStringLiteral("Wendrok"));
    BuildControls();
}

TDASDesktopForm::~TDASDesktopForm()
{
    if (!shutDown_) {
        Shutdown(false);
    }
    if (&Host.LinkUi() == static_cast<ILinkUi*>(this)) {
        Host.SetLinkUi(nullptr);
    }
    DeleteGlobal(WindowsList);
    if (DASDesktopForm == this) {
        DASDesktopForm = nullptr;
    }
}

void TDASDesktopForm::SetTerminateHandler(std::function<void()> handler)
{
    TerminateHandler() = std::move(handler);
}

void TDASDesktopForm::Terminate()
{
    if (TerminateHandler()) {
        TerminateHandler()();
        return;
    }
    // Queued, so that a request made before the event loop runs still ends it. Exit, not
    // quit: quit closes every window first, and a tool window closed at the end would be
    // remembered as one the operator closed (the explorer and the statistics window would not
    // open again at the next start).
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
}

// The newest settings key that exists names the version every later read uses.
void TDASDesktopForm::OpenSettingsKey()
{
    TRegDef reg;
    int key = kRegistryVersionKey;
    while (key > 0 && !reg.OpenKey(VersionedKeyPath(key / 100.0, kDesktopKeyName), false)) {
        --key;
    }
    // With no key at all the program reads where it will write.
    const double version = key > 0 ? key / 100.0 : Host.WriteVersion();
    Host.SetReadVersion(static_cast<float>(version));
    SetRegistryReadVersion(version);
    const QString stored = reg.ReadStringDef(kIniFileValue, kDefaultConfigFile);
    config_.ConfigFileName = ExpandStoredDataPath(stored, kDefaultConfigFile);
    reg.CloseKey();
}

void TDASDesktopForm::BuildControls()
{
    deviceModel_ = new TDeviceListModel(this);
    deviceModel_->SetImages(new TDeviceImages(deviceModel_));
    BuildDeviceView();

    ToolBar_Desktop = addToolBar(QStringLiteral("ToolBar_Desktop"));
    ToolBar_Desktop->setObjectName(QStringLiteral("ToolBar_Desktop"));
    ToolBar_Desktop->setMovable(false);
    PanelMessage = new QLabel(ToolBar_Desktop);
    PanelMessage->setObjectName(QStringLiteral("PanelMessage"));
    PanelMessage->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PanelMessage->setStyleSheet(QStringLiteral("color: #ff0000;"));
    toolMessage_ = ToolBar_Desktop->addWidget(PanelMessage);

    // The debug memo receives the timed command lines while it is shown.
    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setWindowTitle(QStringLiteral("Debug Information"));
    Memo1->setParent(this, Qt::Tool);
    Memo1->hide();

    Timer_Data = new QTimer(this);
    Timer_Data->setInterval(kDataTimerMs);
    connect(Timer_Data, &QTimer::timeout, this, &TDASDesktopForm::Timer_DataTimer);
    Timer_Stat = new QTimer(this);
    Timer_Stat->setInterval(kDefaultStatusIntervalMs);
    connect(Timer_Stat, &QTimer::timeout, this, &TDASDesktopForm::Timer_StatTimer);

    BuildActions();
    BuildActionMenus();
    BuildToolBar();
    BuildPopupMenu();
    InstallKeyPreview();
    BuildStatusBar();
    resize(640, 400);
}

// --- Showing ---

void TDASDesktopForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    FormShow();
}

void TDASDesktopForm::FormShow()
{
    if (windowMenu_ == nullptr) {
        windowMenu_ = new TWindowsMenuItem(this, menuBar());
    }
    if (WindowsList != nullptr) {
        WindowsList->UpdateMenus();
    }
    // The rest runs once, and from the event loop, so that a failed load can end the program.
    if (!firstShowQueued_ && !shutDown_) {
        firstShowQueued_ = true;
        QTimer::singleShot(0, this, &TDASDesktopForm::FirstShow);
    }
}

void TDASDesktopForm::FirstShow()
{
    if (shutDown_ || closing_) {
        return;
    }
    // The key also holds "INIFile": only a stored size counts as a placement.
    bool placed = false;
    {
        TRegDef reg;
        placed = reg.OpenKey(VersionedKeyPath(RegistryReadVersion(), kDesktopKeyName), false) &&
                 reg.ValueExists(QStringLiteral("Width"));
    }
    RestoreWindowPlacement(this, kDesktopKeyName, false, true);
    if (DASExplorerForm != nullptr) {
        RestoreWindowPlacement(DASExplorerForm->Form(), QStringLiteral("DasExplorer"), true,
                               true);
    }
    if (DeviceSetupForm != nullptr) {
        RestoreWindowPlacement(DeviceSetupForm, QStringLiteral("DeviceSetup"), false, false);
    }
    if (ScriptWizardForm != nullptr) {
        RestoreWindowPlacement(ScriptWizardForm->Window(), QStringLiteral("ScriptWizard"), false,
                               false);
    }
    if (StatisticsForm != nullptr) {
        RestoreWindowPlacement(StatisticsForm, QStringLiteral("StatWindow"), true, false);
    }

    Host.SetDasPort(kDefaultDasPort);
    Host.SetDasBaud(kDefaultDasBaud);
    SetSeqNum(0);
    SetStatusInterval(kDefaultStatusIntervalMs);
    Host.SetProtocol(1);

    // The devices' default picture is written out when missing, before any device reads it.
    InstallDefaultDevicePicture();
    Devices = new TDevices(deviceModel_, this);
    InstallDataPolling(*Devices);
    CreateChannels();
    ScriptEditForms = MakeScriptEditForms(this);

    configLoaded_ = config_.LoadConfiguration();
    firstShowDone_ = true;
    if (!configLoaded_) {
        ShowMessage(kConfigRequiredText);
        Terminate();
        return;
    }
    Host.SetRecording(false);
    SetPlayingBack(false);
    Host.UpdateActions();
    UpdateActions();
    AutoSizeColumns();
    // A first start opens the window at the screen's top left at a size that shows the whole
    // report and toolbar, and the device windows beside it rather than over it.
    if (!placed) {
        resize(DefaultSize());
        if (const QScreen* shown = screen()) {
            MoveWindowFrame(this, shown->availableGeometry().topLeft());
        }
    }
    PlaceUnplacedDeviceWindows(kFrameWaitSteps);
    Timer_Data->start();
    Timer_Stat->start();
    Host.Connect();
}

void TDASDesktopForm::CreateChannels()
{
    MuxArray = new TMuxArray(255);
    MuxArray->SetFixedChannelReaders(this);
    MuxArray->SetTerminalFactory(&terminalFactory_);
    MuxArray->SetPortTableLookup(this);
    // Captures go to the operator's capture folder; transfers show their progress window.
    MuxArray->SetChannelServices(this);
    for (const TFixedChannel& fixed : kFixedChannels) {
        const QString name = QString::fromLatin1(fixed.name);
        ITerminalView* window = fixed.window ? new TTerminalForm(name, true) : nullptr;
        if (TMux* mux = MuxArray->AddChannel(fixed.channel, window)) {
            mux->SetName(name);
        }
    }
}

QSize TDASDesktopForm::DefaultSize() const
{
    int columns = 0;
    for (int column = 0; column < kDeviceColumnCount; ++column) {
        columns += DeviceView->columnWidth(column);
    }
    // What the window takes around the report's rows and around the toolbar's buttons, with
    // room for the report's vertical scroll bar.
    const int aroundRows = width() - DeviceView->viewport()->width() +
                           DeviceView->verticalScrollBar()->sizeHint().width();
    const int aroundTools = width() - ToolBar_Desktop->width();
    int w = std::max({width(), columns + aroundRows,
                      ToolBar_Desktop->sizeHint().width() + aroundTools});
    if (const QScreen* shown = screen()) {
        const int frame = frameGeometry().width() - width();
        w = std::min(w, shown->availableGeometry().width() - frame);
    }
    return QSize(w, height());
}

void TDASDesktopForm::PlaceUnplacedDeviceWindows(int stepsLeft)
{
    if (shutDown_ || closing_ || Devices == nullptr) {
        return;
    }
    // The main window's frame, and so the room beside it, is known only once the window
    // manager has framed it; a platform without frames is waited for a moment only.
    if (frameGeometry() == geometry() && stepsLeft > 0) {
        QTimer::singleShot(kFrameWaitStepMs, this,
                           [this, stepsLeft] { PlaceUnplacedDeviceWindows(stepsLeft - 1); });
        return;
    }
    int unplaced = 0;
    for (int i = 0; i < Devices->Count(); ++i) {
        if (!Devices->Items(i)->HasStoredPlacement()) {
            PlaceDeviceWindow(*Devices->Items(i), unplaced++);
        }
    }
}

void TDASDesktopForm::PlaceDeviceWindow(TDevice& device, int index)
{
    auto* window = device.GetMux() != nullptr
                       ? dynamic_cast<TTerminalForm*>(device.GetMux()->GetWindow())
                       : nullptr;
    const QScreen* shown = screen();
    if (window == nullptr || shown == nullptr) {
        return;
    }
    // The device windows get the same frame as the main window.
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    const QRect place =
        BesideMainWindow(outer, shown->availableGeometry(), window->size(), index, frame);
    window->SetWindowGeometry(place);
}

QRect BesideMainWindow(const QRect& main, const QRect& screen, const QSize& size, int index,
                       const QMargins& frame)
{
    // Right of the main window when there is room, else below it, else anywhere on screen.
    QRect area(QPoint(main.right() + 1 + kWindowGapPx, screen.top()), screen.bottomRight());
    area.setTop(std::max(main.top(), screen.top()));
    if (area.width() < kBesideMinWidthPx || area.height() < kBesideMinHeightPx) {
        area = QRect(QPoint(std::max(main.left(), screen.left()), main.bottom() + 1 + kWindowGapPx),
                     screen.bottomRight());
    }
    if (area.width() < kBesideMinWidthPx || area.height() < kBesideMinHeightPx) {
        area = screen;
    }
    // The framed window, cut to the area less a few cascade steps, so that windows as large as
    // the room still step apart.
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();
    const int depth = kWindowCascadePx * (kMinCascadeSteps - 1);
    const int w =
        std::min(size.width() + frameWidth, std::max(area.width() - depth, area.width() / 2));
    const int h =
        std::min(size.height() + frameHeight, std::max(area.height() - depth, area.height() / 2));
    // Cascaded within the area, starting over at its corner when a window would leave it.
    const int steps =
        std::max(1, std::min((area.width() - w) / kWindowCascadePx,
                             (area.height() - h) / kWindowCascadePx) + 1);
    const int step = kWindowCascadePx * (index % steps);
    return QRect(area.left() + step, area.top() + step, std::max(1, w - frameWidth),
                 std::max(1, h - frameHeight));
}

// --- Closing ---

void TDASDesktopForm::ExitWendrokExecute() { close(); }

void TDASDesktopForm::closeEvent(QCloseEvent* event)
{
    if (shutDown_ || closing_) {
        event->accept();
        return;
    }
    if (ScriptEditForms != nullptr && !ScriptEditForms->CanCloseAll()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
    // Tool windows left open do not keep the program running.
    Terminate();
}

void TDASDesktopForm::FormClose()
{
    if (closing_ || shutDown_) {
        return;
    }
    Shutdown(configLoaded_);
}

void TDASDesktopForm::Shutdown(bool save)
{
    closing_ = true;
    Timer_Data->stop();
    Timer_Stat->stop();
    if (StatisticsForm != nullptr) {
        StatisticsForm->Timer_StatWindow->stop();
        // An open statistics window opens again at the next start.
        if (StatisticsForm->isVisible()) {
            StatisticsForm->SavePlacement();
        }
    }
    // So does an open explorer.
    if (DASExplorerForm != nullptr && DASExplorerForm->Form()->isVisible()) {
        SaveWindowPlacement(DASExplorerForm->Form(), QStringLiteral("DasExplorer"), true);
    }
    // The link thread ends and is joined before the port closes and before anything it uses
    // goes; what it posted meanwhile runs in the wait.
    Host.StopThread();
    WaitMs(kShutdownSettleMs);
    if (DasPortOpen()) {
        CloseDasPort();
    }
    // A configuration that never loaded is neither saved nor remembered.
    if (save) {
        config_.SaveOnShutdown();
        if (config_.ConfigFileExists()) {
            SaveSettingsKey();
        }
    }
    DeleteSingletons();
    shutDown_ = true;
    closing_ = false;
}

void TDASDesktopForm::SaveSettingsKey()
{
    TRegistry reg;
    if (reg.OpenKey(VersionedKeyPath(Host.WriteVersion(), kDesktopKeyName), true)) {
        reg.WriteString(kIniFileValue, StoredPath(MakeDataRelativePath(config_.ConfigFileName)));
        reg.CloseKey();
    }
    SaveWindowPlacement(this, kDesktopKeyName);
}

void TDASDesktopForm::DeleteSingletons()
{
    if (Devices != nullptr) {
        Devices->Clear();
    }
    DeleteGlobal(Devices);
    DeleteGlobal(PortArray);
    DeleteGlobal(MuxArray);
    if (ScriptEditForms != nullptr) {
        ScriptEditForms->CloseAll();
    }
    DeleteGlobal(ScriptEditForms);
    // Host lives as long as the program; its thread was joined above.
    DeleteGlobal(SendQueue);
    DeleteGlobal(TimedQueue);
    DeleteGlobal(Das);
}

// --- ILinkUi ---

void TDASDesktopForm::SetDeviceListGrey(bool grey)
{
    grey_ = grey;
    const QColor lost(static_cast<int>((kLinkLostRgb >> 16) & 0xFF),
                      static_cast<int>((kLinkLostRgb >> 8) & 0xFF),
                      static_cast<int>(kLinkLostRgb & 0xFF));
    SetDeviceListColor(grey ? lost : QApplication::palette().color(QPalette::Base));
}

void TDASDesktopForm::SetArchiveActions(bool recordPlay, bool rewind, bool fast, bool pauseStop)
{
    Action(QStringLiteral("RecordDASArchive"))->setVisible(recordPlay);
    Action(QStringLiteral("PlayDASArchive"))->setVisible(recordPlay);
    Action(QStringLiteral("RewindDASArchive"))->setVisible(rewind);
    Action(QStringLiteral("FastDASArchive"))->setVisible(fast);
    Action(QStringLiteral("PauseDASArchive"))->setVisible(pauseStop);
    Action(QStringLiteral("StopDASArchive"))->setVisible(pauseStop);
}

void TDASDesktopForm::AppendDebugMemo(const QString& line) { Memo1->appendPlainText(line); }

void TDASDesktopForm::KeepDebugMemoTail(int chars)
{
    QTextDocument* text = Memo1->document();
    // The document counts a final paragraph mark that the memo's text does not hold.
    const int excess = text->characterCount() - 1 - chars;
    if (excess <= 0) {
        return;
    }
    QTextCursor cursor(text);
    cursor.setPosition(excess, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

bool TDASDesktopForm::ExplorerVisible() const
{
    return DASExplorerForm != nullptr && DASExplorerForm->Form()->isVisible();
}

void TDASDesktopForm::RefreshDeviceRow(IChannelDevice& device)
{
    device.RefreshListRow();
    // An echo port opened, closed, or closed by itself on a failure changes what the echo
    // actions may do.
    UpdateActions();
}

void TDASDesktopForm::RefreshExplorer()
{
    if (DASExplorerForm != nullptr) {
        DASExplorerForm->RefreshExecute();
    }
}

void TDASDesktopForm::ReceiveListingData(const char* bytes, int count)
{
    if (DASExplorerForm != nullptr) {
        DASExplorerForm->ReceiveListingData(bytes, count);
    }
}

void TDASDesktopForm::ReceiveControlText(const char* bytes, int count)
{
    Host.ReceiveControlText(bytes, count);
}

bool TDASDesktopForm::ArchivePlaying() const { return PlayingBack(); }

bool TDASDesktopForm::ExecuteDeviceSetup(TDevice& device)
{
    return ExecuteDeviceSetupPage(device, kSetupPagePort);
}

bool TDASDesktopForm::HasPortNamed(const QString& name) const
{
    return PortArray != nullptr && PortArray->FindPort(name) != nullptr;
}

// --- IStationConfigHost ---

TConfigSettings TDASDesktopForm::CurrentSettings() const
{
    TConfigSettings s;
    s.useProtocol = Host.GetProtocol();
    s.viewStyle = viewStyle_;
    s.commPort = Host.DasPort();
    s.baudRate = static_cast<int>(Host.DasBaud());
    s.sortColumn = sortColumn_;
    s.seqNum = seqNum_;
    s.statusInterval = GetStatusInterval();
    s.requestStatus = RequestStatus();
    s.statisticsInterval = statisticsInterval_;
    s.preXmitPause = preXmitPause_;
    s.postXmitPause = postXmitPause_;
    if (StatisticsForm != nullptr) {
        s.statisticsInterval = StatisticsForm->GetUpdateInterval();
        s.preXmitPause = StatisticsForm->GetPreXmitPause();
        s.postXmitPause = StatisticsForm->GetPostXmitPause();
    }
    s.explorerViewStyle =
        DASExplorerForm != nullptr ? DASExplorerForm->ViewStyle() : explorerViewStyle_;
    s.maxPartition = DASExplorerForm != nullptr ? DASExplorerForm->HighestDrive() : maxPartition_;
    return s;
}

void TDASDesktopForm::ApplySettings(const TConfigSettings& s)
{
    Host.SetProtocol(s.useProtocol);
    SetViewStyle(s.viewStyle);
    Host.SetDasPort(static_cast<uint16_t>(s.commPort));
    Host.SetDasBaud(static_cast<uint32_t>(s.baudRate));
    sortColumn_ = s.sortColumn;
    SetSeqNum(s.seqNum);
    SetStatusInterval(s.statusInterval);
    Desktop_RequestStatusPackets->setChecked(s.requestStatus);
    ParseStatusLine(std::nullopt);
    statisticsInterval_ = s.statisticsInterval;
    preXmitPause_ = s.preXmitPause;
    postXmitPause_ = s.postXmitPause;
    if (StatisticsForm != nullptr) {
        StatisticsForm->SetUpdateInterval(s.statisticsInterval);
        StatisticsForm->SetPreXmitPause(s.preXmitPause);
        StatisticsForm->SetPostXmitPause(s.postXmitPause);
    } else {
        SetPreXmitPause(static_cast<int64_t>(s.preXmitPause) * kTicksPerMicrosecond);
        SetPostXmitPause(static_cast<int64_t>(s.postXmitPause) * kTicksPerMicrosecond);
    }
    explorerViewStyle_ = s.explorerViewStyle;
    maxPartition_ = s.maxPartition;
    if (DASExplorerForm != nullptr) {
        DASExplorerForm->SetViewStyle(s.explorerViewStyle);
        DASExplorerForm->SetHighestDrive(s.maxPartition);
    }
}

void TDASDesktopForm::ConfigurationLoaded()
{
    SortDevices(sortColumn_);
    AutoSizeColumns();
    UpdateActions();
    Timer_StatTimer();
}

bool TDASDesktopForm::PauseLink()
{
    if (!Host.Thread().Running()) {
        return false;
    }
    // A thread slow to confirm has had its pause taken back and runs on; ResumeLink follows
    // all the same and changes nothing then.
    Host.Pause();
    return true;
}

void TDASDesktopForm::ResumeLink() { Host.Unpause(); }
