#include "desktop/Browsefolders.h"

#include <QWidget>

#include "platform/Prompt.h"

TBrowseFolders::TBrowseFolders(QWidget* owner) : QObject(owner) {}

bool TBrowseFolders::Execute()
{
    std::optional<QString> chosen = Prompt().BrowseFolder(Title, Folder);
    if (!chosen || chosen->isEmpty()) {
        return false;
    }
    QString path = *chosen;
    // Callers add their own separator.
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    Folder = path;
    return true;
}

bool TBrowseFolders::Execute(QWidget* parent)
{
    // The prompt service parents its dialogs to the active window, which is the caller's.
    Q_UNUSED(parent);
    return Execute();
}
