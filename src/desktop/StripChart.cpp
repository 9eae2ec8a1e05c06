#include "desktop/StripChart.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

constexpr int kChartWidth = 200;
constexpr int kChartHeight = 110;
constexpr int kLegendGap = 6;

}  // namespace

TStripChart::TStripChart(int gridPx, int stepPx, QWidget* parent)
    : QWidget(parent), gridPx_(std::max(gridPx, 2)), stepPx_(std::max(stepPx, 1))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int TStripChart::AddSeries(const QString& legend, const QColor& colour)
{
    series_.push_back({legend, colour, 0, {}});
    return static_cast<int>(series_.size()) - 1;
}

void TStripChart::SetFullScale(double value) { fullScale_ = value > 0 ? value : 1; }

void TStripChart::SetPoint(int series, double value)
{
    if (series >= 0 && series < static_cast<int>(series_.size())) {
        series_[static_cast<size_t>(series)].next = value;
    }
}

void TStripChart::Advance()
{
    // Enough points to span the widest the chart gets; older ones have scrolled out.
    const size_t kept = static_cast<size_t>(std::max(width(), kChartWidth) / stepPx_ + 2);
    for (TSeries& s : series_) {
        s.points.push_back(s.next);
        while (s.points.size() > kept) {
            s.points.pop_front();
        }
    }
    scrolled_ = (scrolled_ + stepPx_) % gridPx_;
    update();
}

std::vector<double> TStripChart::Points(int series) const
{
    if (series < 0 || series >= static_cast<int>(series_.size())) {
        return {};
    }
    const auto& points = series_[static_cast<size_t>(series)].points;
    return {points.begin(), points.end()};
}

QSize TStripChart::sizeHint() const { return {kChartWidth, kChartHeight}; }

void TStripChart::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QRect area = rect();
    painter.fillRect(area, palette().color(QPalette::Base));

    painter.setPen(palette().color(QPalette::Midlight));
    for (int x = area.right() - scrolled_; x >= 0; x -= gridPx_) {
        painter.drawLine(x, 0, x, area.bottom());
    }
    for (int y = area.bottom(); y >= 0; y -= gridPx_) {
        painter.drawLine(0, y, area.right(), y);
    }

    painter.setRenderHint(QPainter::Antialiasing);
    const double height = area.height() - 1;
    for (const TSeries& s : series_) {
        QPainterPath path;
        int x = area.right();
        for (auto it = s.points.rbegin(); it != s.points.rend(); ++it, x -= stepPx_) {
            const double share = std::clamp(*it / fullScale_, 0.0, 1.0);
            const QPointF point(x, height - share * height);
            if (it == s.points.rbegin()) {
                path.moveTo(point);
            } else {
                path.lineTo(point);
            }
        }
        painter.setPen(QPen(s.colour, 1.5));
        painter.drawPath(path);
    }

    painter.setRenderHint(QPainter::Antialiasing, false);
    int left = kLegendGap;
    const int baseline = painter.fontMetrics().ascent() + 2;
    for (const TSeries& s : series_) {
        painter.setPen(s.colour);
        painter.drawText(left, baseline, s.legend);
        left += painter.fontMetrics().horizontalAdvance(s.legend) + 2 * kLegendGap;
    }
}
