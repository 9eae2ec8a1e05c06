#include "desktop/Terminal.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QFormLayout>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
#include <utility>

#include "desktop/Forms.h"
#include "desktop/TerminalScrollBar.h"
#include "desktop/WinMenuItem.h"
#include "link/MuxClasses.h"
#include "platform/Prompt.h"
#include "platform/WindowPlacement.h"
#include "station/DeviceClasses.h"
#include "station/DeviceSequences.h"

namespace {

// Side of the drawn echo state pictures, in pixels.
constexpr int kEchoIconPixels = 16;

// 0x00BBGGRR as the device settings store a colour.
QColor ColorFromStored(int stored)
{
    const auto v = static_cast<uint32_t>(stored);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF));
}

// A small square of a stored colour, for the font dialog's colour list.
QIcon ColorSwatch(int stored)
{
    constexpr int kSwatchPixels = 16;
    QPixmap swatch(kSwatchPixels, kSwatchPixels);
    swatch.fill(ColorFromStored(stored));
    return QIcon(swatch);
}

// The colours the font dialog offers, stored as 0x00BBGGRR.
constexpr std::pair<const char*, int> kFontColors[] = {
    {"Black", 0x000000},   {"Maroon", 0x000080}, {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000},    {"Purple", 0x800080}, {"Teal", 0x808000},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0},  {"Red", 0x0000FF},    {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},    {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00}, {"White", 0xFFFFFF},
};

}  // namespace

TTerminalForm::TTerminalForm()
{
    setWindowTitle(QStringLiteral("Terminal"));
    BuildPanes();
    BuildActions();
    BuildMenus();
    QFont font(QStringLiteral("Courier New"), kTerminalFontPoints);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    ApplyPaneFont(font);
}

TTerminalForm::TTerminalForm(const QString& caption, bool rememberPosition) : TTerminalForm()
{
    rememberPosition_ = rememberPosition;
    setWindowTitle(caption);
    hexWrap_ = kPlainHexWrap;
    memoText_->clear();
    memoHex_->clear();
    SetViewSplit(0.0);
    lastTextByte_ = 0;
    UpdateDeviceActions();
    resize(kChannelWindowWidthPx, kChannelWindowHeightPx);
    RestoreWindowPlacement(this, caption, true, true);
}

TTerminalForm::TTerminalForm(TMux& channel, IChannelDevice& device) : TTerminalForm()
{
    device_ = &device;
    if (auto* stationDevice = dynamic_cast<TDevice*>(&device)) {
        stationDevice->RestoreWindow(*this);
    }
    SetHostChannel(&channel);
    rememberPosition_ = false;
    hexLineCount_ = 0;
    memoText_->clear();
    memoHex_->clear();
    SetViewSplit(viewSplit_);
}

TTerminalForm::~TTerminalForm() = default;

void TTerminalForm::BuildPanes()
{
    splitter1_ = new QSplitter(Qt::Horizontal, this);
    splitter1_->setObjectName(QStringLiteral("Splitter1"));
    splitter1_->setChildrenCollapsible(false);
    memoHex_ = new QPlainTextEdit(splitter1_);
    memoHex_->setObjectName(QStringLiteral("Memo_Hex"));
    memoText_ = new QPlainTextEdit(splitter1_);
    memoText_->setObjectName(QStringLiteral("Memo_Text"));
    for (QPlainTextEdit* pane : {memoHex_, memoText_}) {
        pane->setLineWrapMode(QPlainTextEdit::NoWrap);
        TPaneScrollBar::Install(pane);
        // Nothing reaches a pane but received data and the edit actions: no undo history to
        // grow, no drops, no input method text, no local echo of any kind.
        pane->setUndoRedoEnabled(false);
        pane->setAcceptDrops(false);
        pane->setAttribute(Qt::WA_InputMethodEnabled, false);
        pane->setContextMenuPolicy(Qt::CustomContextMenu);
        pane->installEventFilter(this);
        pane->viewport()->installEventFilter(this);
        connect(pane, &QWidget::customContextMenuRequested, this,
                [this, pane](const QPoint& pos) { ShowPopup(pane, pos); });
    }
    splitter1_->setStretchFactor(0, 0);
    splitter1_->setStretchFactor(1, 1);
    splitter1_->installEventFilter(this);
    connect(splitter1_, &QSplitter::splitterMoved, this, [this] { SplitterMoved(); });
    setCentralWidget(splitter1_);
    activeMemo_ = memoText_;

    refreshTimer_ = new QTimer(this);
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(kTerminalRefreshMs);
    connect(refreshTimer_, &QTimer::timeout, this, [this] { RefreshTimeout(); });
}

QAction* TTerminalForm::MakeAction(const char* name, const QString& caption, const QString& hint,
                                   const QKeySequence& shortcut)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty()) {
        action->setStatusTip(hint);
        action->setToolTip(hint);
    }
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
    }
    return action;
}

void TTerminalForm::BuildActions()
{
    const QKeySequence none;
    closeTerminal_ = MakeAction("CloseTerminal", QStringLiteral("Close"),
                                QStringLiteral("Close the Terminal Window"), none);
    connect(closeTerminal_, &QAction::triggered, this, [this] { close(); });
    BuildEditActions();
    BuildViewActions();
    BuildDeviceActions();
}

void TTerminalForm::BuildEditActions()
{
    editCut1_ = MakeAction("EditCut1", QStringLiteral("Cu&t"), QStringLiteral("Cut"),
                           QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    connect(editCut1_, &QAction::triggered, this, [this] { ActiveMemo()->cut(); });
    editCopy1_ = MakeAction("EditCopy1", QStringLiteral("&Copy"), QStringLiteral("Copy"),
                            QKeySequence(Qt::CTRL | Qt::Key_Insert));
    connect(editCopy1_, &QAction::triggered, this, [this] { ActiveMemo()->copy(); });
    editPaste_ = MakeAction("EditPaste", QStringLiteral("&Paste"), QStringLiteral("Paste"),
                            QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    connect(editPaste_, &QAction::triggered, this, [this] { EditPasteExecute(); });
    editDelete1_ = MakeAction("EditDelete1", QStringLiteral("&Delete"), QString(),
                              QKeySequence(Qt::CTRL | Qt::Key_Delete));
    connect(editDelete1_, &QAction::triggered, this,
            [this] { ActiveMemo()->textCursor().removeSelectedText(); });
    editSelectAll1_ = MakeAction("EditSelectAll1", QStringLiteral("Select &All"), QString(),
                                 QKeySequence(Qt::CTRL | Qt::Key_Home));
    connect(editSelectAll1_, &QAction::triggered, this, [this] { ActiveMemo()->selectAll(); });
}

void TTerminalForm::BuildViewActions()
{
    const QKeySequence none;
    viewHex_ = MakeAction("ViewHex", QStringLiteral("View &Hex"), QString(), none);
    viewBoth_ = MakeAction("ViewBoth", QStringLiteral("View Hex &and Text"), QString(),
                           QKeySequence(Qt::CTRL | Qt::Key_P));
    viewText_ = MakeAction("ViewText", QStringLiteral("View &Text"), QString(), none);
    for (QAction* view : {viewHex_, viewBoth_, viewText_}) {
        view->setCheckable(true);
    }
    connect(viewHex_, &QAction::triggered, this, [this] { SetViewSplit(1.0); });
    connect(viewBoth_, &QAction::triggered, this, [this] { SetViewSplit(0.5); });
    connect(viewText_, &QAction::triggered, this, [this] { SetViewSplit(0.0); });
    changeFont_ = MakeAction("ChangeFont", QStringLiteral("Change &Font..."), QString(), none);
    connect(changeFont_, &QAction::triggered, this, [this] { ChangeFontExecute(); });
    changeHexWrap_ =
        MakeAction("ChangeHexWrap", QStringLiteral("Change Hex &Wrap..."), QString(), none);
    connect(changeHexWrap_, &QAction::triggered, this, [this] { ChangeHexWrapExecute(); });
}

void TTerminalForm::BuildDeviceActions()
{
    const QKeySequence none;
    termOpenSerialPort_ =
        MakeAction("TermOpenSerialPort", QStringLiteral("Open Serial &Port"), QString(), none);
    connect(termOpenSerialPort_, &QAction::triggered, this, [this] {
        if (channel_ != nullptr && device_ != nullptr) {
            channel_->ToggleEcho();
        }
    });
    termStartAll_ = MakeAction("TermStartAll", QStringLiteral("Start and Collect Data"),
                               QStringLiteral("Start Device and Collect Data"), none);
    termStopAll_ = MakeAction("TermStopAll", QStringLiteral("Stop Data and Shut Down"),
                              QStringLiteral("Stop Data Collection and Shut Down"), none);
    termDeviceOn_ = MakeAction("TermDeviceOn", QStringLiteral("Device O&n"),
                               QStringLiteral("Turn Device On"), none);
    termDeviceOff_ = MakeAction("TermDeviceOff", QStringLiteral("Device O&ff"),
                                QStringLiteral("Turn Device Off"), none);
    termStartData_ = MakeAction("TermStartData", QStringLiteral("Star&t Data"),
                                QStringLiteral("Start Data"), none);
    termStopData_ =
        MakeAction("TermStopData", QStringLiteral("Sto&p Data"), QStringLiteral("Stop Data"), none);
    termStartCapture_ =
        MakeAction("TermStartCapture", QStringLiteral("Start Capture"), QString(), none);
    termStopCapture_ =
        MakeAction("TermStopCapture", QStringLiteral("Stop Capture"), QString(), none);
    termDeviceSetup_ = MakeAction("TermDeviceSetup", QStringLiteral("Device &Setup..."),
                                  QStringLiteral("Setup the Device"), none);
    termSetupCapture_ =
        MakeAction("TermSetupCapture", QStringLiteral("Set&up Capture..."), QString(), none);
    connect(termSetupCapture_, &QAction::triggered, this, [this] {
        if (channel_ != nullptr) {
            channel_->SetupCapture();
        }
    });

    // The device's own runs: these need the channel as well as the device.
    OnDevice(termStartAll_, true, [](TDevice& d) { Devices->StartData(&d); });
    OnDevice(termStopAll_, true, [](TDevice& d) { Devices->StopData(&d); });
    OnDevice(termDeviceOn_, true, [](TDevice& d) { SendPowerOnSequence(d, true, true, true, 0); });
    OnDevice(termDeviceOff_, true, [](TDevice& d) { SendPowerOffSequence(d, true, true, true); });
    OnDevice(termStartData_, true, [](TDevice& d) { SendDataStart(d); });
    OnDevice(termStopData_, true, [](TDevice& d) { SendDataStop(d); });
    OnDevice(termStartCapture_, false, [](TDevice& d) { Devices->StartCapture(&d); });
    OnDevice(termStopCapture_, false, [](TDevice& d) { Devices->StopCapture(&d); });
    OnDevice(termDeviceSetup_, false, [](TDevice& d) {
        if (ScriptWizardForm != nullptr) {
            ScriptWizardForm->Window()->close();
        }
        Devices->ExecuteDeviceSetup(&d);
    });
}

void TTerminalForm::OnDevice(QAction* action, bool needsChannel,
                             const std::function<void(TDevice&)>& run)
{
    connect(action, &QAction::triggered, this, [this, needsChannel, run] {
        auto* device = dynamic_cast<TDevice*>(device_);
        if (device != nullptr && Devices != nullptr && (channel_ != nullptr || !needsChannel)) {
            run(*device);
        }
    });
}

void TTerminalForm::BuildMenus()
{
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("File"));
    file->addAction(closeTerminal_);

    QMenu* edit = bar->addMenu(QStringLiteral("Edit"));
    popupMenu1_ = new QMenu(this);
    popupMenu1_->setObjectName(QStringLiteral("PopupMenu1"));
    for (QMenu* menu : {edit, popupMenu1_}) {
        menu->addAction(editCut1_);
        menu->addAction(editCopy1_);
        menu->addAction(editPaste_);
        menu->addAction(editDelete1_);
        menu->addSeparator();
        menu->addAction(editSelectAll1_);
    }

    QMenu* view = bar->addMenu(QStringLiteral("View"));
    view->addActions({viewHex_, viewBoth_, viewText_, changeFont_, changeHexWrap_});

    mnuDevice_ = bar->addMenu(QStringLiteral("Device"));
    mnuDevice_->setObjectName(QStringLiteral("MnuDevice"));
    mnuDevice_->addActions({termStartAll_, termStopAll_});
    mnuDevice_->addSeparator();
    mnuDevice_->addAction(termOpenSerialPort_);
    mnuDevice_->addSeparator();
    mnuDevice_->addActions({termDeviceOn_, termDeviceOff_, termStartData_, termStopData_,
                            termStartCapture_, termStopCapture_});
    mnuDevice_->addSeparator();
    mnuDevice_->addActions({termDeviceSetup_, termSetupCapture_});

    mnuDebug_ = bar->addMenu(QStringLiteral("Debug"));
    mnuDebug_->menuAction()->setVisible(false);
}

void TTerminalForm::SetHostChannel(TMux* channel)
{
    channel_ = channel;
    channelNumber_ = channel != nullptr ? channel->GetChannelNumber() : -1;
    UpdateDeviceActions();
}

void TTerminalForm::UpdateDeviceActions()
{
    const bool deviceWindow = channel_ != nullptr && device_ != nullptr;
    for (QAction* action :
         {termDeviceOn_, termDeviceOff_, termStartData_, termStopData_, termDeviceSetup_}) {
        action->setVisible(deviceWindow);
    }
    termOpenSerialPort_->setVisible(deviceWindow);
    termSetupCapture_->setVisible(!deviceWindow);
    // The device's runs stay in the menu of a channel window, greyed, since there they have
    // no device to run on.
    termStartAll_->setEnabled(deviceWindow);
    termStopAll_->setEnabled(deviceWindow);
    termStartCapture_->setEnabled(device_ != nullptr);
    termStopCapture_->setEnabled(device_ != nullptr);
    mnuDevice_->setTitle(deviceWindow ? QStringLiteral("Device") : QStringLiteral("Setup"));
    if (deviceWindow) {
        termOpenSerialPort_->setEnabled(device_->EchoSettings().port > 0);
    }
}

QIcon EchoPortIcon(bool open)
{
    // Made once, so every action shows the same picture.
    static const std::array<QIcon, 2> icons = [] {
        std::array<QIcon, 2> made;
        for (const bool on : {false, true}) {
            const QString theme =
                on ? QStringLiteral("network-transmit-receive") : QStringLiteral("network-offline");
            if (QIcon::hasThemeIcon(theme)) {
                made[on ? 1 : 0] = QIcon::fromTheme(theme);
                continue;
            }
            QPixmap pixmap(kEchoIconPixels, kEchoIconPixels);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(QColor(on ? 0x1B5E20 : 0x616161), 1.5));
            painter.setBrush(on ? QColor(0x43A047) : QColor(0xBDBDBD));
            painter.drawEllipse(QRectF(2.5, 2.5, kEchoIconPixels - 5, kEchoIconPixels - 5));
            painter.end();
            made[on ? 1 : 0] = QIcon(pixmap);
        }
        return made;
    }();
    return icons[open ? 1 : 0];
}

void TTerminalForm::SetEchoPortOpen(bool open)
{
    echoShownOpen_ = open;
    termOpenSerialPort_->setText(open ? QStringLiteral("Close Serial &Echo")
                                      : QStringLiteral("Open Serial &Echo"));
    // The picture shows what the action does, as the main window's echo actions do.
    termOpenSerialPort_->setIcon(EchoPortIcon(!open));
}

void TTerminalForm::ChannelStateChanged()
{
    // Only a change of the echo port shows: the caption keeps its first text until then.
    if (channel_ != nullptr && channel_->IsEchoOpen() != echoShownOpen_) {
        SetEchoPortOpen(channel_->IsEchoOpen());
    }
}

void TTerminalForm::SetCaption(const QString& caption) { setWindowTitle(caption); }

void TTerminalForm::ShowNormal()
{
    showNormal();
    raise();
    activateWindow();
}

void TTerminalForm::DestroyView()
{
    channel_ = nullptr;
    device_ = nullptr;
    channelNumber_ = -1;
    hide();
    deleteLater();
}

void TTerminalForm::ClearReceived()
{
    memoText_->clear();
    pendingText_ = TPending();
    lastTextByte_ = 0;
}

QRect TTerminalForm::WindowGeometry() const { return QRect(frameGeometry().topLeft(), size()); }

void TTerminalForm::SetWindowGeometry(const QRect& geometry)
{
    resize(geometry.size());
    MoveWindowFrame(this, geometry.topLeft());
}

int TTerminalForm::GetWindowState() const
{
    if (isMinimized()) {
        return 1;
    }
    return isMaximized() ? 2 : 0;
}

void TTerminalForm::SetWindowState(int state)
{
    Qt::WindowStates states = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state == 1) {
        states |= Qt::WindowMinimized;
    } else if (state == 2) {
        states |= Qt::WindowMaximized;
    }
    setWindowState(states);
}

bool TTerminalForm::IsWindowVisible() const { return isVisible(); }

void TTerminalForm::SetWindowVisible(bool visible) { setVisible(visible); }

TTerminalFont TTerminalForm::GetFont() const
{
    const QFont font = memoText_->font();
    TTerminalFont stored;
    stored.charset = fontCharset_;
    stored.color = fontColor_;
    stored.name = font.family();
    stored.size = font.pointSize() > 0 ? font.pointSize() : QFontInfo(font).pointSize();
    stored.bold = font.bold();
    stored.italic = font.italic();
    stored.underline = font.underline();
    stored.strikeOut = font.strikeOut();
    return stored;
}

void TTerminalForm::SetFont(const TTerminalFont& stored)
{
    QFont font = memoText_->font();
    if (!stored.name.isEmpty()) {
        font.setFamily(stored.name);
    }
    if (stored.size > 0) {
        font.setPointSize(stored.size);
    }
    font.setStyleHint(QFont::Monospace);
    font.setBold(stored.bold);
    font.setItalic(stored.italic);
    font.setUnderline(stored.underline);
    font.setStrikeOut(stored.strikeOut);
    fontCharset_ = stored.charset;
    fontColor_ = stored.color;
    ApplyPaneFont(font);
}

void TTerminalForm::ApplyPaneFont(const QFont& font)
{
    for (QPlainTextEdit* pane : {memoText_, memoHex_}) {
        pane->setFont(font);
        QPalette palette = pane->palette();
        // A negative colour names a system colour: the panes then keep the style's text colour.
        palette.setColor(QPalette::Text, fontColor_ < 0
                                             ? QApplication::palette(pane).color(QPalette::Text)
                                             : ColorFromStored(fontColor_));
        pane->setPalette(palette);
    }
}

bool TTerminalForm::ChooseFont(QFont& font, int& color)
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Font"));
    // The dialog lists installed families only: it starts on the family that stands in for a
    // stored one that is not installed, so OK without a choice keeps the pane's look.
    QFont initial = font;
    initial.setFamily(QFontInfo(font).family());
    auto* fonts = new QFontDialog(initial, &dialog);
    fonts->setWindowFlags(Qt::Widget);
    fonts->setOptions(QFontDialog::MonospacedFonts | QFontDialog::NoButtons);
    auto* colors = new QComboBox(&dialog);
    colors->addItem(QStringLiteral("Default"), kWindowTextColor);
    for (const auto& [name, stored] : kFontColors) {
        colors->addItem(ColorSwatch(stored), QString::fromLatin1(name), stored);
    }
    int index = colors->findData(color < 0 ? kWindowTextColor : color);
    if (index < 0) {
        // A colour set elsewhere stays selectable as it is.
        colors->addItem(ColorSwatch(color), QStringLiteral("Custom"), color);
        index = colors->count() - 1;
    }
    colors->setCurrentIndex(index);
    auto* colorRow = new QFormLayout;
    colorRow->addRow(QStringLiteral("&Color:"), colors);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(fonts);
    layout->addLayout(colorRow);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    font = fonts->currentFont();
    color = colors->currentData().toInt();
    return true;
}

void TTerminalForm::ChangeFontExecute()
{
    QFont font = memoText_->font();
    int color = fontColor_;
    if (ChooseFont(font, color)) {
        fontColor_ = color;
        ApplyPaneFont(font);
    }
}

void TTerminalForm::ChangeHexWrapExecute()
{
    QString answer = QString::number(hexWrap_);
    if (!Prompt().InputQuery(QStringLiteral("Set Hex Wrap"),
                             QStringLiteral("Select the number of bytes to show per line (0=Off)."),
                             answer)) {
        return;
    }
    bool ok = false;
    const int wrap = answer.trimmed().toInt(&ok);
    if (ok) {
        hexWrap_ = wrap;
    }
    QString pattern = GetHexWrapString();
    if (Prompt().InputQuery(QStringLiteral("Set Hex Wrap String"),
                            QStringLiteral("Lines will wrap after the specified Hex bytes"),
                            pattern)) {
        SetHexWrapString(pattern);
    }
}

void TTerminalForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Goes in before the hidden "Debug" entry.
    AddWindowsMenuOnFirstShow(windowMenu_, this, menuBar());
    ApplyViewSplit();
    RefreshPanes();
}

void TTerminalForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Brought back from the task bar: what came meanwhile shows at once.
    if (event->type() == QEvent::WindowStateChange && Shown()) {
        RefreshPanes();
    }
}

void TTerminalForm::closeEvent(QCloseEvent* event)
{
    // Saved as closed: a window the operator closed stays closed at the next start.
    if (rememberPosition_) {
        SaveWindowPlacement(this, windowTitle(), false);
    }
    // Closing only hides the window; its channel keeps it.
    QMainWindow::closeEvent(event);
}

void TTerminalForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // A pane dragged nearly shut closes here, as the stored split reopens it at the next
    // start, and the View menu's check follows.
    SetViewSplit(viewSplit_);
}

ITerminalView* TTerminalFactory::CreateDeviceWindow(TMux& channel, IChannelDevice& device)
{
    return new TTerminalForm(channel, device);
}
