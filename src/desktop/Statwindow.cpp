#include "desktop/Statwindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "desktop/StripChart.h"
#include "desktop/WinMenuItem.h"
#include "link/Host.h"
#include "link/Packets.h"
#include "link/Protocol.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/Clocks.h"
#include "platform/Prompt.h"
#include "platform/WindowPlacement.h"

namespace {

constexpr int kStatWidth = 479;
constexpr int kStatHeight = 460;
constexpr int kGraphGridPx = 24;
constexpr int kGraphStepPx = 5;
// The graph's full scale is this share of the baud rate, and never below the minimum.
constexpr double kGraphScaleShare = 0.05;
constexpr double kGraphMinScale = 50;
constexpr double kErrorPlotShare = 0.02;
// The error rate shown when the counts went back (cleared) or the time makes no sense.
constexpr double kErrorRateFallback = 0.01;

const QString kPlacementName = QStringLiteral("StatWindow");
const QString kLogErrorTitle = QStringLiteral("Log Error");
const QString kMicroseconds = QStringLiteral(u" \u00b5s.");

const char* const kStateNames[kStateCounts] = {
    "Awaiting Pkt input", "Packet Received", "Waiting Xmit Done", "ACK Received",
    "ACKd Received",      "NAK Received",    "NAKd Received",     "Data Received",
    "Data Error(1)",      "Data Error(2)"};

// The link's state counts in the order the window lists them.
std::array<uint32_t, kStateCounts> StateCounts()
{
    const TProtocolCounters& c = ProtocolCounters();
    return {c.receiveAttempts.load(), c.dispatches.load(),    c.xmitWaits.load(),
            c.acksReceived.load(),    c.ackdsReceived.load(), c.naksReceived.load(),
            c.nakdsReceived.load(),   c.dataPackets.load(),   c.purges.load(),
            c.naksSent.load()};
}

// The increase of a counter since the last reading; negative once it was cleared.
int64_t Increase(uint32_t now, uint32_t before)
{
    return static_cast<int64_t>(now) - static_cast<int64_t>(before);
}

int64_t UsToTicks(int us)
{
    return std::llround(static_cast<double>(us) * static_cast<double>(kPerfFrequency) * 1e-6);
}

// Rounded to the nearest µs, so that a pause set and read back is the same pause.
int TicksToUs(int64_t ticks)
{
    return static_cast<int>(
        std::llround(static_cast<double>(ticks) * 1e6 / static_cast<double>(kPerfFrequency)));
}

QLabel* ValueLabel(QWidget* parent)
{
    auto* label = new QLabel(QStringLiteral("0"), parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
    return label;
}

QString ProtocolName(int level)
{
    switch (level) {
    case 1: return QStringLiteral("Hvy");
    case 2: return QStringLiteral("Med");
    case 3: return QStringLiteral("Lgt");
    default: return QString();
    }
}

}  // namespace

TStatisticsForm::TStatisticsForm(QWidget* parent) : QMainWindow(parent)
{
    setWindowFlag(Qt::Window, true);
    setWindowTitle(QStringLiteral("Statistics"));
    lastReading_ = PerfCounter();
    Timer_StatWindow = new QTimer(this);
    connect(Timer_StatWindow, &QTimer::timeout, this, [this] { Timer_StatWindowTimer(); });
    BuildControls();
    SetUpdateInterval(kStatIntervalMs);
    SetPreXmitPause(0);
    SetPostXmitPause(0);
}

// --- Controls ---

void TStatisticsForm::BuildControls()
{
    auto* client = new QWidget(this);
    auto* left = new QVBoxLayout;
    left->addWidget(BuildCounters());
    left->addStretch(1);
    left->addWidget(BuildSettings());
    auto* columns = new QHBoxLayout(client);
    columns->addLayout(left);
    columns->addWidget(BuildStates(), 1);
    setCentralWidget(client);

    // Fixed as designed, or as large as the font needs.
    const QSize needed = client->sizeHint().expandedTo(QSize(kStatWidth, kStatHeight));
    setFixedSize(needed.width(), needed.height() + menuBar()->sizeHint().height());
}

QWidget* TStatisticsForm::BuildCounters()
{
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(2);
    const std::pair<const char*, QLabel**> rows[] = {
        {"Ack Pkts Rcvd", &LBAckRcvd},         {"Data Pkts Rcvd", &LBDatRcvd},
        {"Bytes Rcvd", &LBTotBytes},           {"Sequence Errors", &LBSeqErrs},
        {"Checksum Errors", &LBNumerrs},       {"RetransCount", &LBRetrans},
        {"Data Seq. #", &LBDataSeq},           {"Bytes/sec.", &LBDatarate},
        {"Errors/sec.", &LBErrorRate},         {"Pkts Buffered", &LBPktCount},
        {"Bytes Buffered", &LBPktBytes},       {"QueueOutgoing Time", &Label_T1},
        {"CheckCable Time", &Label_T2},        {"DemuxData Time", &Label_T3},
        {"Using Protocol", &LBUseProtocol},    {"Baud Rate", &LBBaudRate}};
    int row = 0;
    for (const auto& [caption, label] : rows) {
        *label = ValueLabel(box);
        grid->addWidget(new QLabel(QString::fromLatin1(caption), box), row, 0);
        grid->addWidget(*label, row, 1);
        ++row;
    }
    LBUseProtocol->clear();
    return box;
}

QWidget* TStatisticsForm::BuildSettings()
{
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    BTClrStats = new QPushButton(QStringLiteral("Clear Stats"), box);
    BTLogFile = new QPushButton(QStringLiteral("Open Log"), box);
    connect(BTClrStats, &QPushButton::clicked, this, [this] { BTClrStatsClick(); });
    connect(BTLogFile, &QPushButton::clicked, this, [this] { BTLogFileClick(); });
    grid->addWidget(BTClrStats, 0, 0);
    grid->addWidget(BTLogFile, 0, 1);

    const std::tuple<QLabel**, QPushButton**, void (TStatisticsForm::*)()> rows[] = {
        {&Label_StatInterval, &Button_StatIntervalChange,
         &TStatisticsForm::Button_StatIntervalChangeClick},
        {&Label_PreXmitPause, &Button_PreXmitPause, &TStatisticsForm::Button_PreXmitPauseClick},
        {&Label_PostXmitPause, &Button_PostXmitPause,
         &TStatisticsForm::Button_PostXmitPauseClick}};
    int row = 1;
    for (const auto& [label, button, click] : rows) {
        *label = new QLabel(box);
        *button = new QPushButton(QStringLiteral("Change"), box);
        connect(*button, &QPushButton::clicked, this, [this, click = click] { (this->*click)(); });
        grid->addWidget(*label, row, 0);
        grid->addWidget(*button, row, 1);
        ++row;
    }
    // Room for the longest texts the labels show.
    Label_PostXmitPause->setMinimumWidth(Label_PostXmitPause->fontMetrics().horizontalAdvance(
        QStringLiteral("Post-Xmit pause: 0000000") + kMicroseconds));
    return box;
}

QWidget* TStatisticsForm::BuildStates()
{
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("State Counts"), box));

    StateNames = new QPlainTextEdit(box);
    SGStates = new QPlainTextEdit(box);
    QStringList names;
    for (const char* name : kStateNames) {
        names << QString::fromLatin1(name);
    }
    StateNames->setPlainText(names.join(QLatin1Char('\n')));
    QStringList zeros;
    for (int i = 0; i < kStateCounts; ++i) {
        zeros << QStringLiteral("0");
    }
    SGStates->setPlainText(zeros.join(QLatin1Char('\n')));
    const int lines = kStateCounts + 1;
    for (QPlainTextEdit* memo : {StateNames, SGStates}) {
        memo->setReadOnly(true);
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        memo->setFixedHeight(memo->fontMetrics().lineSpacing() * lines +
                             2 * memo->frameWidth());
    }
    // Wide enough for the longest name and a ten-digit count, no wider.
    const auto fitWidth = [](QPlainTextEdit* memo, const QString& widest) {
        const int margins = 2 * (memo->frameWidth() +
                                 static_cast<int>(memo->document()->documentMargin()) + 1);
        memo->setFixedWidth(memo->fontMetrics().horizontalAdvance(widest) + margins);
    };
    fitWidth(StateNames, QStringLiteral("Waiting Xmit Done"));
    fitWidth(SGStates, QStringLiteral("0000000000"));
    auto* memos = new QHBoxLayout;
    memos->setSpacing(0);
    memos->addWidget(StateNames);
    memos->addWidget(SGStates);
    memos->addStretch(1);
    layout->addLayout(memos);

    BTClrOutputBuffer = new QPushButton(QStringLiteral("Clear Output Buffer"), box);
    connect(BTClrOutputBuffer, &QPushButton::clicked, this, [this] { BTClrOutputBufferClick(); });
    layout->addWidget(BTClrOutputBuffer);

    PerformanceGraph = new TStripChart(kGraphGridPx, kGraphStepPx, box);
    PerformanceGraph->AddSeries(QStringLiteral("Error Rate"), QColor(0xFF, 0, 0));
    PerformanceGraph->AddSeries(QStringLiteral("Data Rate"), QColor(0, 0, 0xFF));
    PerformanceGraph->SetFullScale(kGraphMinScale);
    layout->addWidget(PerformanceGraph, 1);

    CheckBox_ForceComm =
        new QCheckBox(QStringLiteral("Force communication if disconnected"), box);
    connect(CheckBox_ForceComm, &QCheckBox::clicked, this, [this] { CheckBox_ForceCommClick(); });
    layout->addWidget(CheckBox_ForceComm);
    return box;
}

// --- Settings ---

void TStatisticsForm::SetUpdateInterval(int ms)
{
    Timer_StatWindow->setInterval(std::max(ms, 1));
    Label_StatInterval->setText(QStringLiteral("Update every ") + QString::number(ms) +
                                QStringLiteral(" ms."));
}

int TStatisticsForm::GetUpdateInterval() const { return Timer_StatWindow->interval(); }

void TStatisticsForm::SetPreXmitPause(int us)
{
    ::SetPreXmitPause(UsToTicks(us));
    Label_PreXmitPause->setText(QStringLiteral("Pre-Xmit pause: ") + QString::number(us) +
                                kMicroseconds);
}

int TStatisticsForm::GetPreXmitPause() const { return TicksToUs(::GetPreXmitPause()); }

void TStatisticsForm::SetPostXmitPause(int us)
{
    ::SetPostXmitPause(UsToTicks(us));
    Label_PostXmitPause->setText(QStringLiteral("Post-Xmit pause: ") + QString::number(us) +
                                 kMicroseconds);
}

int TStatisticsForm::GetPostXmitPause() const { return TicksToUs(::GetPostXmitPause()); }

bool TStatisticsForm::AskNumber(const QString& title, const QString& prompt, int current,
                                int minimum, int& answer)
{
    QString text = QString::number(current);
    if (!Prompt().InputQuery(title, prompt, text)) {
        return false;
    }
    bool ok = false;
    answer = text.trimmed().toInt(&ok);
    if (!ok) {
        answer = current;
    }
    answer = std::max(answer, minimum);
    return true;
}

void TStatisticsForm::Button_StatIntervalChangeClick()
{
    int ms = 0;
    if (AskNumber(QStringLiteral("Change Status Period"),
                  QStringLiteral("Enter Millseconds between status updates (100 minimum)"),
                  GetUpdateInterval(), kMinStatIntervalMs, ms)) {
        SetUpdateInterval(ms);
    }
}

void TStatisticsForm::Button_PreXmitPauseClick()
{
    int us = 0;
    if (AskNumber(QStringLiteral("Change Pre-Transmit Pause"),
                  QStringLiteral("Enter microseconds to pause before packet transmit"),
                  GetPreXmitPause(), 0, us)) {
        SetPreXmitPause(us);
    }
}

void TStatisticsForm::Button_PostXmitPauseClick()
{
    int us = 0;
    if (AskNumber(QStringLiteral("Change Pre-Transmit Pause"),
                  QStringLiteral("Enter microseconds after packet transmit to supress reception"),
                  GetPostXmitPause(), 0, us)) {
        SetPostXmitPause(us);
    }
}

void TStatisticsForm::CheckBox_ForceCommClick()
{
    forceComm_ = CheckBox_ForceComm->isChecked();
    Host.SetForceComm(forceComm_);
}

// --- Buttons ---

void TStatisticsForm::BTClrStatsClick() { Host.ResetStatistics(); }

void TStatisticsForm::BTClrOutputBufferClick() { Host.ClearOutputBuffers(); }

void TStatisticsForm::BTLogFileClick()
{
    // Each trace file is switched by itself: one that failed to open is tried again on the
    // next click while the other one closes.
    if (ProtocolLogOpen()) {
        CloseProtocolLog();
        BTLogFile->setText(QStringLiteral("Open Log File"));
    } else if (OpenProtocolLog()) {
        BTLogFile->setText(QStringLiteral("Close Log"));
    } else {
        MessageDlg(kLogErrorTitle, QStringLiteral("Could Not Open Log File"), TMsgButtons::Ok,
                   TMsgIcon::Error);
    }
    if (RawLogOpen()) {
        CloseRawLog();
    } else if (!OpenRawLog()) {
        MessageDlg(kLogErrorTitle, QStringLiteral("Could Not Open raw File"), TMsgButtons::Ok,
                   TMsgIcon::Error);
    }
}

// --- Refresh ---

void TStatisticsForm::Timer_StatWindowTimer()
{
    const int64_t now = PerfCounter();
    double elapsed = static_cast<double>(now - lastReading_) / static_cast<double>(kPerfFrequency);
    lastReading_ = now;
    if (!(elapsed > 0) || !std::isfinite(elapsed)) {
        elapsed = 1.0;
    }
    Refresh(elapsed);
}

void TStatisticsForm::Refresh(double elapsed)
{
    // The mean of the samples so far: this tick's sample is taken below.
    int64_t sum = 0;
    for (const int rate : rates_) {
        sum += rate;
    }
    const int64_t meanRate = std::max<int64_t>(sum / kRateSamples, 0);
    LBDatarate->setText(QString::number(meanRate));

    const std::array<uint32_t, kStateCounts> states = StateCounts();
    const uint32_t duplicates = ProtocolCounters().duplicates.load();
    const uint32_t checksumErrors = PacketCounters().receiveErrors.load();
    double errors = static_cast<double>(Increase(states[8], previousStates_[8]) +
                                        Increase(duplicates, previousDuplicates_) +
                                        Increase(checksumErrors, previousChecksumErrors_)) /
                    elapsed;
    if (errors < 0 || !std::isfinite(errors)) {
        errors = kErrorRateFallback;
    }
    // A link that hears nothing counts its idle listening as errors (none after a clear).
    if (states[1] == previousStates_[1]) {
        errors += static_cast<double>(std::max<int64_t>(Increase(states[0], previousStates_[0]),
                                                        0)) /
                  elapsed;
    }
    // The integer nearest to the rate plus a half: any error at all shows as at least 1, and
    // a tie goes to the even number, so that a clean link shows 0.
    LBErrorRate->setText(QString::number(static_cast<int64_t>(std::nearbyint(errors + 0.5))));

    const double baud = static_cast<double>(Host.DasBaud());
    PerformanceGraph->SetFullScale(std::max(kGraphMinScale, baud * kGraphScaleShare));
    PerformanceGraph->SetPoint(kErrorSeries, kErrorPlotShare * errors * baud * kGraphScaleShare);
    PerformanceGraph->SetPoint(kDataSeries, static_cast<double>(meanRate));
    PerformanceGraph->Advance();

    ShowCounters(elapsed);
    previousDuplicates_ = duplicates;
    previousChecksumErrors_ = checksumErrors;

    LBPktCount->setText(QString::number((SendQueue != nullptr ? SendQueue->Count() : 0) +
                                        (TimedQueue != nullptr ? TimedQueue->Count() : 0)));
    LBPktBytes->setText(
        QString::number((SendQueue != nullptr ? SendQueue->TotalBytes() : 0u) +
                        (TimedQueue != nullptr ? TimedQueue->TotalBytes() : 0u)));

    QStringList counts;
    for (const uint32_t count : states) {
        counts << QString::number(count);
    }
    SGStates->setPlainText(counts.join(QLatin1Char('\n')));
    previousStates_ = states;

    const QString protocol = ProtocolName(GetProtocol());
    if (!protocol.isEmpty()) {
        LBUseProtocol->setText(protocol);
    }
    LBBaudRate->setText(QString::number(Host.DasBaud()));

    const TThdDASComm& link = Host.Thread();
    const auto us = [](int64_t ticks) {
        return QString::number(ticks * 1'000'000 / kPerfFrequency);
    };
    Label_T1->setText(us(link.BuildTicks()));
    Label_T2->setText(us(link.StepTicks()));
    Label_T3->setText(us(link.DispatchTicks()));
}

void TStatisticsForm::ShowCounters(double elapsed)
{
    const TPacketCounters& packets = PacketCounters();
    const TProtocolCounters& protocol = ProtocolCounters();
    const uint32_t bytes = Host.BytesReceived();
    LBAckRcvd->setText(QString::number(packets.controlPacketsReceived.load()));
    LBDatRcvd->setText(QString::number(packets.dataPacketsReceived.load()));
    LBTotBytes->setText(QString::number(bytes));
    const auto delta = static_cast<int32_t>(bytes - previousBytes_);
    const double rate = std::clamp(static_cast<double>(delta) / elapsed,
                                   static_cast<double>(std::numeric_limits<int>::min()),
                                   static_cast<double>(std::numeric_limits<int>::max()));
    rates_[static_cast<size_t>(rateIndex_)] = static_cast<int>(rate);
    rateIndex_ = (rateIndex_ + 1) % kRateSamples;
    previousBytes_ = bytes;
    LBSeqErrs->setText(QString::number(protocol.duplicates.load()));
    LBNumerrs->setText(QString::number(packets.receiveErrors.load()));
    LBRetrans->setText(QString::number(protocol.resends.load()));
    LBDataSeq->setText(QString::number(Host.LastSequence()));
}

// --- Showing, hiding, closing ---

void TStatisticsForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    Timer_StatWindow->start();
    AddWindowsMenuOnFirstShow(windowMenu_, this, menuBar());
}

void TStatisticsForm::hideEvent(QHideEvent* event)
{
    Timer_StatWindow->stop();
    QMainWindow::hideEvent(event);
}

void TStatisticsForm::closeEvent(QCloseEvent* event)
{
    // Closed by the operator, it stays closed at the next start.
    hide();
    SavePlacement();
    event->accept();
}

void TStatisticsForm::SavePlacement() { SaveWindowPlacement(this, kPlacementName); }
