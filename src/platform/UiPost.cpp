#include "platform/UiPost.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

void PostToUi(std::function<void()> work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;  // no event loop left to run it: the program is ending
    }
    // One receiver object keeps every posted call in posting order.
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

bool IsUiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}
