#pragma once
// The scroll bars of the terminal panes: a bar is painted again only when what it shows has
// changed (its slider moved or resized on screen, an end reached or left, or the operator
// pointing at it or pressing it), and its painting stays on the UI thread.
//
// UI thread only.

#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <optional>

class QAbstractScrollArea;

// A pane's scroll bar that paints only what changed.
class TPaneScrollBar final : public QScrollBar {
    Q_OBJECT

public:
    explicit TPaneScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    // Gives `pane` bars of this kind, both always shown. A change of a bar's range then no
    // longer lays the pane out again (with both bars always there nothing can move), which
    // would repaint both of its bars after each piece of text.
    static void Install(QAbstractScrollArea* pane);

    // While held, changes of range and value only note that the bar may look different; the
    // last release paints it if it does. A change of the pane's text moves a bar several times
    // (the oldest text goes, the newest comes, the view follows it) and often ends where it
    // started.
    void Hold();
    void Release();

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // What the bar shows on screen of its range and value.
    struct TLook {
        QRect slider;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const TLook&) const = default;
    };
    TLook Look() const;
    QStyleOptionSlider PaintOption() const;

    std::optional<TLook> painted_;
    QStyle::SubControl pressed_ = QStyle::SC_None;
    int holds_ = 0;
    bool changedWhileHeld_ = false;
};

// Holds both bars of a pane for as long as it lives (bars of another kind are left alone).
class TPaneBarsHold {
public:
    explicit TPaneBarsHold(QAbstractScrollArea* pane);
    ~TPaneBarsHold();
    TPaneBarsHold(const TPaneBarsHold&) = delete;
    TPaneBarsHold& operator=(const TPaneBarsHold&) = delete;

private:
    QPointer<TPaneScrollBar> bars_[2];
};
