#include "platform/WaitMs.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

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
