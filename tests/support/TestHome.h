#pragma once
// Test programs and benchmarks keep the program's settings and data folders in a temporary
// folder of their own, so they never touch an operator's station, and show their windows on the
// offscreen platform unless a platform was chosen.

#include <QByteArray>
#include <QTemporaryDir>

// Call before the application object is made; `home` must outlive the program's run.
inline void UseTestHome(const QTemporaryDir& home)
{
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}
