// The terminal panes' scroll bars: painted again only when what they show changes (once a
// held change is over), in bands the UI thread paints alone, with the operator's press shown,
// and still laid out on resize.
#include "desktop/TerminalScrollBar.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTextCursor>
#include <cstdlib>
#include <vector>

#include "support/QtHelpers.h"

namespace {

// Counts the paintings of a pane's viewport and bars, and the value each bar last showed.
class TPaintLog final : public QObject {
public:
    explicit TPaintLog(QPlainTextEdit& pane) : pane_(pane) {}

    // Watches the pane's viewport and its bars as they are now.
    void Watch()
    {
        pane_.viewport()->installEventFilter(this);
        pane_.horizontalScrollBar()->installEventFilter(this);
        pane_.verticalScrollBar()->installEventFilter(this);
    }

    void Reset()
    {
        horizontal = 0;
        vertical = 0;
    }

    int viewport = 0;
    int horizontal = 0;
    int vertical = 0;
    int verticalShown = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint) {
            return false;
        }
        if (watched == pane_.viewport()) {
            ++viewport;
        } else if (watched == pane_.horizontalScrollBar()) {
            ++horizontal;
        } else if (watched == pane_.verticalScrollBar()) {
            ++vertical;
            verticalShown = pane_.verticalScrollBar()->value();
        }
        return false;
    }

private:
    QPlainTextEdit& pane_;
};

// A style that notes the rows and the state of every scroll bar painting.
class TRecordingStyle final : public QProxyStyle {
public:
    TRecordingStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override
    {
        if (control == CC_ScrollBar) {
            // The rows of the bar this painting reaches.
            const int top = -static_cast<int>(painter->transform().dy());
            bands.push_back(QRect(0, top, widget->width(), painter->device()->height()));
            active = option->activeSubControls;
            sunken = (option->state & State_Sunken) != 0;
        }
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }

    mutable std::vector<QRect> bands;
    mutable SubControls active = SC_None;
    mutable bool sunken = false;
};

// Whether two pictures are the same size and differ nowhere by more than the rounding of
// blending a picture in parts (one step in 255 on a colour or alpha).
bool SameLook(const QImage& a, const QImage& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    const QImage left = a.convertToFormat(QImage::Format_ARGB32);
    const QImage right = b.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < left.height(); ++y) {
        for (int x = 0; x < left.width(); ++x) {
            const QRgb p = left.pixel(x, y);
            const QRgb q = right.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > 1 || std::abs(qGreen(p) - qGreen(q)) > 1 ||
                std::abs(qBlue(p) - qBlue(q)) > 1 || std::abs(qAlpha(p) - qAlpha(q)) > 1) {
                return false;
            }
        }
    }
    return true;
}

class TerminalScrollBarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pane.setLineWrapMode(QPlainTextEdit::NoWrap);
        pane.setUndoRedoEnabled(false);
        TPaneScrollBar::Install(&pane);
        log.Watch();
        pane.resize(220, 300);
        pane.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    }

    // Appends as the terminal does, optionally keeping the newest text in sight.
    void Append(const QString& text, bool follow)
    {
        QTextCursor end(pane.document());
        end.movePosition(QTextCursor::End);
        end.insertText(text);
        if (follow) {
            pane.moveCursor(QTextCursor::End);
            pane.ensureCursorVisible();
        }
    }

    // Waits until everything the changes so far asked for has been painted: two paintings of
    // the viewport asked for after them, so that whatever was queued before has run.
    void Settle()
    {
        for (int i = 0; i < 2; ++i) {
            const int before = log.viewport;
            pane.viewport()->update();
            ASSERT_TRUE(WaitUntil([&] { return log.viewport > before; }));
        }
    }

    static QString Lines(int count, int first)
    {
        QString text;
        for (int i = 0; i < count; ++i) {
            text += QStringLiteral("line %1\n").arg(first + i);
        }
        return text;
    }

    // Outlives the pane, whose bar may be painted with it.
    TRecordingStyle style;
    QPlainTextEdit pane;
    TPaintLog log{pane};
};

TEST_F(TerminalScrollBarTest, PanesGetThemAlwaysShown)
{
    EXPECT_NE(qobject_cast<TPaneScrollBar*>(pane.horizontalScrollBar()), nullptr);
    EXPECT_NE(qobject_cast<TPaneScrollBar*>(pane.verticalScrollBar()), nullptr);
    EXPECT_EQ(pane.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(pane.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(pane.horizontalScrollBar()->isVisible());
    EXPECT_TRUE(pane.verticalScrollBar()->isVisible());
}

TEST_F(TerminalScrollBarTest, ABarLooksAsTheStyleDrawsAnyScrollBar)
{
    // Painted in bands, the bar still shows what one painting of a standard bar in the same
    // state shows: tall and wide, at an end and in between.
    for (const Qt::Orientation orientation : {Qt::Vertical, Qt::Horizontal}) {
        for (const int value : {0, 37, 100}) {
            TPaneScrollBar ours(orientation);
            QScrollBar standard(orientation);
            for (QScrollBar* bar : {static_cast<QScrollBar*>(&ours), &standard}) {
                bar->setRange(0, 100);
                bar->setPageStep(20);
                bar->setValue(value);
                bar->resize(orientation == Qt::Vertical ? QSize(16, 450) : QSize(450, 16));
            }
            EXPECT_TRUE(SameLook(ours.grab().toImage(), standard.grab().toImage()))
                << "orientation " << orientation << ", value " << value;
        }
    }
}

TEST_F(TerminalScrollBarTest, TextThatLeavesTheBarsLookingTheSamePaintsNeither)
{
    // One long line: more of it widens the horizontal range far beyond the slider's smallest
    // size, and the vertical bar has nothing to scroll.
    Append(QString(4000, QLatin1Char('A')), false);
    Settle();
    ASSERT_GT(pane.horizontalScrollBar()->maximum(), 0);
    ASSERT_EQ(pane.verticalScrollBar()->maximum(), 0);
    log.Reset();
    const int range = pane.horizontalScrollBar()->maximum();
    for (int i = 0; i < 5; ++i) {
        Append(QString(300, QLatin1Char('B')), false);
        Settle();
    }
    EXPECT_GT(pane.horizontalScrollBar()->maximum(), range);
    EXPECT_EQ(log.horizontal, 0);
    EXPECT_EQ(log.vertical, 0);
}

TEST_F(TerminalScrollBarTest, ABarThatChangesOnScreenShowsWhereItEnds)
{
    QScrollBar* bar = pane.verticalScrollBar();
    Append(Lines(100, 0), true);
    Settle();
    const int before = bar->value();
    log.Reset();

    // Twice the lines: the slider halves and moves on to the newest line.
    Append(Lines(100, 100), true);
    Settle();
    EXPECT_GE(log.vertical, 1);
    EXPECT_GT(bar->value(), before);
    EXPECT_EQ(log.verticalShown, bar->value());

    // The operator goes back to the top, and more text (kept out of sight) moves nothing.
    bar->setValue(0);
    Settle();
    EXPECT_EQ(log.verticalShown, 0);
    Append(Lines(5, 200), false);
    Settle();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(log.verticalShown, 0);
}

TEST_F(TerminalScrollBarTest, HeldBarsArePaintedOnlyWhereTheChangesEnd)
{
    QScrollBar* bar = pane.verticalScrollBar();
    Append(Lines(100, 0), true);
    Settle();
    const int end = bar->value();
    ASSERT_GT(end, 10);
    log.Reset();

    // To the top and back while held: nothing to paint.
    {
        const TPaneBarsHold hold(&pane);
        bar->setValue(0);
        bar->setValue(end);
    }
    Settle();
    EXPECT_EQ(log.vertical, 0);

    // To the top and on to the middle: painted once, in the middle.
    {
        const TPaneBarsHold hold(&pane);
        bar->setValue(0);
        bar->setValue(end / 2);
    }
    Settle();
    EXPECT_EQ(log.vertical, 1);
    EXPECT_EQ(log.verticalShown, end / 2);
}

TEST_F(TerminalScrollBarTest, AResizedPaneStillLaysOutItsBars)
{
    Append(Lines(100, 0), true);
    Settle();
    pane.resize(300, 420);
    const QRect inside = pane.contentsRect();
    QScrollBar* vertical = pane.verticalScrollBar();
    QScrollBar* horizontal = pane.horizontalScrollBar();
    ASSERT_TRUE(WaitUntil([&] {
        return vertical->mapTo(&pane, QPoint(vertical->width(), 0)).x() == inside.right() + 1 &&
               horizontal->mapTo(&pane, QPoint(0, horizontal->height())).y() ==
                   inside.bottom() + 1;
    }));
    EXPECT_GT(vertical->height(), 300);
    EXPECT_GT(horizontal->width(), 220);
}

TEST_F(TerminalScrollBarTest, PaintsInLowBandsAndShowsThePressedSlider)
{
    pane.resize(220, 500);
    Append(Lines(300, 0), true);
    Settle();
    QScrollBar* bar = pane.verticalScrollBar();
    bar->setStyle(&style);
    style.bands.clear();
    bar->repaint();

    // The raster engine shares out fills of about a hundred rows and more over its thread
    // pool: every band stays below that, and together they cover the bar.
    ASSERT_GT(bar->height(), 200);
    ASSERT_FALSE(style.bands.empty());
    QRegion covered;
    for (const QRect& band : style.bands) {
        EXPECT_FALSE(band.isEmpty());
        EXPECT_LT(band.height(), 96);
        covered += band;
    }
    EXPECT_EQ(covered, QRegion(bar->rect()));
    EXPECT_FALSE(style.sunken);

    // Pressed on its slider, the bar shows it pressed until it is let go.
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.pageStep = bar->pageStep();
    option.singleStep = bar->singleStep();
    const QPoint slider =
        style.subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar)
            .center();
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, slider);
    bar->repaint();
    EXPECT_TRUE(style.sunken);
    EXPECT_TRUE(style.active & QStyle::SC_ScrollBarSlider);
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, slider);
    bar->repaint();
    EXPECT_FALSE(style.sunken);
}

}  // namespace
