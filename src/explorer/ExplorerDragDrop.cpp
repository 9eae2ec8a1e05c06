#include "explorer/ExplorerDragDrop.h"

#include <QAbstractItemView>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>

#include "explorer/Dasexplorer.h"
#include "explorer/ExplorerListView.h"

namespace {

const QString kUriList = QStringLiteral("text/uri-list");

// The files of a drag out of the list, as file URLs. Another program asking for them means
// a drop outside the window: only then are they fetched, once, and only the ones that came
// are given.
class TOfferedFiles final : public QMimeData {
public:
    TOfferedFiles(TDASExplorerForm& form, const QStringList& files) : form_(form), files_(files) {}

    QStringList formats() const override { return {kUriList}; }
    bool hasFormat(const QString& mimeType) const override { return mimeType == kUriList; }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType /*type*/) const override
    {
        if (mimeType != kUriList) {
            return QVariant();
        }
        if (!fetched_) {
            fetched_ = true;
            files_ = form_.DropFileSource1Drop(true);
        }
        QList<QVariant> urls;
        for (const QString& file : files_) {
            urls << QUrl::fromLocalFile(file);
        }
        return urls;
    }

private:
    TDASExplorerForm& form_;
    mutable QStringList files_;
    mutable bool fetched_ = false;
};

}  // namespace

TQtDragDrop::TQtDragDrop(TDASExplorerForm& form) : QObject(&form), form_(form)
{
    QList<QAbstractItemView*> views = form_.ListView1->Views();
    views << form_.TreeView1;
    for (QAbstractItemView* view : views) {
        view->setAcceptDrops(true);
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
    }
}

void TQtDragDrop::Execute(const QStringList& files)
{
    auto* drag = new QDrag(form_.ListView1->CurrentView());
    drag->setMimeData(new TOfferedFiles(form_, files));
    dragFiles_ = files;
    dragging_ = true;
    drag->exec(Qt::CopyAction, Qt::CopyAction);
    drag->deleteLater();
    dragging_ = false;
    dragFiles_.clear();
}

bool TQtDragDrop::IsOwnDrag(const QDropEvent& event) const
{
    const auto* source = qobject_cast<const QWidget*>(event.source());
    return dragging_ && source != nullptr && form_.isAncestorOf(source);
}

QStringList TQtDragDrop::DroppedFiles(const QDropEvent& event) const
{
    QStringList files;
    for (const QUrl& url : event.mimeData()->urls()) {
        if (url.isLocalFile()) {
            files << url.toLocalFile();
        }
    }
    return files;
}

bool TQtDragDrop::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return false;
    }
    auto* drop = static_cast<QDropEvent*>(event);
    if (!IsOwnDrag(*drop) && !drop->mimeData()->hasUrls()) {
        drop->ignore();
        return true;
    }
    // Both targets only ever copy.
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    const bool onTree = watched == form_.TreeView1->viewport();
    const QPoint pos = drop->position().toPoint();
    if (type == QEvent::DragMove) {
        if (onTree) {
            form_.DropFileTarget2DragOver(pos);
        } else {
            form_.DropFileTarget1DragOver(pos);
        }
    } else if (type == QEvent::Drop) {
        // An own drag raises the source's drop event before the target's drop.
        const QStringList files =
            IsOwnDrag(*drop) ? form_.DropFileSource1Drop(false) : DroppedFiles(*drop);
        if (onTree) {
            form_.DropFileTarget2Drop(pos, files);
        } else {
            form_.DropFileTarget1Drop(pos, files);
        }
    }
    return true;
}
