// The sample station the demonstration starts with.
#include <QDir>

#include "link/Global.h"
#include "station/ConfigFiles.h"

// Resources of a static library are registered only when something refers to them.
static void InitStationResources() { Q_INIT_RESOURCE(station); }

QString InstallSampleStation()
{
    InitStationResources();
    const QString icf =
        DataSubFolder(QStringLiteral("InternalConfig")) + QStringLiteral("Demo.icf");
    const QString das = DataSubFolder(QStringLiteral("Config")) + QStringLiteral("Demo.das");
    const bool ok = InstallFileIfMissing(QStringLiteral(":/station/Demo.icf"), icf) &&
                    InstallFileIfMissing(QStringLiteral(":/station/Demo.das"), das);
    return ok ? das : QString();
}
