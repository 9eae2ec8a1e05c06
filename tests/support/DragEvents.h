#pragma once
// A drag played onto a widget as the events Qt delivers to the one under the cursor (for a
// view, its viewport): each answers the action the widget took, none when it did not accept.
// Every drag begins with its enter.

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QWidget>

constexpr Qt::DropActions kAllDropActions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

// Takes every drag that enters it.
class TDragSink final : public QWidget {
public:
    TDragSink() { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { event->acceptProposedAction(); }
};

// Qt remembers the widget that took a drag's enter until a drop or a leave ends the drag, and
// sends every move and drop there. A drag played here may stop after a move, leaving Qt
// pointing at a widget that is gone by the next drag; a next enter that nobody takes would then
// send its moves to that widget. So each drag played here starts as a real one does, with no
// widget remembered: a sink of its own takes an enter and a leave first.
inline void ForgetDragTarget(const QMimeData* data)
{
    TDragSink sink;
    QDragEnterEvent enter(QPoint(0, 0), Qt::CopyAction, data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&sink, &enter);
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(&sink, &leave);
}

template <typename TEvent>
Qt::DropAction SendDragEvent(QWidget* to, QPoint at, const QMimeData* data, Qt::DropActions offer,
                             Qt::KeyboardModifiers keys, Qt::MouseButtons buttons)
{
    TEvent event(at, offer, data, buttons, keys);
    QCoreApplication::sendEvent(to, &event);
    return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
}

inline Qt::DropAction SendDragEnter(QWidget* to, QPoint at, const QMimeData* data,
                                    Qt::DropActions offer = kAllDropActions,
                                    Qt::KeyboardModifiers keys = {})
{
    ForgetDragTarget(data);
    return SendDragEvent<QDragEnterEvent>(to, at, data, offer, keys, Qt::LeftButton);
}

inline Qt::DropAction SendDragMove(QWidget* to, QPoint at, const QMimeData* data,
                                   Qt::DropActions offer = kAllDropActions,
                                   Qt::KeyboardModifiers keys = {})
{
    return SendDragEvent<QDragMoveEvent>(to, at, data, offer, keys, Qt::LeftButton);
}

inline Qt::DropAction SendDrop(QWidget* to, QPoint at, const QMimeData* data,
                               Qt::DropActions offer = kAllDropActions,
                               Qt::KeyboardModifiers keys = {})
{
    return SendDragEvent<QDropEvent>(to, at, data, offer, keys, Qt::NoButton);
}

inline void SendDragLeave(QWidget* to)
{
    QDragLeaveEvent event;
    QCoreApplication::sendEvent(to, &event);
}

// Enters at `at`, moves there and drops: the action of the drop.
inline Qt::DropAction PlayDrop(QWidget* to, QPoint at, const QMimeData* data,
                               Qt::DropActions offer = kAllDropActions,
                               Qt::KeyboardModifiers keys = {})
{
    SendDragEnter(to, at, data, offer, keys);
    SendDragMove(to, at, data, offer, keys);
    return SendDrop(to, at, data, offer, keys);
}
