#pragma once
// Helpers for tests that wait on events rather than sleeping.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <functional>

#include "support/TestWaits.h"

// Runs the event loop until `done` holds or `timeoutMs` passes; returns whether it held.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = kTestWaitMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Waits for `done` without running the event loop, so that nothing posted to the UI thread
// meanwhile (a service pass, a call of the link thread's) runs yet.
inline bool PollUntil(const std::function<bool()>& done, int timeoutMs = kTestWaitMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(1);
    }
    return true;
}

#include <QComboBox>
#include <QStringList>

// The item texts of a list, in order.
inline QStringList ComboItems(const QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}
