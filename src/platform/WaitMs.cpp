#include "platform/WaitMs.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>

namespace {

// How often the painting-only wait looks for work.
constexpr int kPaintPassMs = 10;

// Holds back what must not happen while the program waits: a timer of the program goes off
// again after its interval (only the tick is skipped), a window stays open.
class TPaintOnlyFilter final : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Timer && qobject_cast<QTimer*>(watched) != nullptr) {
            return true;
        }
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return false;
    }
};

}  // namespace

void WaitMs(int ms)
{
    if (ms <= 0 || QCoreApplication::instance() == nullptr || QCoreApplication::closingDown()) {
        return;
    }
    QEventLoop loop;
    // A precise timer never ends the wait early. When the application exits, every event loop
    // of its thread is told to leave, this one included, and a loop started after that
    // returns at once.
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &loop,
                     &QEventLoop::quit);
    loop.exec();
}

void WaitPaintingOnly(int ms)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (ms <= 0 || app == nullptr) {
        return;
    }
    TPaintOnlyFilter filter;
    app->installEventFilter(&filter);
    const QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kPaintPassMs);
        QThread::msleep(static_cast<unsigned long>(
            std::clamp<qint64>(deadline.remainingTime(), 0, kPaintPassMs)));
    }
    app->removeEventFilter(&filter);
}
