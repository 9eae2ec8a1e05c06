#include "explorer/Droptarget.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QClipboard>
#include <QDropEvent>
#include <QFontInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>
#include <QWidget>

namespace {

// Whether a scroll area shows its bar now.
bool HasBar(const QScrollBar* bar, Qt::ScrollBarPolicy policy)
{
    if (bar == nullptr || policy == Qt::ScrollBarAlwaysOff) {
        return false;
    }
    return policy == Qt::ScrollBarAlwaysOn || bar->maximum() > bar->minimum();
}

// Tells the drag what the target does with `effect`: takes it with its action, or not at all.
void Answer(QDropEvent& event, std::uint32_t effect)
{
    const Qt::DropAction action = EffectToAction(effect);
    event.setDropAction(action);
    if (action == Qt::IgnoreAction) {
        event.ignore();
    } else {
        event.accept();
    }
}

}  // namespace

QStringList LocalFilesOf(const QMimeData& data)
{
    QStringList files;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile()) {
            files << url.toLocalFile();
        }
    }
    return files;
}

std::uint32_t PreferredEffectOf(const QMimeData& data)
{
    if (data.hasFormat(kPreferredDropEffectMime)) {
        return EffectFromBytes(data.data(kPreferredDropEffectMime));
    }
    if (data.hasFormat(kGnomeCopiedFilesMime)) {
        const QByteArray first = data.data(kGnomeCopiedFilesMime).split('\n').value(0).trimmed();
        if (first == "cut") {
            return kDropEffectMove;
        }
        if (first == "copy") {
            return kDropEffectCopy;
        }
    }
    if (data.hasFormat(kKdeCutSelectionMime) && data.data(kKdeCutSelectionMime).trimmed() == "1") {
        return kDropEffectMove;
    }
    return kDropEffectNone;
}

// --- TDropTarget ---

TDropTarget::TDropTarget(QObject* parent) : QObject(parent)
{
    scrollTimer_.setInterval(kDropScrollIntervalMs);
    connect(&scrollTimer_, &QTimer::timeout, this, &TDropTarget::DoTargetScroll);
}

TDropTarget::~TDropTarget() { Unregister(); }

void TDropTarget::Register(QWidget* control)
{
    if (control != control_ || control == nullptr) {
        Unregister();
        control_ = control;
        if (control != nullptr) {
            // The view's own drops and auto-scroll would run beside ours.
            if (auto* view = qobject_cast<QAbstractItemView*>(control)) {
                view->setDragDropMode(QAbstractItemView::NoDragDrop);
            }
            dropWidget_ = DropWidget();
            dropWidget_->setAcceptDrops(true);
            dropWidget_->installEventFilter(this);
        }
    }
    registered_ = true;
}

void TDropTarget::Unregister()
{
    registered_ = false;
    scrollTimer_.stop();
    data_ = nullptr;
    if (dropWidget_ != nullptr) {
        dropWidget_->removeEventFilter(this);
        dropWidget_->setAcceptDrops(false);
    }
    dropWidget_ = nullptr;
    control_ = nullptr;
}

QAbstractScrollArea* TDropTarget::ScrollArea() const
{
    return qobject_cast<QAbstractScrollArea*>(control_.data());
}

QWidget* TDropTarget::DropWidget() const
{
    QAbstractScrollArea* area = ScrollArea();
    return area != nullptr ? area->viewport() : control_.data();
}

QSize TDropTarget::ClientSize() const
{
    return dropWidget_ != nullptr ? dropWidget_->size() : QSize();
}

TDropSource* TDropTarget::OwnSource() const
{
    const auto* own = qobject_cast<const TDropSourceData*>(data_.data());
    return own != nullptr ? own->Source() : nullptr;
}

bool TDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != dropWidget_) {
        return false;
    }
    switch (event->type()) {
    case QEvent::DragEnter:
        DragEnter(*static_cast<QDragMoveEvent*>(event));
        return true;
    case QEvent::DragMove:
        DragOver(*static_cast<QDragMoveEvent*>(event));
        return true;
    case QEvent::DragLeave:
        DragLeave();
        return true;
    case QEvent::Drop:
        Drop(*static_cast<QDropEvent*>(event));
        return true;
    default:
        return false;
    }
}

void TDropTarget::DragEnter(QDragMoveEvent& event)
{
    ClearData();
    data_ = event.mimeData();
    lastPoint_ = event.position().toPoint();
    if (data_ == nullptr || !HasValidFormats()) {
        data_ = nullptr;
        Answer(event, kDropEffectNone);
        return;
    }
    const QAbstractScrollArea* area = ScrollArea();
    scrollDirections_ = {};
    if (area != nullptr) {
        scrollDirections_.horizontal =
            HasBar(area->horizontalScrollBar(), area->horizontalScrollBarPolicy());
        scrollDirections_.vertical =
            HasBar(area->verticalScrollBar(), area->verticalScrollBarPolicy());
    }
    scrollMargin_ = QFontInfo(control_->font()).pixelSize();
    if (GetDataOnEnter) {
        DoGetData();
    }
    std::uint32_t effect = GetValidDropEffect(event.modifiers(), lastPoint_,
                                              ActionsToEffects(event.possibleActions()));
    DoEnter(event.modifiers(), lastPoint_, effect);
    // Taken even with no effect, so that the moves keep coming (the edges still scroll).
    event.setDropAction(EffectToAction(effect));
    event.accept();
}

void TDropTarget::DragOver(QDragMoveEvent& event)
{
    const QPoint point = event.position().toPoint();
    if (data_ == nullptr) {
        scrollTimer_.stop();
        lastPoint_ = point;
        Answer(event, kDropEffectNone);
        return;
    }
    std::uint32_t effect =
        GetValidDropEffect(event.modifiers(), point, ActionsToEffects(event.possibleActions()));
    DoDragOver(event.modifiers(), point, effect);
    const bool scrolling = !scrollDirections_.Empty() && (effect & kDropEffectScroll) != 0;
    if (scrolling && !scrollTimer_.isActive()) {
        scrollTimer_.start();
    } else if (!scrolling) {
        scrollTimer_.stop();
    }
    lastPoint_ = point;
    Answer(event, effect);
}

void TDropTarget::DragLeave()
{
    ClearData();
    scrollTimer_.stop();
    data_ = nullptr;
    DoLeave();
}

void TDropTarget::Drop(QDropEvent& event)
{
    if (data_ == nullptr) {
        Answer(event, kDropEffectNone);
        return;
    }
    scrollTimer_.stop();
    const QPoint point = event.position().toPoint();
    lastPoint_ = point;
    std::uint32_t effect =
        GetValidDropEffect(event.modifiers(), point, ActionsToEffects(event.possibleActions()));
    // Without a drop effect nothing is dropped and no handler runs.
    if ((effect & kDropEffectMask) != 0) {
        TDropSource* own = OwnSource();
        if (own != nullptr && !own->RaiseDrop(effect & kDropEffectMask, false)) {
            effect = kDropEffectNone;
        } else if (!GetDataOnEnter && !DoGetData()) {
            effect = kDropEffectNone;
        } else {
            DoDrop(event.modifiers(), point, effect);
        }
    }
    ClearData();
    data_ = nullptr;
    Answer(event, effect);
}

std::uint32_t TDropTarget::GetValidDropEffect(Qt::KeyboardModifiers shift, const QPoint& point,
                                              std::uint32_t effect)
{
    effect &= Dragtypes.Effects();
    if (OnGetDropEffect) {
        OnGetDropEffect(this, shift, point, effect);
        return effect;
    }
    const bool shiftKey = shift.testFlag(Qt::ShiftModifier);
    const bool ctrlKey = shift.testFlag(Qt::ControlModifier);
    std::uint32_t result = kDropEffectNone;
    if (shiftKey && ctrlKey && (effect & kDropEffectLink) != 0) {
        result = kDropEffectLink;
    } else if (shiftKey && !ctrlKey && (effect & kDropEffectMove) != 0) {
        result = kDropEffectMove;
    } else {
        for (const std::uint32_t first : {kDropEffectCopy, kDropEffectMove, kDropEffectLink}) {
            if ((effect & first) != 0) {
                result = first;
                break;
            }
        }
    }
    if (!scrollDirections_.Empty()) {
        const QSize client = ClientSize();
        const int margin = scrollMargin_;
        const bool horizontal = scrollDirections_.horizontal &&
                                (point.x() < margin || point.x() > client.width() - margin);
        const bool vertical = scrollDirections_.vertical &&
                              (point.y() < margin || point.y() > client.height() - margin);
        if (horizontal || vertical) {
            result |= kDropEffectScroll;
        }
    }
    return result;
}

void TDropTarget::DoTargetScroll()
{
    QAbstractScrollArea* area = ScrollArea();
    if (area == nullptr) {
        scrollTimer_.stop();
        return;
    }
    const QSize client = ClientSize();
    if (lastPoint_.y() < scrollMargin_) {
        area->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (lastPoint_.y() > client.height() - scrollMargin_) {
        area->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
    if (lastPoint_.x() < scrollMargin_) {
        area->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (lastPoint_.x() > client.width() - scrollMargin_) {
        area->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
}

void TDropTarget::DoEnter(Qt::KeyboardModifiers shift, const QPoint& point, std::uint32_t& effect)
{
    if (OnEnter) {
        OnEnter(this, shift, point, effect);
    }
}

void TDropTarget::DoDragOver(Qt::KeyboardModifiers shift, const QPoint& point,
                             std::uint32_t& effect)
{
    if (OnDragOver) {
        OnDragOver(this, shift, point, effect);
    }
}

void TDropTarget::DoDrop(Qt::KeyboardModifiers shift, const QPoint& point, std::uint32_t& effect)
{
    if (OnDrop) {
        OnDrop(this, shift, point, effect);
    }
}

void TDropTarget::DoLeave()
{
    if (OnLeave) {
        OnLeave(this);
    }
}

std::uint32_t TDropTarget::PasteFromClipboard()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data != nullptr ? PreferredEffectOf(*data) : kDropEffectNone;
}

// --- TDropFileTarget ---

TDropFileTarget::TDropFileTarget(QObject* parent) : TDropTarget(parent) {}

bool TDropFileTarget::HasValidFormats() const
{
    return DataObject() != nullptr && DataObject()->hasUrls();
}

void TDropFileTarget::ClearData()
{
    files_.clear();
    mappedNames_.clear();
}

bool TDropFileTarget::DoGetData()
{
    ClearData();
    const QMimeData* data = DataObject();
    if (data == nullptr) {
        return false;
    }
    if (const auto* own = qobject_cast<const TDropFileSource*>(OwnSource())) {
        // Our own drag: its names as they are, without asking it to hand the files over.
        files_ = own->Files();
        mappedNames_ = own->MappedNames();
    } else {
        files_ = LocalFilesOf(*data);
        if (data->hasFormat(kFileNameMapMime)) {
            mappedNames_ = ParseFileNameMap(data->data(kFileNameMapMime));
        }
    }
    if (mappedNames_.size() != files_.size()) {
        mappedNames_.clear();
    }
    return !files_.isEmpty();
}

std::uint32_t TDropFileTarget::PasteFromClipboard()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasUrls()) {
        return kDropEffectNone;
    }
    ClearData();
    files_ = LocalFilesOf(*data);
    if (files_.isEmpty()) {
        return kDropEffectNone;
    }
    const std::uint32_t effect = TDropTarget::PasteFromClipboard();
    return effect != kDropEffectNone ? effect : kDropEffectCopy;
}
