#pragma once
// A drag played onto a widget as the events Qt delivers to the one under the cursor (for a
// view, its viewport): each answers the action the widget took, none when it did not accept.

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QWidget>

constexpr Qt::DropActions kAllDropActions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

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
