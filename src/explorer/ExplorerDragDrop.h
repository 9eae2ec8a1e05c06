#pragma once
// How the explorer exchanges files with other programs, and with itself, by drag and drop.
// The explorer owns what a drag or a drop means for the DAS (its handlers, TDASExplorerForm's
// DropFileSource1Drop, DropFileTarget1DragOver/Drop and DropFileTarget2DragOver/Drop); the
// drag-and-drop layer owns the mechanics: it runs the drag out of the list (IExplorerDragSource)
// and watches the list's and the tree's viewports for drops, calling the handlers.
//
// TExplorerDragDrop is the layer of the program, made of the drag and drop components
// (Dropsource.h, Droptarget.h). Tests put another in with SetExplorerDragDropMaker
// (Dasexplorer.h) or TDASExplorerForm::SetDragSource.
//
// UI thread only.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "explorer/Dropsource.h"
#include "explorer/Droptarget.h"

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
    // over; only those are offered from then on. A target in another program may ask only
    // after the drag has ended.
    virtual void Execute(const QStringList& files) = 0;
};

// The explorer's drag source and its two drop targets: files go out as local files of the
// cache folder, fetched when a target outside the window first asks for them, and come in
// from file URLs; the list's target follows the list's view style.
class TExplorerDragDrop final : public QObject, public IExplorerDragSource {
    Q_OBJECT
public:
    // Watches `form`'s list and tree (the form outlives this object).
    explicit TExplorerDragDrop(TDASExplorerForm& form);
    void Execute(const QStringList& files) override;

    TDropFileSource DropFileSource1;
    TDropFileTarget DropFileTarget1;  // the list
    TDropFileTarget DropFileTarget2;  // the tree

private:
    using TDragOverHandler = std::function<void(const QPoint& point)>;
    using TDropHandler = std::function<void(const QPoint& point, const QStringList& files)>;
    // Makes `target` call the explorer's handlers.
    void Serve(TDropFileTarget& target, TDragOverHandler over, TDropHandler drop);
    void RegisterList();

    TDASExplorerForm& form_;
};
