#include "platform/UiPost.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <deque>
#include <mutex>

namespace {

// The posted work waits here, under a lock of our own, so the hand-over of each piece of work
// from its thread to the UI thread is plain to see (also to a thread sanitizer, which cannot
// see into Qt's event queue).
std::mutex gPostedLock;
std::deque<std::function<void()>> gPosted;

// UI thread: runs the oldest posted work. One queued call is made per post, so each piece of
// work is an event of its own, in posting order, also for a nested event loop.
void RunOldestPosted()
{
    std::function<void()> work;
    {
        std::lock_guard lock(gPostedLock);
        if (gPosted.empty()) {
            return;
        }
        work = std::move(gPosted.front());
        gPosted.pop_front();
    }
    work();
}

}  // namespace

void PostToUi(std::function<void()> work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;  // no event loop left to run it: the program is ending
    }
    {
        std::lock_guard lock(gPostedLock);
        gPosted.push_back(std::move(work));
    }
    // One receiver object keeps every posted call in posting order.
    QMetaObject::invokeMethod(app, &RunOldestPosted, Qt::QueuedConnection);
}

bool IsUiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}
