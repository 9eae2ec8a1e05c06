#pragma once
// How the explorer exchanges files with other programs, and with itself, by drag and drop.
// The explorer owns what a drag or a drop means for the DAS (its handlers, TDASExplorerForm's
// DropFileSource1Drop, DropFileTarget1DragOver/Drop and DropFileTarget2DragOver/Drop); the
// drag-and-drop layer owns the mechanics: it runs the drag out of the list (IExplorerDragSource)
// and watches the list's and the tree's viewports for drops, calling the handlers.
//
// TQtDragDrop is a plain layer on Qt's own drag and drop: files go out as file URLs and come
// in from file URLs. Another layer takes its place through SetExplorerDragDropMaker
// (Dasexplorer.h) for the windows made from then on, or TDASExplorerForm::SetDragSource.
//
// UI thread only.

#include <QObject>
#include <QString>
#include <QStringList>

class QDropEvent;
class TDASExplorerForm;

// A list entry taken along by a drag out of the list: its name and whether it is a folder.
struct TDragName {
    QString name;
    bool folder = false;
};

// The drag-and-drop layer of one explorer window: the drag out of its list, and the drop
// targets on the list (target 1) and the tree (target 2), which the layer sets up when it is
// made and removes when it goes. Both targets take copies only.
class IExplorerDragSource {
public:
    virtual ~IExplorerDragSource() = default;
    // Runs one drag offering `files` (paths in the explorer's cache folder, not yet fetched)
    // until it has ended. When a target accepts the drop, the source first calls the
    // explorer's DropFileSource1Drop (whether the drop lands outside the explorer's window),
    // which fetches the files a drop outside needs and returns the ones that may be handed
    // over; only those are offered from then on.
    virtual void Execute(const QStringList& files) = 0;
};

// Qt's drag and drop for the explorer: file URLs out, file URLs in.
class TQtDragDrop final : public QObject, public IExplorerDragSource {
    Q_OBJECT
public:
    // Watches `form`'s list and tree viewports for drops (the form outlives this object).
    explicit TQtDragDrop(TDASExplorerForm& form);
    void Execute(const QStringList& files) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool IsOwnDrag(const QDropEvent& event) const;
    QStringList DroppedFiles(const QDropEvent& event) const;

    TDASExplorerForm& form_;
    // The files of the drag running from this window, and whether the drop event was raised.
    QStringList dragFiles_;
    bool dragging_ = false;
};
