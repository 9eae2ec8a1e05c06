#pragma once
// Drop targets of our own over Qt's drag and drop. A TDropTarget watches one control for
// drags: it works out the effect from the keys and its drag types, scrolls the control while
// the cursor rests near its edges, and calls its events; TDropFileTarget reads the dropped
// files (local file URLs) and the names the source wants them to have.
//
// A drag of our own (its data a TDropSourceData) is read from its source, never through its
// URI list, and the source's drop event is raised before the target's drop: a veto cancels
// the drop.
//
// UI thread only.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "explorer/Dropsource.h"

class QAbstractScrollArea;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;

enum TScrollDirection { sdHorizontal, sdVertical };

// The scroll bars a control has.
struct TScrollDirections {
    bool horizontal = false;
    bool vertical = false;
    bool Empty() const { return !horizontal && !vertical; }
};

// Enter, drag over, drop and the effect question: the keys, the point in the control's
// client area (a scroll area's viewport) and the effect, which the handler may change.
using TDropTargetEvent = std::function<void(QObject* sender, Qt::KeyboardModifiers shift,
                                            const QPoint& point, std::uint32_t& effect)>;
using TNotifyEvent = std::function<void(QObject* sender)>;

// Auto-scroll ticks this often while the cursor rests in an edge zone.
constexpr int kDropScrollIntervalMs = 100;

class TDropTarget : public QObject {
    Q_OBJECT
public:
    explicit TDropTarget(QObject* parent = nullptr);
    ~TDropTarget() override;
    TDropTarget(const TDropTarget&) = delete;
    TDropTarget& operator=(const TDropTarget&) = delete;

    TDragTypes Dragtypes;
    // Read the data already when a drag enters (else only at the drop).
    bool GetDataOnEnter = false;
    TDropTargetEvent OnEnter;
    TDropTargetEvent OnDragOver;
    TDropTargetEvent OnDrop;
    // When set, decides the effect (from the one masked by Dragtypes); no scroll flag is added.
    TDropTargetEvent OnGetDropEffect;
    // The drag left the control or was given up.
    TNotifyEvent OnLeave;
    // Kept for the form's settings: the desktop draws the source's image itself.
    bool ShowImage = true;

    // Watches `control` for drags (a scroll area's viewport, with the view's own drag and
    // drop turned off) instead of the control watched so far; null only stops watching.
    void Register(QWidget* control);
    void Unregister();
    bool Registered() const { return registered_; }
    QWidget* Control() const { return control_; }

    // The drag's data from its enter to its leave or drop (null otherwise, or when the data
    // has nothing this target takes).
    const QMimeData* DataObject() const { return data_; }
    QPoint LastPoint() const { return lastPoint_; }
    // Taken when a drag enters: the edge zone's width (the control's font height in pixels)
    // and the scroll bars the control has.
    int ScrollMargin() const { return scrollMargin_; }
    TScrollDirections ScrollDirections() const { return scrollDirections_; }
    bool Scrolling() const { return scrollTimer_.isActive(); }

    // The effect for the keys at `point`, from the `effect` the source offers: copy, move
    // and link as Dragtypes allow, Shift+Ctrl for link, Shift for move, else the first
    // allowed; plus the scroll flag in an edge zone of a control with scroll bars.
    virtual std::uint32_t GetValidDropEffect(Qt::KeyboardModifiers shift, const QPoint& point,
                                             std::uint32_t effect);
    // The effect the clipboard's data prefers (0 when it names none).
    virtual std::uint32_t PasteFromClipboard();

protected:
    virtual void DoEnter(Qt::KeyboardModifiers shift, const QPoint& point, std::uint32_t& effect);
    virtual void DoDragOver(Qt::KeyboardModifiers shift, const QPoint& point,
                            std::uint32_t& effect);
    virtual void DoDrop(Qt::KeyboardModifiers shift, const QPoint& point, std::uint32_t& effect);
    virtual void DoLeave();
    // Reads DataObject(); false when it holds nothing to take.
    virtual bool DoGetData() = 0;
    virtual void ClearData() = 0;
    virtual bool HasValidFormats() const = 0;
    // The source of a drag of our own, or null.
    TDropSource* OwnSource() const;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* DropWidget() const;
    QAbstractScrollArea* ScrollArea() const;
    QSize ClientSize() const;
    void DragEnter(QDragMoveEvent& event);
    void DragOver(QDragMoveEvent& event);
    void DragLeave();
    void Drop(QDropEvent& event);
    void DoTargetScroll();

    QPointer<QWidget> control_;
    QPointer<QWidget> dropWidget_;
    bool registered_ = false;
    QPointer<const QMimeData> data_;
    QPoint lastPoint_;
    int scrollMargin_ = 0;
    TScrollDirections scrollDirections_;
    QTimer scrollTimer_;
};

// A drop target taking local files.
class TDropFileTarget : public TDropTarget {
    Q_OBJECT
public:
    explicit TDropFileTarget(QObject* parent = nullptr);

    // The dropped files (local paths, in order) and the names their source wants them to
    // get (empty unless it names each file); filled for the drop handler (or from the
    // enter on with GetDataOnEnter) and emptied after the drop.
    const QStringList& Files() const { return files_; }
    const QStringList& MappedNames() const { return mappedNames_; }

    // Takes the clipboard's files: 0 when it holds none, else its preferred effect, or copy.
    std::uint32_t PasteFromClipboard() override;

protected:
    bool DoGetData() override;
    void ClearData() override;
    bool HasValidFormats() const override;

private:
    QStringList files_;
    QStringList mappedNames_;
};

// The local files of a URI list (other URLs are skipped).
QStringList LocalFilesOf(const QMimeData& data);
// The effect data prefers: its own preferred effect (4 bytes), else the desktop's mark of a
// cut (move) or a copy; 0 when it names none.
std::uint32_t PreferredEffectOf(const QMimeData& data);
