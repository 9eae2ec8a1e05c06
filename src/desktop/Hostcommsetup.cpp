#include "desktop/Hostcommsetup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QVBoxLayout>

#include "link/Das.h"
#include "link/Host.h"
#include "link/MuxClasses.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/Prompt.h"
#include "platform/WaitMs.h"
#include "platform/WindowPlacement.h"
#include "station/DeviceClasses.h"
#include "station/PortClasses.h"

namespace {

constexpr int kSetupWidth = 612;
constexpr int kGroupHeight = 101;
constexpr int kGroupMargin = 6;
// The panel above the group box with one row, as designed.
constexpr int kDesignedPanelHeight = 36;
constexpr int kLabelLeft = 8;
constexpr int kPortLabelPoints = 8;
constexpr int kRowGap = 12;
// The switch waits: the DAS's turn to take the new settings, and the longest the change command
// may wait in the queue before the PC switches anyway.
constexpr int kSwitchWaitMs = 250;
constexpr int kCommandQueueWaitMs = 2000;
constexpr int kCommandQueueStepMs = 10;
// Ports 1 and 2 are often the PC's own UARTs, which may not reach this speed.
constexpr uint32_t kFastBaud = 230400;
constexpr int kOnboardPorts = 2;

const QString kPortSettings = QStringLiteral("N,8,1");

std::function<void(int)>& WaitOverride()
{
    static std::function<void(int)> wait;
    return wait;
}

QString ComName(int n) { return QStringLiteral("COM") + QString::number(n) + QLatin1Char(':'); }

// With the link thread parked: sets the DAS port to `baud`, and keeps it as the working rate
// when `keep` is set and the port takes it; otherwise the port goes back to the working rate.
// Then the link runs on. Whether the port took `baud`. No box opens while the link is parked
// (the DAS would go unanswered for as long as it stayed open): a refused rate opens none, and
// a port that will not go back to the working rate tells so once the link runs.
bool SetBaudAndRunOn(uint32_t baud, bool keep)
{
    THeldMessageBoxes heldWhileParked;
    const bool taken = SetDasBaudRate(baud, false);
    if (taken && keep) {
        Host.SetDasBaud(baud);
    } else {
        SetDasBaudRate(Host.DasBaud());
    }
    Host.Unpause();
    return taken;
}

// Whether a console command holding `text` still waits in TimedQueue.
bool CommandQueued(const QByteArray& text)
{
    return TimedQueue != nullptr && TimedQueue->HoldsOnChannel(kCommandChannel, text.constData());
}

}  // namespace

THostCommSetupForm::THostCommSetupForm(QWidget* parent) : QDialog(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("Host Communications Setup"));

    Panel_COM = new QWidget(this);
    Panel_COM->setObjectName(QStringLiteral("Panel_COM"));
    GroupBox_DAS = new QGroupBox(QStringLiteral("DAS Connection Settings"), this);
    ComboBox_Protocol = new QComboBox(GroupBox_DAS);
    ComboBox_Protocol->addItems({QStringLiteral("Error Correcting Protocol"),
                                 QStringLiteral("Error Detecting Protocol")});
    // A rate not in the list may be typed.
    ComboBox_BaudRate = new QComboBox(GroupBox_DAS);
    ComboBox_BaudRate->setEditable(true);
    ComboBox_BaudRate->setInsertPolicy(QComboBox::NoInsert);
    ComboBox_BaudRate->addItem(QStringLiteral("38400"));
    for (uint32_t baud = 57600; baud <= kFastBaud; baud *= 2) {
        ComboBox_BaudRate->addItem(QString::number(baud));
    }
    Cb_ChangeDAS = new QCheckBox(QStringLiteral("Change Settings on DAS"), GroupBox_DAS);
    Cb_ChangeDAS->setChecked(true);
    Button_OK = new QPushButton(QStringLiteral("OK"), GroupBox_DAS);
    Button_OK->setDefault(true);
    Button_Cancel = new QPushButton(QStringLiteral("Cancel"), GroupBox_DAS);
    connect(Button_OK, &QPushButton::clicked, this, [this] { Button_OKClick(); });
    connect(Button_Cancel, &QPushButton::clicked, this, [this] { Button_CancelClick(); });

    auto* protocolLabel = new QLabel(QStringLiteral("Protocol:"), GroupBox_DAS);
    protocolLabel->setBuddy(ComboBox_Protocol);
    auto* baudLabel = new QLabel(QStringLiteral("Baud Rate:"), GroupBox_DAS);
    baudLabel->setBuddy(ComboBox_BaudRate);
    auto* grid = new QGridLayout(GroupBox_DAS);
    grid->addWidget(protocolLabel, 0, 0);
    grid->addWidget(ComboBox_Protocol, 0, 1);
    grid->addWidget(baudLabel, 0, 2);
    grid->addWidget(ComboBox_BaudRate, 0, 3);
    grid->addWidget(Cb_ChangeDAS, 1, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button_OK);
    buttons->addWidget(Button_Cancel);
    grid->addLayout(buttons, 1, 2, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    GroupBox_DAS->setFixedHeight(std::max(kGroupHeight, GroupBox_DAS->sizeHint().height()));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel_COM, 1);
    auto* groupRow = new QHBoxLayout;
    groupRow->setContentsMargins(kGroupMargin, 0, kGroupMargin, kGroupMargin);
    groupRow->addWidget(GroupBox_DAS);
    layout->addLayout(groupRow);

    designedHeight_ = kDesignedPanelHeight + GroupBox_DAS->height() + kGroupMargin;
    setFixedSize(kSetupWidth, designedHeight_);
    CentreOnScreen(this);
}

void THostCommSetupForm::SetWaitForTest(std::function<void(int)> wait)
{
    WaitOverride() = std::move(wait);
}

void THostCommSetupForm::Wait(int ms)
{
    if (WaitOverride()) {
        WaitOverride()(ms);
    } else {
        WaitMs(ms);
    }
}

// --- Showing and hiding ---

void THostCommSetupForm::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

void THostCommSetupForm::hideEvent(QHideEvent* event)
{
    FormHide();
    QDialog::hideEvent(event);
}

void THostCommSetupForm::FormShow()
{
    DestroyRows();
    BuildRows();
    // The current rate's item is selected; a rate not in the list stands as typed.
    const QString baud = QString::number(Host.DasBaud());
    const int baudIndex = ComboBox_BaudRate->findText(baud);
    if (baudIndex >= 0) {
        ComboBox_BaudRate->setCurrentIndex(baudIndex);
    }
    ComboBox_BaudRate->setEditText(baud);
    ComboBox_Protocol->setCurrentIndex(Host.GetProtocol() - 1);
    UpdateDependencies();
}

void THostCommSetupForm::BuildRows()
{
    int widest = 0;
    int height = designedHeight_;
    for (int n = 1; n <= kHighestComPort; ++n) {
        if (!ComPortExists(n)) {
            continue;
        }
        height = kComRowHeight * n + designedHeight_ - kComRowHeight;
        TRow& row = rows_[static_cast<size_t>(n - 1)];
        const int top = kComRowHeight * n - 20;
        row.port = new QLabel(ComName(n), Panel_COM);
        QFont font = row.port->font();
        font.setPointSize(kPortLabelPoints);
        font.setBold(false);
        font.setItalic(false);
        row.port->setFont(font);
        row.port->adjustSize();
        row.port->move(kLabelLeft, top + 2);
        widest = std::max(widest, row.port->width());
        row.dasPort = new QRadioButton(QStringLiteral("Use as DAS Port"), Panel_COM);
        row.dasPort->setChecked(n == Host.DasPort());
        row.dasPort->setProperty("tag", n);
        row.devicePort = new QCheckBox(QStringLiteral("Use as Device Port"), Panel_COM);
        row.devicePort->setChecked(PortArray != nullptr &&
                                   PortArray->FindPort(ComName(n)) != nullptr);
        row.devicePort->setEnabled(!row.dasPort->isChecked());
        row.devicePort->setProperty("tag", n);
        row.device = new QLabel(Panel_COM);
        for (QWidget* w : {static_cast<QWidget*>(row.dasPort), static_cast<QWidget*>(row.devicePort),
                           static_cast<QWidget*>(row.device)}) {
            w->resize(w->sizeHint());
            w->move(0, w == row.device ? top + 2 : top);
        }
        connect(row.dasPort, &QRadioButton::clicked, this, [this] { UpdateDependencies(); });
        connect(row.devicePort, &QCheckBox::clicked, this, [this] { UpdateDependencies(); });
    }
    for (TRow& row : rows_) {
        if (row.port == nullptr) {
            continue;
        }
        row.dasPort->move(widest + 20, row.dasPort->y());
        row.devicePort->move(row.dasPort->x() + row.dasPort->width() + kRowGap, row.devicePort->y());
        const int left = row.devicePort->x() + row.devicePort->width() + kRowGap;
        row.device->setGeometry(left, row.device->y(), kSetupWidth - 10 - left,
                                row.device->sizeHint().height());
        for (QWidget* w : {static_cast<QWidget*>(row.port), static_cast<QWidget*>(row.dasPort),
                           static_cast<QWidget*>(row.devicePort),
                           static_cast<QWidget*>(row.device)}) {
            w->show();
        }
    }
    setFixedSize(kSetupWidth, height);
}

void THostCommSetupForm::FormHide() { DestroyRows(); }

void THostCommSetupForm::DestroyRows()
{
    for (TRow& row : rows_) {
        delete row.port;
        delete row.dasPort;
        delete row.devicePort;
        delete row.device;
        row = TRow{};
    }
}

void THostCommSetupForm::UpdateDependencies()
{
    for (int n = 1; n <= kHighestComPort; ++n) {
        const TRow& row = Row(n);
        if (row.port == nullptr) {
            continue;
        }
        const TPort* port = PortArray != nullptr ? PortArray->FindPort(ComName(n)) : nullptr;
        if (port != nullptr && port->GetDevice() != nullptr) {
            row.devicePort->setEnabled(false);
            row.device->setText(QStringLiteral("Device: ") + port->GetDevice()->GetName());
        } else {
            row.devicePort->setEnabled(true);
            row.device->clear();
        }
        if (row.dasPort->isChecked()) {
            row.devicePort->setEnabled(false);
        }
        // A device port cannot be the DAS port.
        row.dasPort->setEnabled(!row.devicePort->isChecked());
    }
}

// --- OK and Cancel ---

void THostCommSetupForm::ApplyDevicePorts(int& newPort)
{
    for (int n = 1; n <= kHighestComPort; ++n) {
        const TRow& row = Row(n);
        if (row.port == nullptr) {
            continue;
        }
        const bool inTable = PortArray != nullptr && PortArray->FindPort(ComName(n)) != nullptr;
        if (PortArray != nullptr && row.devicePort->isChecked() && !inTable) {
            PortArray->AddPCPort(n);
            ConfigurationChanged = true;
        } else if (PortArray != nullptr && !row.devicePort->isChecked() && inTable) {
            PortArray->RemovePort(ComName(n));
            ConfigurationChanged = true;
        }
        if (row.dasPort->isChecked()) {
            newPort = n;
        }
    }
}

void THostCommSetupForm::Button_OKClick()
{
    int newPort = Host.DasPort();
    ApplyDevicePorts(newPort);
    bool ok = false;
    int newBaud = ComboBox_BaudRate->currentText().trimmed().toInt(&ok);
    if (!ok || newBaud <= 0) {
        newBaud = static_cast<int>(Host.DasBaud());
    }
    // A level the list does not offer (none selected) stays as it is.
    const int newProtocol = ComboBox_Protocol->currentIndex() >= 0
                                ? ComboBox_Protocol->currentIndex() + 1
                                : Host.GetProtocol();
    const bool portChanged = newPort != Host.DasPort();
    const bool linkChanged =
        static_cast<uint32_t>(newBaud) != Host.DasBaud() || newProtocol != Host.GetProtocol();

    // Nothing changed: the window goes now, the link is still set up again below.
    if (!portChanged && !linkChanged) {
        close();
    }
    if (newPort <= kOnboardPorts && static_cast<uint32_t>(newBaud) >= kFastBaud &&
        MessageDlg(ApplicationTitle(),
                   QStringLiteral("PC Serial Port May not handle 230400 Baud! Continue?"),
                   TMsgButtons::YesNo, TMsgIcon::Warning) != TMsgResult::Yes) {
        return;
    }
    if (portChanged) {
        TCommHandle probe;
        if (!OpenCommPort(probe, static_cast<uint16_t>(newPort), static_cast<uint32_t>(newBaud),
                          kPortSettings, 0, true, false)) {
            ShowMessage(QStringLiteral("Unable to Open COM") + QString::number(newPort) +
                        QStringLiteral(" at ") + QString::number(newBaud) +
                        QStringLiteral(" baud. Aborting Changes"));
            return;
        }
        CloseCommPort(probe);
    } else if (static_cast<uint32_t>(newBaud) != Host.DasBaud() &&
               !DasPortTakesBaud(static_cast<uint32_t>(newBaud))) {
        // A DAS switched to a rate the PC cannot follow would be out of reach.
        ShowBaudRefused(newBaud);
        return;
    }
    Host.ClearCommandQueue();
    SwitchLink(newPort, newBaud, newProtocol, Cb_ChangeDAS->isChecked() && linkChanged);
    close();
}

void THostCommSetupForm::SwitchLink(int newPort, int newBaud, int newProtocol, bool tellDas)
{
    if (tellDas && Das != nullptr) {
        const QString command = QStringLiteral("SETPROTOCOL ") + QString::number(newBaud) +
                                QLatin1Char(' ') + QString::number(newProtocol);
        Das->SendCommand(command);
        // The command must leave at the old speed: the PC switches once it has gone (or
        // after a bounded wait), and the DAS has had its turn to switch.
        for (int waited = 0; waited < kCommandQueueWaitMs && CommandQueued(command.toLatin1());
             waited += kCommandQueueStepMs) {
            Wait(kCommandQueueStepMs);
        }
        Wait(kSwitchWaitMs);
    }
    Wait(kSwitchWaitMs);
    // The port is closed and reopened only once the link thread confirmed it is parked.
    if (!Host.PauseOrTell(QStringLiteral("the DAS port was not changed"))) {
        return;
    }
    Wait(kSwitchWaitMs);
    Host.SetProtocol(newProtocol);
    CloseDasPort();
    Host.SetDasPort(static_cast<uint16_t>(newPort));
    if (!OpenDasPort(static_cast<uint16_t>(newPort), true)) {
        // The box said why; the port is tried again until it opens, at the rate the DAS was
        // told or the operator chose.
        Host.SetDasBaud(static_cast<uint32_t>(newBaud));
        Host.DasPortOpenFailed();
        return;
    }
    if (!SetBaudAndRunOn(static_cast<uint32_t>(newBaud), true)) {
        ShowBaudRefused(newBaud);
    }
    Wait(kSwitchWaitMs);
    Host.ResetStatistics();
}

bool THostCommSetupForm::DasPortTakesBaud(uint32_t baud)
{
    // The caller's box is the one the operator sees for a refused rate: the port's own
    // refusal opens none.
    // A closed DAS port (waiting to be opened again) is tried as a test port.
    if (!DasPortOpen()) {
        TCommHandle probe;
        return OpenCommPort(probe, Host.DasPort(), Host.DasBaud(), kPortSettings, 0, false,
                            false) &&
               probe.Port()->SetBaudRate(baud);
    }
    // Tried on the port itself, with the link thread parked only for the try.
    if (!Host.Pause()) {
        return false;
    }
    return SetBaudAndRunOn(baud, false);
}

void THostCommSetupForm::ShowBaudRefused(int baud)
{
    ShowMessage(QStringLiteral("Unable to Set Baud Rate to ") + QString::number(baud) +
                QLatin1Char('.'));
}

void THostCommSetupForm::Button_CancelClick() { close(); }
