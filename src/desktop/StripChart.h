#pragma once
// A scrolling strip chart: each sample of its series moves the chart one step to the left,
// over a grid that scrolls with it, scaled to a full-scale value; each series has its colour and
// a legend.
//
// UI thread only.

#include <QColor>
#include <QString>
#include <QWidget>
#include <deque>
#include <vector>

class TStripChart : public QWidget {
    Q_OBJECT
public:
    // `gridPx` apart grid lines, `stepPx` per sample.
    TStripChart(int gridPx, int stepPx, QWidget* parent = nullptr);

    // Adds a series drawn in `colour` with its legend; returns its index.
    int AddSeries(const QString& legend, const QColor& colour);
    // The value drawn at the top; values are drawn between 0 and it.
    void SetFullScale(double value);
    double FullScale() const { return fullScale_; }
    // Sets the series' next point (taken by the next Advance).
    void SetPoint(int series, double value);
    // Moves the chart one step on with each series' point, and redraws.
    void Advance();
    // The points a series shows, oldest first.
    std::vector<double> Points(int series) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct TSeries {
        QString legend;
        QColor colour;
        double next = 0;
        std::deque<double> points;
    };

    const int gridPx_;
    const int stepPx_;
    double fullScale_ = 1;
    int scrolled_ = 0;  // pixels the grid has moved, modulo the grid
    std::vector<TSeries> series_;
};
