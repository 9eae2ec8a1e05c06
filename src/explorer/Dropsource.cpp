#include "explorer/Dropsource.h"

#include <QClipboard>
#include <QDrag>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>
#include <QWidget>

namespace {

TDragRunner& Runner()
{
    static TDragRunner runner;
    return runner;
}

}  // namespace

void SetDragRunner(TDragRunner runner) { Runner() = std::move(runner); }

bool DragTypeOfEffect(std::uint32_t effect, TDragType* type)
{
    if ((effect & kDropEffectCopy) != 0) {
        *type = dtCopy;
    } else if ((effect & kDropEffectMove) != 0) {
        *type = dtMove;
    } else if ((effect & kDropEffectLink) != 0) {
        *type = dtLink;
    } else {
        return false;
    }
    return true;
}

Qt::DropActions EffectsToActions(std::uint32_t effects)
{
    return Qt::DropActions(static_cast<int>(effects & kDropEffectMask));
}

std::uint32_t ActionsToEffects(Qt::DropActions actions)
{
    return static_cast<std::uint32_t>(actions.toInt()) & kDropEffectMask;
}

Qt::DropAction EffectToAction(std::uint32_t effect)
{
    TDragType type;
    if (!DragTypeOfEffect(effect, &type)) {
        return Qt::IgnoreAction;
    }
    return type == dtCopy ? Qt::CopyAction : type == dtMove ? Qt::MoveAction : Qt::LinkAction;
}

QByteArray BuildUriList(const QStringList& files)
{
    QByteArray list;
    for (const QString& file : files) {
        list += QUrl::fromLocalFile(file).toEncoded() + "\r\n";
    }
    return list;
}

QByteArray BuildFileNameMap(const QStringList& names)
{
    QByteArray block;
    for (const QString& name : names) {
        block += name.toUtf8();
        block += '\0';
    }
    block += '\0';
    return block;
}

QStringList ParseFileNameMap(const QByteArray& block)
{
    QStringList names;
    qsizetype at = 0;
    while (at < block.size()) {
        const qsizetype end = block.indexOf('\0', at);
        if (end < 0 || end == at) {
            break;  // an unterminated name is not taken, nor anything after the empty one
        }
        names << QString::fromUtf8(block.mid(at, end - at));
        at = end + 1;
    }
    return names;
}

QByteArray EffectBytes(std::uint32_t effect)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((effect >> (8 * i)) & 0xFFU);
    }
    return bytes;
}

std::uint32_t EffectFromBytes(const QByteArray& bytes)
{
    if (bytes.size() < 4) {
        return kDropEffectNone;
    }
    std::uint32_t effect = 0;
    for (int i = 0; i < 4; ++i) {
        effect |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    return effect;
}

// --- TDropSource ---

TDropSource::TDropSource(QObject* parent) : QObject(parent) {}

void TDropSource::SetImages(const QList<QPixmap>& images)
{
    images_ = images;
    imageIndex_ = 0;
    showImage_ = !images_.isEmpty();
}

void TDropSource::SetImageIndex(int index)
{
    if (index < 0 || images_.isEmpty()) {
        imageIndex_ = 0;
        showImage_ = false;
    } else if (index < images_.size()) {
        imageIndex_ = index;
    }
}

void TDropSource::SetShowImage(bool show) { showImage_ = show && !images_.isEmpty(); }

void TDropSource::AddFormatEtc(const QString& mimeType)
{
    if (formats_.size() < kMaxOfferedFormats) {
        formats_ << mimeType;
    }
}

bool TDropSource::QueryGetData(const QString& mimeType) const
{
    return formats_.contains(mimeType);
}

bool TDropSource::HandsOver(const QString& /*mimeType*/) const { return false; }

TDropSourceData* TDropSource::CreateDataObject() { return new TDropSourceData(*this); }

void TDropSource::GiveFeedback(std::uint32_t effect)
{
    LastEffect = effect;
    bool useDefaultCursors = true;
    if (OnFeedback) {
        OnFeedback(this, effect, useDefaultCursors);
    }
}

TDragResult TDropSource::Execute(QWidget* from)
{
    ++dragNumber_;
    const std::uint32_t allowed = Dragtypes.Effects();
    // The runner takes the drag: the platform may keep it, and the data with it, for a
    // while after the drop, for a target that asks late; `from` frees it at the latest.
    auto* drag = new QDrag(from != nullptr ? static_cast<QObject*>(from) : this);
    drag->setMimeData(CreateDataObject());
    if (showImage_ && imageIndex_ < images_.size()) {
        drag->setPixmap(images_[imageIndex_]);
        drag->setHotSpot(QPoint(ImageHotSpotX, ImageHotSpotY));
    }
    connect(drag, &QDrag::actionChanged, this,
            [this](Qt::DropAction action) { GiveFeedback(ActionsToEffects(action)); });
    drag_ = drag;
    const Qt::DropActions actions = EffectsToActions(allowed);
    const Qt::DropAction proposed = EffectToAction(allowed);
    const Qt::DropAction done =
        Runner() ? Runner()(*drag, actions, proposed) : drag->exec(actions, proposed);
    drag_ = nullptr;
    const std::uint32_t effect = ActionsToEffects(done);
    TDragType type;
    if (!DragTypeOfEffect(effect, &type) || (effect & allowed) == 0) {
        return drCancel;
    }
    return type == dtCopy ? drDropCopy : type == dtMove ? drDropMove : drDropLink;
}

std::uint32_t TDropSource::OutsideRequestEffect() const
{
    const std::uint32_t answered = LastEffect & Dragtypes.Effects();
    return answered != 0 ? answered : Dragtypes.Effects();
}

bool TDropSource::RaiseDrop(std::uint32_t effect, bool outside)
{
    TDragType type;
    if (!DragTypeOfEffect(effect, &type) || !Dragtypes.Contains(type)) {
        return false;
    }
    bool continueDrop = true;
    if (OnDrop) {
        const bool was = dropOutside_;
        dropOutside_ = outside;
        OnDrop(this, type, continueDrop);
        dropOutside_ = was;
    }
    return continueDrop;
}

bool TDropSource::CutOrCopyToClipboard(bool /*cut*/, QMimeData& /*data*/) { return false; }

bool TDropSource::PutOnClipboard(bool cut)
{
    auto data = std::make_unique<QMimeData>();
    if (!CutOrCopyToClipboard(cut, *data)) {
        return false;
    }
    LastEffect = cut ? kDropEffectMove : kDropEffectCopy;
    QByteArray effect;
    if (DoGetData(kPreferredDropEffectMime, &effect) != TGetDataResult::Ok) {
        return false;
    }
    data->setData(kPreferredDropEffectMime, effect);
    // The clipboard takes the data and drops whatever it held before.
    QGuiApplication::clipboard()->setMimeData(data.release());
    return true;
}

bool TDropSource::CutToClipboard() { return PutOnClipboard(true); }

bool TDropSource::CopyToClipboard() { return PutOnClipboard(false); }

// --- TDropSourceData ---

TDropSourceData::TDropSourceData(TDropSource& source)
    : source_(&source), dragNumber_(source.DragNumber())
{
}

QStringList TDropSourceData::formats() const
{
    QStringList offered;
    if (source_ != nullptr) {
        for (const QString& format : source_->FormatEtcs()) {
            if (source_->QueryGetData(format)) {
                offered << format;
            }
        }
    }
    return offered;
}

bool TDropSourceData::hasFormat(const QString& mimeType) const
{
    return formats().contains(mimeType);
}

QVariant TDropSourceData::retrieveData(const QString& mimeType, QMetaType /*type*/) const
{
    // The data of an earlier drag hands nothing over once another drag has begun, and a
    // request that comes while the drop event runs (its fetch keeps the events going) gets
    // nothing rather than files that may not be there yet.
    if (source_ == nullptr || raising_ || source_->DragNumber() != dragNumber_) {
        return QVariant();
    }
    if (source_->HandsOver(mimeType)) {
        if (!raised_) {
            raised_ = true;
            raising_ = true;
            // The drop event keeps the events going: the drag, and this data with it, may
            // be gone when it returns.
            const QPointer<const TDropSourceData> self(this);
            const bool allowed = source_->RaiseDrop(source_->OutsideRequestEffect(), true);
            if (self == nullptr) {
                return QVariant();
            }
            raising_ = false;
            allowed_ = allowed;
            if (source_ == nullptr) {
                return QVariant();
            }
        }
        if (!allowed_) {
            return QVariant();
        }
    }
    QByteArray data;
    if (source_->DoGetData(mimeType, &data) != TGetDataResult::Ok) {
        return QVariant();
    }
    return data;
}

// --- TDropFileSource ---

TDropFileSource::TDropFileSource(QObject* parent) : TDropSource(parent)
{
    AddFormatEtc(kUriListMime);
    AddFormatEtc(kPreferredDropEffectMime);
    AddFormatEtc(kFileNameMapMime);
}

bool TDropFileSource::QueryGetData(const QString& mimeType) const
{
    if (!TDropSource::QueryGetData(mimeType)) {
        return false;
    }
    return mimeType != kFileNameMapMime || mappedNames_.size() == files_.size();
}

bool TDropFileSource::HandsOver(const QString& mimeType) const
{
    return mimeType == kUriListMime || mimeType == kFileNameMapMime;
}

void TDropFileSource::ExistingFiles(QStringList* files, QStringList* names) const
{
    const bool mapped = mappedNames_.size() == files_.size();
    for (qsizetype i = 0; i < files_.size(); ++i) {
        if (QFileInfo::exists(files_[i])) {
            *files << files_[i];
            if (mapped) {
                *names << mappedNames_[i];
            }
        }
    }
}

TGetDataResult TDropFileSource::DoGetData(const QString& mimeType, QByteArray* data) const
{
    data->clear();
    if (files_.isEmpty()) {
        return TGetDataResult::NothingToOffer;
    }
    if (!QueryGetData(mimeType)) {
        return TGetDataResult::FormatNotOffered;
    }
    if (mimeType == kPreferredDropEffectMime) {
        *data = EffectBytes(LastEffect);
        return TGetDataResult::Ok;
    }
    // Only real files are handed over: a file that is not there (it could not be fetched)
    // is left out, and its name with it.
    QStringList files;
    QStringList names;
    ExistingFiles(&files, &names);
    *data = mimeType == kUriListMime ? BuildUriList(files) : BuildFileNameMap(names);
    return TGetDataResult::Ok;
}

bool TDropFileSource::CutOrCopyToClipboard(bool cut, QMimeData& data)
{
    QByteArray list;
    if (DoGetData(kUriListMime, &list) != TGetDataResult::Ok || list.isEmpty()) {
        return false;
    }
    data.setData(kUriListMime, list);
    // The desktops' own marks of a cut or a copy.
    QByteArray gnome = cut ? "cut" : "copy";
    for (const QByteArray& line : list.split('\n')) {
        if (!line.trimmed().isEmpty()) {
            gnome += '\n' + line.trimmed();
        }
    }
    data.setData(kGnomeCopiedFilesMime, gnome);
    data.setData(kKdeCutSelectionMime, cut ? "1" : "0");
    return true;
}
