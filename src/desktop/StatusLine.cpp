#include "desktop/StatusLine.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cstring>

#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "link/Das.h"
#include "link/Global.h"
#include "link/MuxClasses.h"
#include "station/DeviceClasses.h"

namespace {

// Design widths of the status bar panels before the first layout.
constexpr std::array<int, kStatusPanelCount> kPanelDesignWidths = {128, 128, 128, 128, 50, 50};
// The message panel is this much wider than its text.
constexpr int kToolMessageMargin = 13;
constexpr int kStateImagePixels = 16;

const std::array<QString, 4> kSensorLabels = {
    QStringLiteral("Temp="), QStringLiteral("Voltage="), QStringLiteral("Current="),
    QStringLiteral("Depth=")};

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Whether the unit reports sensor value i (temperature, voltage, current, depth).
bool SensorReported(int i)
{
    if (Das == nullptr) {
        return false;
    }
    const std::array<uint8_t, 4> flags = {Das->Temperature, Das->Voltage, Das->Current,
                                          Das->Depth};
    return flags[static_cast<size_t>(i)] != 0;
}

QIcon DrawStateImage(int index)
{
    const int base = index % kStateActivity;
    const bool powered = (base & kStatePowered) != 0;
    const int kind = base - (base & kStatePowered);
    const bool activity = index >= kStateActivity;
    QPixmap pixmap(kStateImagePixels, kStateImagePixels);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = powered ? QColor(0, 160, 0) : QColor(128, 128, 128);
    painter.setPen(QPen(colour, 2));
    const QRectF body(2, 2, 11, 11);
    if (kind == kStateNotSerial) {
        painter.setBrush(powered ? colour : Qt::NoBrush);
        painter.drawRect(body);
    } else {
        painter.setBrush(kind == kStateSerialOpen ? QBrush(colour) : Qt::NoBrush);
        painter.drawEllipse(body);
    }
    if (activity) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 200, 0));
        painter.drawEllipse(QRectF(10, 0, 6, 6));
    }
    return QIcon(pixmap);
}

int StateIndexOf(const QModelIndex& index)
{
    const auto* device =
        static_cast<TDevice*>(index.data(TDeviceListModel::kDeviceRole).value<void*>());
    if (device == nullptr || device->GetListItem() == nullptr) {
        return -1;
    }
    return device->GetListItem()->StateIndex();
}

void SetStateImage(TDevices& devices, TDeviceListItem* item, int state)
{
    if (item == nullptr || item->StateIndex() == state) {
        return;
    }
    item->SetStateIndex(state);
    if (devices.GetListView() != nullptr) {
        devices.GetListView()->ItemChanged(item, kColDevice);
    }
}

}  // namespace

// --- Line buffers ---

void TStatusLineBuffer::Append(const char* bytes, int count, const TLineHandler& handler)
{
    int pos = 0;
    while (pos < count) {
        if (skipLeadingLf_) {
            skipLeadingLf_ = false;
            if (bytes[pos] == '\n') {
                ++pos;
                continue;
            }
        }
        if (dropping_) {
            while (pos < count && !IsLineEnd(bytes[pos])) {
                ++pos;
            }
            if (pos == count) {
                return;
            }
            dropping_ = false;
            ++pos;
            if (pos == count) {
                skipLeadingLf_ = true;
            } else if (bytes[pos] == '\n') {
                ++pos;
            }
            continue;
        }
        const int n = std::min(kStatusLineBytes - fill_, count - pos);
        std::memcpy(buffer_.data() + fill_, bytes + pos, static_cast<size_t>(n));
        fill_ += n;
        pos += n;
        TakeLines(handler);
        if (fill_ == kStatusLineBytes) {
            // A full buffer without a line end: the line is too long to be a report.
            fill_ = 0;
            dropping_ = true;
        }
    }
}

void TStatusLineBuffer::TakeLines(const TLineHandler& handler)
{
    std::vector<QByteArray> lines;
    int start = 0;
    for (;;) {
        const char* begin = buffer_.data() + start;
        const char* stop = buffer_.data() + fill_;
        const char* end = std::find_if(begin, stop, IsLineEnd);
        if (end == stop) {
            break;
        }
        if (end > begin) {
            lines.emplace_back(begin, static_cast<qsizetype>(end - begin));
        }
        int next = static_cast<int>(end - buffer_.data()) + 1;
        if (next == fill_) {
            skipLeadingLf_ = true;
        } else if (buffer_[static_cast<size_t>(next)] == '\n') {
            ++next;
        }
        start = next;
    }
    std::memmove(buffer_.data(), buffer_.data() + start, static_cast<size_t>(fill_ - start));
    fill_ -= start;
    // Handlers run after the buffer is consistent again.
    for (const QByteArray& line : lines) {
        handler(line);
    }
}

// --- Fields ---

TStatusFields ReadStatusFields(const QString& line)
{
    TStatusFields fields;
    QString field;
    for (int i = 0; i < 4; ++i) {
        if (GetCommaField(field, line, i, kSensorFieldSize)) {
            fields.sensors[static_cast<size_t>(i)] = field;
        }
    }
    if (GetCommaField(field, line, 4, kStateFieldSize)) {
        fields.portStates = field;
    }
    if (GetCommaField(field, line, 5, kStateFieldSize)) {
        fields.powerStates = field;
    }
    if (GetCommaField(field, line, 6, kScriptFieldSize)) {
        fields.scriptState = field;
    }
    return fields;
}

QString SensorPanelText(const QString& label, const QString& field)
{
    return field.startsWith(QStringLiteral("--")) ? QString() : label + field;
}

QString ScriptStateText(const QString& state)
{
    switch (StateAt(state, 1).toLatin1()) {
    case 'D':
        return QStringLiteral("Script Done");
    case 'H':
        return QStringLiteral("Script Halted");
    case 'R':
        return QStringLiteral("Script Running");
    case 'S':
        return QStringLiteral("Script Loaded");
    default:
        return QStringLiteral("No Script");
    }
}

QChar StateAt(const QString& states, int index)
{
    return index >= 0 && index < states.size() ? states.at(index) : QLatin1Char(' ');
}

// --- Device states ---

void UpdateDeviceStates(TDevices& devices, const TMuxArray* channels, const QString& portStates,
                        const QString& powerStates)
{
    for (TDevice* device = devices.First(false, true); device != nullptr;
         device = devices.Next(device, false, true)) {
        TPort* port = device->GetPort();
        if (port == nullptr) {
            break;
        }
        int state = kStateNotSerial;
        QString portText;
        if (port->IsSerial()) {
            bool open = false;
            if (port->IsPCSerial()) {
                // A PC-wired instrument's port is the PC's, whatever the DAS's port of the
                // same number does.
                const TMux* mux = channels != nullptr && port->HasHostChannel()
                                      ? channels->GetChannel(
                                            static_cast<uint8_t>(port->GetHostChannel()))
                                      : nullptr;
                open = mux != nullptr && mux->HasPCPort();
            } else {
                open = StateAt(portStates, port->GetSerialPort()) == QLatin1Char('O');
            }
            state = open ? kStateSerialOpen : kStateSerialClosed;
            portText = open ? QStringLiteral("OPEN") : QStringLiteral("closed");
        }
        const bool powered = StateAt(powerStates, port->GetPowerSwitch()) == QLatin1Char('1');
        if (powered) {
            state += kStatePowered;
        }
        if (!port->IsSerial()) {
            portText = powered ? QStringLiteral("OPEN") : QStringLiteral("closed");
        }
        if (port->TestAndClearActivity(true)) {
            state += kStateActivity;
        }
        TDeviceListItem* item = device->GetListItem();
        if (item != nullptr) {
            item->SetSubItem(kColPower - 1, powered ? QStringLiteral("ON") : QStringLiteral("off"));
            item->SetSubItem(kColPort - 1, portText);
        }
        SetStateImage(devices, item, state);
    }
}

void RefreshActivityIcons(TDevices& devices)
{
    for (TDevice* device = devices.First(false, true); device != nullptr;
         device = devices.Next(device, false, true)) {
        TDeviceListItem* item = device->GetListItem();
        // A row without a state image yet keeps its port's activity for the next status.
        if (item == nullptr || item->StateIndex() < 0) {
            continue;
        }
        int state = item->StateIndex();
        if (state >= kStateActivity) {
            state -= kStateActivity;
        }
        if (device->GetPort() != nullptr && device->GetPort()->TestAndClearActivity(true)) {
            state += kStateActivity;
        }
        SetStateImage(devices, item, state);
    }
}

const std::vector<QIcon>& StateImages()
{
    static const std::vector<QIcon> images = [] {
        std::vector<QIcon> list;
        for (int i = 0; i < kStateImageCount; ++i) {
            list.push_back(DrawStateImage(i));
        }
        return list;
    }();
    return images;
}

void TStateImageDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const
{
    const int state = StateIndexOf(index);
    if (state < 0 || state >= kStateImageCount) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QRect imageRect(option.rect.left() + 2,
                          option.rect.top() + (option.rect.height() - kStateImagePixels) / 2,
                          kStateImagePixels, kStateImagePixels);
    StateImages()[static_cast<size_t>(state)].paint(painter, imageRect);
    QStyleOptionViewItem rest(option);
    rest.rect.setLeft(imageRect.right() + 3);
    QStyledItemDelegate::paint(painter, rest, index);
}

QSize TStateImageDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += kStateImagePixels + 5;
    size.setHeight(std::max(size.height(), kStateImagePixels + 2));
    return size;
}

// --- The main window's status bar and toolbar message ---

void TDASDesktopForm::BuildStatusBar()
{
    StatusBar_Desktop = statusBar();
    StatusBar_Desktop->setObjectName(QStringLiteral("StatusBar_Desktop"));
    StatusBar_Desktop->setSizeGripEnabled(false);
    for (int i = 0; i < kStatusPanelCount; ++i) {
        auto* panel = new QLabel(StatusBar_Desktop);
        panel->setFrameStyle(QFrame::Panel | (i == 0 ? QFrame::Raised : QFrame::Sunken));
        panel->setFixedWidth(kPanelDesignWidths[static_cast<size_t>(i)]);
        // The DAS's status fields are shown as they are, never as markup.
        panel->setTextFormat(Qt::PlainText);
        StatusBar_Desktop->addWidget(panel);
        panels_[static_cast<size_t>(i)] = panel;
    }
    panels_[0]->setText(QStringLiteral("Seq#0"));
    panels_[0]->installEventFilter(this);
}

void TDASDesktopForm::OnStatusChannelData(uint8_t channel, const char* bytes, int count)
{
    if (channel == kStatusChannel) {
        statusBuffer_.Append(bytes, count, [this](const QByteArray& line) {
            ParseStatusLine(QString::fromLatin1(line));
        });
    } else if (channel == kMuxStatsChannel) {
        muxStatsBuffer_.Append(bytes, count, [this](const QByteArray& line) {
            OnMuxStatsLine(QString::fromLatin1(line));
        });
    }
}

void TDASDesktopForm::ParseStatusLine(const std::optional<QString>& line)
{
    if (line.has_value() && RequestStatus()) {
        const TStatusFields fields = ReadStatusFields(*line);
        for (int i = 0; i < 4; ++i) {
            const auto& field = fields.sensors[static_cast<size_t>(i)];
            // A short line leaves the panels of the fields it lacks as they were.
            if (SensorReported(i) && field.has_value()) {
                panels_[static_cast<size_t>(i) + 1]->setText(
                    SensorPanelText(kSensorLabels[static_cast<size_t>(i)], *field));
            }
        }
        if (fields.portStates.has_value() && fields.powerStates.has_value()) {
            UpdateDeviceStates(*fields.portStates, *fields.powerStates);
        }
        if (fields.scriptState.has_value()) {
            ShowScriptState(*fields.scriptState);
        }
        return;
    }
    panels_[1]->setText(QStringLiteral("Status Off"));
    for (int i = 2; i < kStatusPanelCount; ++i) {
        panels_[static_cast<size_t>(i)]->clear();
    }
}

void TDASDesktopForm::OnMuxStatsLine(const QString& line)
{
    if (FrmMuxStats == nullptr) {
        return;
    }
    if (line.startsWith(QLatin1Char('A'))) {
        FrmMuxStats->ClearText();
        FrmMuxStats->show();
    }
    FrmMuxStats->AddLine(line);
}

void TDASDesktopForm::UpdateDeviceStates(const QString& portStates, const QString& powerStates)
{
    if (Devices != nullptr) {
        ::UpdateDeviceStates(*Devices, MuxArray, portStates, powerStates);
    }
}

void TDASDesktopForm::RefreshActivityIcons()
{
    if (Devices != nullptr) {
        ::RefreshActivityIcons(*Devices);
    }
}

void TDASDesktopForm::ShowScriptState(const QString& text)
{
    panels_[5]->setText(ScriptStateText(text));
}

bool TDASDesktopForm::StatusPanelShown(int panel) const
{
    return panel < 1 || panel > 4 || SensorReported(panel - 1);
}

void TDASDesktopForm::StatusBar_DesktopResize()
{
    const int count = std::max<int>(Das != nullptr ? Das->Panels : kStatusPanelCount, 1);
    const int width = StatusBar_Desktop->width() / count;
    for (int i = 0; i < kStatusPanelCount; ++i) {
        QLabel* panel = panels_[static_cast<size_t>(i)];
        const bool shown = StatusPanelShown(i);
        panel->setFixedWidth(shown ? width : 0);
        panel->setVisible(shown);
    }
    panels_[0]->setFrameShadow(QFrame::Raised);
}

void TDASDesktopForm::ShowToolMessage(const QString& text)
{
    if (!text.isEmpty()) {
        PanelMessage->setText(text);
    }
    PanelMessage->setFixedWidth(PanelMessage->fontMetrics().horizontalAdvance(PanelMessage->text()) +
                                kToolMessageMargin);
    PanelMessage->setFixedHeight(std::max(ToolBar_Desktop->iconSize().height(), 1) + 6);
}

QString TDASDesktopForm::PanelText(int panel) const
{
    return panel >= 0 && panel < kStatusPanelCount ? panels_[static_cast<size_t>(panel)]->text()
                                                   : QString();
}

int TDASDesktopForm::PanelWidth(int panel) const
{
    if (panel < 0 || panel >= kStatusPanelCount) {
        return 0;
    }
    const QLabel* label = panels_[static_cast<size_t>(panel)];
    return label->isHidden() ? 0 : label->maximumWidth();
}

QLabel* TDASDesktopForm::Panel(int panel) const
{
    return panel >= 0 && panel < kStatusPanelCount ? panels_[static_cast<size_t>(panel)] : nullptr;
}

QString TDASDesktopForm::ToolMessage() const { return PanelMessage->text(); }

void TDASDesktopForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    StatusBar_DesktopResize();
    ToolBar_DesktopResize();
}

// The sequence number panel acts as a button: pressed it sinks, a click asks for a number.
bool TDASDesktopForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == panels_[0]) {
        if (event->type() == QEvent::MouseButtonPress) {
            panels_[0]->setFrameShadow(QFrame::Sunken);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            panels_[0]->setFrameShadow(QFrame::Raised);
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (panels_[0]->rect().contains(mouse->position().toPoint())) {
                QTimer::singleShot(0, this, &TDASDesktopForm::Desktop_SetSeqNumExecute);
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
