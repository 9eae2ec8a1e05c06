#include "link/Das.h"

#include <algorithm>
#include <limits>

#include "link/Host.h"
#include "link/MuxClasses.h"
#include "link/SendQueues.h"
#include "platform/WaitMs.h"

TDas* Das = nullptr;

void SendToDas(const QString& command)
{
    if (Das != nullptr) {
        Das->SendCommand(command);
    }
}

namespace {

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// The number a command ends with, found by scanning back from the end over blanks, then
// digits, but not below index `lowest`.
struct TTrailingNumber {
    qsizetype stop = 0;      // index of the first character not passed (never below lowest - 1)
    QString digits;          // the digits passed; empty when none
    bool passedAny = false;  // whether any blank or digit was passed
};

TTrailingNumber ScanTrailingNumber(const QString& text, qsizetype lowest)
{
    qsizetype i = text.size() - 1;
    while (i >= lowest && text[i] == QLatin1Char(' ')) {
        --i;
    }
    const qsizetype lastDigit = i;
    while (i >= lowest && IsDigit(text[i])) {
        --i;
    }
    TTrailingNumber result;
    result.stop = i;
    result.digits = text.mid(i + 1, lastDigit - i);
    result.passedAny = i < text.size() - 1;
    return result;
}

// SENDSTRING at index p: each character of the quoted text takes 10 × n + 10 ms, n being the
// number the command ends with. The quoted text runs from the first double quote after the
// keyword to the last one before that number.
int64_t SendStringMs(const QString& upper, qsizetype p)
{
    const qsizetype lowest = p + 18;
    const TTrailingNumber number = ScanTrailingNumber(upper, lowest);
    if (number.stop < lowest || number.digits.isEmpty()) {
        return 0;
    }
    const int64_t n = CommandNumber(number.digits, 0);
    const qsizetype open = upper.indexOf(QLatin1Char('"'), p + 10);
    const qsizetype close = upper.lastIndexOf(QLatin1Char('"'), number.stop);
    if (open < 0 || close <= open) {
        return 0;
    }
    return (close - open - 1) * (10 * n + 10);
}

}  // namespace

int TDas::CommandDurationMs(const QString& command)
{
    const QString upper = UpperAscii(command);
    if (const std::optional<int64_t> wait = CommandWaitMs(upper)) {
        return SaturateMs(*wait);
    }
    const qsizetype length = upper.size();
    // Indexes here are 0-based: a keyword at index p starts at position p + 1.
    qsizetype p = upper.indexOf(QLatin1String("SENDSTRING"));
    if (p >= 0 && length >= p + 20) {
        return SaturateMs(SendStringMs(upper, p));
    }
    p = upper.indexOf(QLatin1String("SENDBREAK 1 100"));
    if (p >= 0 && length >= p + 14) {
        const TTrailingNumber number = ScanTrailingNumber(upper, p + 12);
        if (number.passedAny) {
            return SaturateMs(10 * static_cast<int64_t>(CommandNumber(number.digits, 0)));
        }
    }
    return 0;
}

int TDas::QueueCommand(const QString& command, int delayMs, TDataList* queue)
{
    const QString text = command.left(kMaxCommandChars);
    if (!text.isEmpty() && !text.startsWith(QLatin1Char(';')) && queue != nullptr) {
        QByteArray bytes = text.toLatin1();
        bytes.append('\0');
        queue->AddTimed(kCommandChannel, bytes.constData(), NextTimedSequence(), delayMs,
                        static_cast<uint32_t>(bytes.size()));
    }
    return SaturateMs(static_cast<int64_t>(delayMs) + CommandDurationMs(text));
}

int TDas::SendCommand(const QString& command) { return SendCommandAt(command, 0); }

int TDas::SendCommandAt(const QString& command, int delayMs)
{
    return QueueCommand(command, delayMs, TimedQueue);
}

int TDas::PicoDos(const QString& command) { return SendCommand(PicoDosCommand(command)); }

QString TDas::PicoDosCommand(const QString& command)
{
    return QStringLiteral("PicoDos \"") + command + QStringLiteral(" \"");
}

int TDas::SendCommandList(const QString& text, int startMs)
{
    if (text.isEmpty()) {
        return startMs;
    }
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (lines.endsWith(QLatin1Char('\n'))) {
        lines.chop(1);
    }
    int t = startMs;
    for (const QString& line : lines.split(QLatin1Char('\n'))) {
        t = SendCommandAt(line, t);
    }
    return t;
}

int TDas::SendTimedLines(const QStringList& lines, int startStamp)
{
    if (Host.DebugMemoVisible()) {
        for (const QString& line : lines) {
            Host.LinkUi().AppendDebugMemo(line);
        }
        Host.LinkUi().KeepDebugMemoTail(kDebugMemoMaxChars);
    }
    int total = 0;
    int previous = startStamp;
    for (const QString& line : lines) {
        if (line.size() < kTimedLineMinLength) {
            continue;
        }
        const int stamp = TimedLineStamp(line, previous);
        const int64_t step = static_cast<int64_t>(stamp) - previous;
        if (step > 0 && step < kMaxTimedLineStep) {
            total = SaturateMs(total + step * 10);
        }
        total = SendCommandAt(TimedLineCommand(line), total);
        previous = stamp;
    }
    return total;
}

int TDas::ResetSeqNum(int number)
{
    return SendCommand(QStringLiteral("ResetSeqNum ") + QString::number(number));
}

void TDas::Wait(int ms)
{
    if (waitForTest_) {
        waitForTest_(ms);
    } else {
        WaitMs(ms);
    }
}

void TDas::Wake()
{
    // The link thread must be parked before anything else writes to the DAS port.
    if (!Host.PauseOrTell(QStringLiteral("the DAS was not woken"))) {
        return;
    }
    Wait(kWakeSettleMs);
    for (int i = 0; i < kWakeBytes; ++i) {
        if (i > 0) {
            Wait(kWakeGapMs);
        }
        Host.WriteRaw(&kWakeByte, 1);
    }
    Host.Unpause();
}

int TDas::SlotIndex(const QString& name) const
{
    if (name.isEmpty()) {
        return -1;
    }
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int TDas::AddSlotName(const QString& name)
{
    if (name.isEmpty()) {
        return 0;
    }
    int index = SlotIndex(name);
    if (index >= 0) {
        ++slots_[index].uses;
        return index + 1;
    }
    const auto free = std::find_if(slots_.begin(), slots_.end(),
                                   [](const TSlot& slot) { return slot.name.isEmpty(); });
    if (free != slots_.end()) {
        index = static_cast<int>(free - slots_.begin());
    } else {
        slots_.emplace_back();
        index = static_cast<int>(slots_.size()) - 1;
    }
    slots_[index] = TSlot{name, 1};
    return index + 1;
}

int TDas::FindSlotName(const QString& name) const { return SlotIndex(name) + 1; }

int TDas::ReleaseSlotName(const QString& name)
{
    const int index = SlotIndex(name);
    if (index < 0) {
        return 0;
    }
    TSlot& slot = slots_[index];
    if (--slot.uses <= 0) {
        slot = TSlot{};
    }
    return index + 1;
}
