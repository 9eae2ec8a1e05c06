// The timelines of a generated script: lines placed at times, sorted and written with waits.
#include <algorithm>

#include "link/TimedLines.h"
#include "scripts/ScriptWriter.h"
#include "station/CommandBlocks.h"
#include "station/DeviceClasses.h"

namespace {

int TimedStamp(int64_t time)
{
    return static_cast<int>(std::clamp<int64_t>(time, 0, kMaxTimedLineStamp));
}

}  // namespace

void TTimeline::Add(int64_t time, int& seq, const QString& text)
{
    records_.push_back({TimedStamp(time), seq++, text});
}

void TTimeline::Marker(int64_t time, int& seq) { Add(time, seq, QStringLiteral("    ")); }

void TTimeline::AddBlock(const TScriptDevice& d, int64_t& time, const QStringList& block, int& seq)
{
    QStringList placed;
    int t = TimedStamp(time);
    uint8_t unused = 0;
    AddCommandText(*d.device, placed, t, block, QStringLiteral("Data_") + d.id,
                   QStringLiteral("Serial"), QStringLiteral("    "), unused);
    for (const QString& line : placed) {
        Add(TimedLineStamp(line, t), seq, TimedLineCommand(line));
    }
    time = t;
}

void TTimeline::AddLabel(const TScriptDevice& d, int64_t time, const QString& label,
                         const QString& route, int& seq)
{
    for (const QString& line : SendStringWithStampsLines(
             *d.device, QStringLiteral("    "), QStringLiteral("SendString"), route, label, 0)) {
        Add(time, seq, line);
    }
}

// The places count on past 255 here: a long timeline keeps each device's lines in the order
// they were placed.
void TTimeline::ToScript(QStringList& out, int64_t start) const
{
    std::vector<TTimedRecord> sorted = records_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const TTimedRecord& a, const TTimedRecord& b) {
                         if (a.time != b.time) {
                             return a.time < b.time;
                         }
                         if (a.seq != b.seq) {
                             return a.seq < b.seq;
                         }
                         return QString::compare(a.text, b.text, Qt::CaseInsensitive) < 0;
                     });
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(sorted.size()));
    for (const TTimedRecord& r : sorted) {
        lines << TimedLine(static_cast<int>(r.time), 0, r.text);
    }
    TimedLinesToScript(out, lines, TimedStamp(start));
}
