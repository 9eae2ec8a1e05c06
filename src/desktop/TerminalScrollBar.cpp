#include "desktop/TerminalScrollBar.h"

#include <QAbstractScrollArea>
#include <QCursor>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace {

// The raster engine splits a fill taller than about a hundred rows over its thread pool, and
// waking the pool for a bar's few pixels costs more than the fill itself. A bar painted in
// bands lower than that is painted on the UI thread alone.
constexpr int kPaintBandRows = 64;

}  // namespace

TPaneScrollBar::TPaneScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent)
{
}

void TPaneScrollBar::Install(QAbstractScrollArea* pane)
{
    pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pane->setHorizontalScrollBar(new TPaneScrollBar(Qt::Horizontal));
    pane->setVerticalScrollBar(new TPaneScrollBar(Qt::Vertical));
    // The pane shows or hides its bars as their ranges change; with both always shown that
    // only lays the pane out again as it was.
    for (QScrollBar* bar : {pane->horizontalScrollBar(), pane->verticalScrollBar()}) {
        QObject::disconnect(bar, &QAbstractSlider::rangeChanged, pane, nullptr);
    }
}

TPaneScrollBar::TLook TPaneScrollBar::Look() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    TLook look;
    look.slider =
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    look.atMinimum = value() <= minimum();
    look.atMaximum = value() >= maximum();
    return look;
}

void TPaneScrollBar::sliderChange(SliderChange change)
{
    if (change != SliderOrientationChange) {
        if (holds_ > 0) {
            changedWhileHeld_ = true;
            return;
        }
        // A new range or value that leaves the bar looking the same needs no painting: the
        // pane's text moves on every refresh, its bars far less often.
        if (painted_ && Look() == *painted_) {
            return;
        }
    }
    QScrollBar::sliderChange(change);
}

void TPaneScrollBar::Hold() { ++holds_; }

void TPaneScrollBar::Release()
{
    if (holds_ == 0 || --holds_ > 0 || !changedWhileHeld_) {
        return;
    }
    changedWhileHeld_ = false;
    if (!painted_ || Look() != *painted_) {
        update();
    }
}

TPaneBarsHold::TPaneBarsHold(QAbstractScrollArea* pane)
    : bars_{qobject_cast<TPaneScrollBar*>(pane->horizontalScrollBar()),
            qobject_cast<TPaneScrollBar*>(pane->verticalScrollBar())}
{
    for (TPaneScrollBar* bar : bars_) {
        if (bar != nullptr) {
            bar->Hold();
        }
    }
}

TPaneBarsHold::~TPaneBarsHold()
{
    for (TPaneScrollBar* bar : bars_) {
        if (bar != nullptr) {
            bar->Release();
        }
    }
}

QStyleOptionSlider TPaneScrollBar::PaintOption() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_All;
    if (pressed_ != QStyle::SC_None) {
        option.activeSubControls = pressed_;
        option.state |= QStyle::State_Sunken;
    } else if (underMouse()) {
        option.activeSubControls = style()->hitTestComplexControl(
            QStyle::CC_ScrollBar, &option, mapFromGlobal(QCursor::pos()), this);
    }
    return option;
}

void TPaneScrollBar::paintEvent(QPaintEvent* event)
{
    const QStyleOptionSlider option = PaintOption();
    const qreal ratio = devicePixelRatio();
    const int bandRows = std::max(1, static_cast<int>(kPaintBandRows / ratio));
    QPainter painter(this);
    const QRect area = event->rect();
    // Each band is drawn whole into an image of its own height, so a style that sets its own
    // clip still cannot hand the raster engine a taller fill.
    for (int top = area.top(); top <= area.bottom(); top += bandRows) {
        const int rows = std::min(bandRows, area.bottom() + 1 - top);
        QImage band(QSize(width(), rows) * ratio, QImage::Format_ARGB32_Premultiplied);
        band.setDevicePixelRatio(ratio);
        band.fill(Qt::transparent);
        {
            QPainter bandPainter(&band);
            bandPainter.translate(0, -top);
            style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &bandPainter, this);
        }
        painter.drawImage(QPoint(0, top), band);
    }
    painted_ = Look();
}

void TPaneScrollBar::mousePressEvent(QMouseEvent* event)
{
    QScrollBar::mousePressEvent(event);
    if (isSliderDown()) {
        pressed_ = QStyle::SC_ScrollBarSlider;
    } else if (event->button() == Qt::LeftButton && minimum() < maximum()) {
        QStyleOptionSlider option;
        initStyleOption(&option);
        pressed_ = style()->hitTestComplexControl(QStyle::CC_ScrollBar, &option,
                                                  event->position().toPoint(), this);
    }
}

void TPaneScrollBar::mouseReleaseEvent(QMouseEvent* event)
{
    pressed_ = QStyle::SC_None;
    QScrollBar::mouseReleaseEvent(event);
    update();
}
