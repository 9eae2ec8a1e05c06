// The explorer's side of drag and drop: dragging the list's entries out, the drag source's
// drop event, and what a drop on the list or the tree does on the DAS. The mechanics are the
// drag-and-drop layer's (ExplorerDragDrop.h).
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QTreeView>
#include <cstdlib>

#include "explorer/Dasexplorer.h"
#include "explorer/ExplorerListView.h"
#include "link/Global.h"
#include "platform/Prompt.h"

void TDASExplorerForm::ListView1MouseMove(const QPoint& pos, Qt::MouseButtons buttons)
{
    if (dragging_ || !(buttons & (Qt::LeftButton | Qt::RightButton))) {
        return;
    }
    if (std::abs(pos.x() - pressPoint_.x()) < kDragThresholdPx &&
        std::abs(pos.y() - pressPoint_.y()) < kDragThresholdPx) {
        return;
    }
    const std::vector<TExplorerEntry> entries = SelectedEntries();
    if (entries.empty()) {
        return;
    }
    dragging_ = true;
    dragEntries_ = entries;
    dragFiles_.clear();
    dragNames_.clear();
    for (const TExplorerEntry& entry : entries) {
        // A name that would reach outside the cache folder is not offered as a file.
        if (IsSafeRelativePath(entry.name)) {
            dragFiles_ << CacheDir() + entry.name;
        }
        dragNames_.push_back({entry.name, entry.folder});
    }
    if (dragSource_ != nullptr) {
        dragSource_->Execute(dragFiles_);
    }
    dragging_ = false;
    internalDrop_ = false;
}

QStringList TDASExplorerForm::DropFileSource1Drop(bool outsideWindow)
{
    QStringList offered = dragFiles_;
    if (outsideWindow) {
        // Only what was dragged is fetched, whatever the selection became since; a file
        // that did not come is not handed over, nor is an older copy of it. This runs inside
        // the data request of the program the files are dropped on: the boxes of the fetches
        // that failed open once the files that came are handed over.
        const THeldMessageBoxes afterTheRequest;
        QStringList fetched;
        GetEntries(CacheDir(), dragEntries_, &fetched);
        offered.clear();
        for (const QString& file : dragFiles_) {
            if (fetched.contains(file)) {
                offered << file;
            } else if (QFileInfo(file).isFile()) {
                QFile::remove(file);
            }
        }
    }
    // Only a drop on this window's own targets is a drop of its own drag: a program outside
    // may ask for the files after the drag has ended, and nothing would clear the mark then.
    internalDrop_ = !outsideWindow;
    return offered;
}

void TDASExplorerForm::DropFileTarget1DragOver(const QPoint& pos)
{
    if (isActiveWindow()) {
        return;
    }
    const int row = ListView1->RowAt(pos);
    if (row >= 0 && listModel_.item(row, kColSize)->text() == QLatin1String("<DIR>")) {
        ListView1->Selection()->select(listModel_.index(row, kColName),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    } else {
        ListView1->Selection()->clearSelection();
    }
}

void TDASExplorerForm::DropFileTarget1Drop(const QPoint& pos, const QStringList& files)
{
    QString target;
    const int row = ListView1->RowAt(pos);
    if (row >= 0 && listModel_.item(row, kColSize)->text() == QLatin1String("<DIR>")) {
        target = listModel_.item(row, kColName)->text() + QLatin1Char('\\');
    }
    Drop(target, files, false);
}

void TDASExplorerForm::DropFileTarget2DragOver(const QPoint& pos)
{
    const QModelIndex node = TreeView1->indexAt(pos);
    if (node.isValid()) {
        TreeView1->selectionModel()->setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
    } else {
        ListView1->Selection()->clearSelection();
    }
}

void TDASExplorerForm::DropFileTarget2Drop(const QPoint& pos, const QStringList& files)
{
    const QModelIndex node = TreeView1->indexAt(pos);
    Drop(node.isValid() ? IncludeTrailingBackslash(GetNodePath(node)) : QString(), files, true);
}

void TDASExplorerForm::Drop(const QString& target, const QStringList& files, bool onTree)
{
    if (internalDrop_) {
        // The DAS copies its own entries; a folder is made empty, its contents stay.
        for (const TDragName& dragged : dragNames_) {
            if (target.isEmpty()) {
                break;
            }
            if (!IsDasCommandName(dragged.name, false)) {
                ShowMessage(NotADasFileNameMessage(dragged.name));
                continue;
            }
            SendPicoDos(dragged.folder
                            ? QStringLiteral("MkDir ") + target + dragged.name
                            : QStringLiteral("Copy ") + dragged.name + QLatin1Char(' ') + target);
        }
    } else {
        const TBusyScope busy(*this);
        for (const QString& path : files) {
            const QFileInfo info(path);
            if (info.isFile()) {
                Transfers().SendFile(path, target);
            } else if (info.isDir()) {
                // A folder's own name, also when the path ends in a separator.
                QString folder = path;
                while (folder.size() > 1 &&
                       (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))) {
                    folder.chop(1);
                }
                const QString name = ToDasFileName(folder);
                if (!IsDasCommandName(name, false)) {
                    ShowMessage(NotADasFileNameMessage(name));
                    continue;
                }
                SendPicoDos(QStringLiteral("MkDir ") + target + name);
            }
        }
    }
    if (!files.isEmpty()) {
        if (onTree) {
            SendPicoDos(QStringLiteral("ChDir ") + target);
        }
        RefreshExecute();
    }
    internalDrop_ = false;
}
