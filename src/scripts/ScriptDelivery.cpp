#include "scripts/ScriptDelivery.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include "link/Das.h"
#include "link/Global.h"
#include "link/Host.h"
#include "platform/Prompt.h"

QString ScriptPathOf(const QString& fieldText)
{
    if (fieldText.contains(QLatin1Char('/')) || fieldText.contains(QLatin1Char('\\'))) {
        return fieldText;
    }
    return GetProgramDataDir() + QStringLiteral("Scripts/") + fieldText;
}

void MakeScriptFolder(const QString& path)
{
    QDir().mkpath(QFileInfo(NativePath(path)).absolutePath());
}

bool WriteScriptFile(const QString& path, const QStringList& lines)
{
    QSaveFile file(NativePath(path));
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    for (const QString& line : lines) {
        file.write(line.toLatin1());
        file.write("\r\n");
    }
    return file.commit();
}

bool SaveAndSendScript(const QString& path, const QStringList& lines, bool autoRun)
{
    MakeScriptFolder(path);
    if (!WriteScriptFile(path, lines)) {
        ShowMessage(QStringLiteral("Error Saving File ") + path +
                    QStringLiteral(" -- File Not Saved."));
        return false;
    }
    const bool sent = Host.SendFile(path, QString());
    SendToDas(QStringLiteral("DIR"));
    if (!autoRun) {
        return sent;
    }
    // The DAS would otherwise run a missing or an older script at its next power-up.
    if (!sent) {
        ShowMessage(QStringLiteral("Auto-Run not set: ") + path +
                    QStringLiteral(" did not reach the DAS."));
        return false;
    }
    if (Das != nullptr) {
        Das->PicoDos(QStringLiteral("Set AUTORUN=1"));
        Das->PicoDos(QStringLiteral("Set INITSCRIPT=") + ToDasFileName(path));
    }
    return true;
}
