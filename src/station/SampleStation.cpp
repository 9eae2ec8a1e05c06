// The sample station the demonstration starts with.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "link/Global.h"
#include "station/ConfigFiles.h"

// Resources of a static library are registered only when something refers to them.
static void InitStationResources() { Q_INIT_RESOURCE(station); }

namespace {

// Copies the resource to `target` unless a file is already there; true when the file exists
// afterwards. The copy is written whole and stays writable.
bool InstallFile(const QString& resource, const QString& target)
{
    if (QFileInfo::exists(target)) {
        return true;
    }
    QFile source(resource);
    if (!source.open(QIODevice::ReadOnly)) {
        return false;
    }
    QDir().mkpath(QFileInfo(target).absolutePath());
    QSaveFile file(target);
    return file.open(QIODevice::WriteOnly) && file.write(source.readAll()) == source.size() &&
           file.commit();
}

}  // namespace

QString InstallSampleStation()
{
    InitStationResources();
    const QString icf =
        DataSubFolder(QStringLiteral("InternalConfig")) + QStringLiteral("Demo.icf");
    const QString das = DataSubFolder(QStringLiteral("Config")) + QStringLiteral("Demo.das");
    const bool ok = InstallFile(QStringLiteral(":/station/Demo.icf"), icf) &&
                    InstallFile(QStringLiteral(":/station/Demo.das"), das);
    return ok ? das : QString();
}
