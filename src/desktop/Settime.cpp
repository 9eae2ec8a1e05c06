#include "desktop/Settime.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>
#include <array>

#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "link/Das.h"
#include "link/MuxClasses.h"
#include "platform/Clocks.h"
#include "platform/DateTimeText.h"
#include "platform/Prompt.h"

namespace {

constexpr int kClockWidth = 523;
constexpr int kClockHeight = 171;
constexpr double kHalfSecondDays = 0.5 / 86400.0;
const QString kDefaultClockText = QStringLiteral("01/01/2001 00:00:00");
const QString kInvalidDateText = QStringLiteral("Invalid date or time from PC Clock");
// A reply that is no date is quoted in the box up to this many characters: a line of noise
// from the channel must not make a box wider or taller than the screen.
constexpr qsizetype kMaxQuotedReplyChars = 60;

const std::array<const char*, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

// Weekday, comma, month name, day, comma, year, then the time; any run of blanks between the
// fields, and blanks or line ends around the whole.
const QRegularExpression& DasDatePattern()
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^\s*[A-Za-z]+,\s*([A-Za-z]+)\s+(\d{1,2}),\s*(\d{4})\s+(\d{1,2}):(\d{1,2}):(\d{1,2})\s*$)"));
    return pattern;
}

int MonthOf(const QString& name)
{
    for (size_t i = 0; i < kMonthNames.size(); ++i) {
        if (name.compare(QLatin1String(kMonthNames[i]), Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

void SendPicoDosDate(const QString& text)
{
    if (Das != nullptr) {
        Das->PicoDos(QStringLiteral("Date ") + text);
    }
}

// The DAS reads a date month first whatever the PC's locale, as it writes its own: month/day/
// four-digit year, a blank and the 24-hour time ("" for a value naming no date).
QString DasDateText(double value)
{
    return DateTimeToStr(value, QStringLiteral("MM/dd/yyyy"), QStringLiteral("HH:mm:ss"));
}

QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

TSetTimeForm::TSetTimeForm(QWidget* parent) : QDialog(parent)
{
    setWindowFlag(Qt::Window, true);
    setWindowTitle(QStringLiteral("Set DAS Date & Time"));

    Label_PCTime = new QLabel(kDefaultClockText, this);
    Label_PCTime->setObjectName(QStringLiteral("Label_PCTime"));
    Edit_OtherTime = new QLineEdit(this);
    Edit_OtherTime->setObjectName(QStringLiteral("Edit_OtherTime"));
    Label_DASTime = new QLabel(kDefaultClockText, this);
    Label_DASTime->setObjectName(QStringLiteral("Label_DASTime"));
    Button_SetPCTime = new QPushButton(QStringLiteral("Set DAS To PC Date && Time"), this);
    Button_SetOtherTime = new QPushButton(QStringLiteral("Set DAS To Other Date && Time"), this);
    Button_Close = new QPushButton(QStringLiteral("Close"), this);
    Button_Close->setAutoDefault(false);
    Button_SetPCTime->setAutoDefault(false);
    Button_SetOtherTime->setAutoDefault(false);
    connect(Button_SetPCTime, &QPushButton::clicked, this, [this] { Button_SetPCTimeClick(); });
    connect(Button_SetOtherTime, &QPushButton::clicked, this,
            [this] { Button_SetOtherTimeClick(); });
    connect(Button_Close, &QPushButton::clicked, this, [this] { Button_CloseClick(); });

    Timer_Time = new QTimer(this);
    Timer_Time->setInterval(kClockQueryMs);
    connect(Timer_Time, &QTimer::timeout, this, [this] { Timer_TimeTimer(); });

    auto* grid = new QGridLayout;
    grid->addWidget(Caption(QStringLiteral("PC Date && Time:"), Label_PCTime, this), 0, 0);
    grid->addWidget(Label_PCTime, 0, 1);
    grid->addWidget(Button_SetPCTime, 0, 2);
    grid->addWidget(Caption(QStringLiteral("Other Date && Time:"), Edit_OtherTime, this), 1, 0);
    grid->addWidget(Edit_OtherTime, 1, 1);
    grid->addWidget(Button_SetOtherTime, 1, 2);
    grid->addWidget(Caption(QStringLiteral("DAS Date && Time:"), Label_DASTime, this), 2, 0);
    grid->addWidget(Label_DASTime, 2, 1);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button_Close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);
    resize(kClockWidth, kClockHeight);
}

void TSetTimeForm::SendDateQuery()
{
    if (Das == nullptr) {
        return;
    }
    Das->SendCommand(QStringLiteral("SetConOut Host ") + QString::number(kClockChannel));
    Das->PicoDos(QStringLiteral("Date"));
    Das->SendCommandAt(QStringLiteral("SetConOut Serial 0"), kClockConOutDelayMs);
}

void TSetTimeForm::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TSetTimeForm::hideEvent(QHideEvent* event)
{
    Timer_Time->stop();
    QDialog::hideEvent(event);
}

void TSetTimeForm::FormShow()
{
    const QString now = DateTimeToStr(NowDateTime());
    Label_PCTime->setText(now);
    Edit_OtherTime->setText(now);
    Timer_Time->start();
}

void TSetTimeForm::Timer_TimeTimer()
{
    SendDateQuery();
    Label_PCTime->setText(DateTimeToStr(NowDateTime()));
}

void TSetTimeForm::ReceiveDateReply(const char* bytes, int count)
{
    if (count <= 0) {
        return;
    }
    ParseDasDate(QString::fromLatin1(bytes + 1, count - 1));
}

std::optional<double> TSetTimeForm::ParseDasDateTime(const QString& text)
{
    const QRegularExpressionMatch m = DasDatePattern().match(text);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    const QDate date(m.captured(3).toInt(), MonthOf(m.captured(1)), m.captured(2).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid()) {
        return std::nullopt;
    }
    return DateTimeToValue(QDateTime(date, time));
}

void TSetTimeForm::ParseDasDate(const QString& text)
{
    if (const std::optional<double> value = ParseDasDateTime(text)) {
        SetDasDate(*value);
        return;
    }
    // A reply that keeps failing must not stack a box each second.
    if (reporting_) {
        return;
    }
    reporting_ = true;
    QString quoted = text.trimmed();
    if (quoted.size() > kMaxQuotedReplyChars) {
        quoted = quoted.left(kMaxQuotedReplyChars) + QStringLiteral("...");
    }
    ShowMessage(QLatin1Char('\'') + quoted + QStringLiteral("' is not a valid date and time"));
    reporting_ = false;
}

void TSetTimeForm::SetDasDate(double value)
{
    Label_DASTime->setText(DateTimeToStr(value));
}

void TSetTimeForm::Button_SetPCTimeClick()
{
    const QString text = DasDateText(NowDateTime() + kHalfSecondDays);
    if (text.isEmpty()) {
        ShowMessage(kInvalidDateText);
        return;
    }
    SendPicoDosDate(text);
}

void TSetTimeForm::Button_SetOtherTimeClick()
{
    // Typed in the PC's format, sent in the DAS's. A time alone names no day to set.
    const std::optional<double> value = StrToDateAndTime(Edit_OtherTime->text());
    const QString text = value ? DasDateText(*value) : QString();
    if (text.isEmpty()) {
        ShowMessage(kInvalidDateText);
        return;
    }
    SendPicoDosDate(text);
}

void TSetTimeForm::Button_CloseClick()
{
    Timer_Time->stop();
    close();
}

// The main window hands the clock channel's data to the clock window.
void TDASDesktopForm::ReceiveDateReply(const char* bytes, int count)
{
    if (SetTimeForm != nullptr) {
        SetTimeForm->ReceiveDateReply(bytes, count);
    }
}
