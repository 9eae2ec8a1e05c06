#include "explorer/ExplorerDragDrop.h"

#include <QAbstractItemView>
#include <QTreeView>

#include "explorer/Dasexplorer.h"
#include "explorer/ExplorerListView.h"

TExplorerDragDrop::TExplorerDragDrop(TDASExplorerForm& form) : QObject(&form), form_(form)
{
    // The list's drag copies only and carries no drag image of its own: the desktop shows its
    // usual drag cursor.
    DropFileSource1.Dragtypes = {dtCopy};
    DropFileSource1.ImageHotSpotX = 16;
    DropFileSource1.ImageHotSpotY = 16;
    DropFileSource1.SetShowImage(false);
    DropFileSource1.OnDrop = [this](QObject*, TDragType, bool&) {
        const bool outside = DropFileSource1.DropOutside();
        const QStringList offered = form_.DropFileSource1Drop(outside);
        if (outside) {
            DropFileSource1.SetFiles(offered);
        }
    };

    Serve(
        DropFileTarget1, [this](const QPoint& point) { form_.DropFileTarget1DragOver(point); },
        [this](const QPoint& point, const QStringList& files) {
            form_.DropFileTarget1Drop(point, files);
        });
    Serve(
        DropFileTarget2, [this](const QPoint& point) { form_.DropFileTarget2DragOver(point); },
        [this](const QPoint& point, const QStringList& files) {
            form_.DropFileTarget2Drop(point, files);
        });

    RegisterList();
    connect(form_.ListView1, &QStackedWidget::currentChanged, this,
            &TExplorerDragDrop::RegisterList);
    DropFileTarget2.Register(form_.TreeView1);
}

void TExplorerDragDrop::Serve(TDropFileTarget& target, TDragOverHandler over, TDropHandler drop)
{
    // The explorer's drop handlers only ever copy.
    target.Dragtypes = {dtCopy};
    target.OnDragOver = [over = std::move(over)](QObject*, Qt::KeyboardModifiers,
                                                 const QPoint& point,
                                                 std::uint32_t&) { over(point); };
    TDropFileTarget* files = &target;
    target.OnDrop = [files, drop = std::move(drop)](QObject*, Qt::KeyboardModifiers,
                                                    const QPoint& point, std::uint32_t&) {
        drop(point, files->Files());
    };
}

void TExplorerDragDrop::RegisterList()
{
    // The list shows one of two views at a time; the target watches the one shown.
    DropFileTarget1.Register(form_.ListView1->CurrentView());
}

void TExplorerDragDrop::Execute(const QStringList& files)
{
    DropFileSource1.SetFiles(files);
    DropFileSource1.Execute(form_.ListView1->CurrentView()->viewport());
}
