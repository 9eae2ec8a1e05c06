#pragma once
// Drag sources of our own over Qt's drag and drop. A TDropSource runs one drag to its end
// (Execute) and carries the drag's data (a TDropSourceData, which asks the source for each
// format as a target wants it); TDropFileSource offers a list of local files.
//
// Other programs get the files as "text/uri-list". A target in another program, or any target
// in this one that reads the URI list, is "outside": its first request raises the source's
// OnDrop (with DropOutside() true), whose handler may veto the drop or make the files exist
// and leave out the ones that could not be made; only files that exist are ever listed. Our
// own drop targets (Droptarget.h) never read the URI list of our own drags: they raise OnDrop
// themselves before their drop and take the file names from the source.
//
// Effects are numbered as drag types: copy 1, move 2, link 4 (Qt's drop actions have the same
// values); the scroll flag is used by the drop targets only.
//
// UI thread only.

#include <QList>
#include <QMimeData>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <initializer_list>

class QDrag;
class QWidget;

enum TDragType { dtCopy, dtMove, dtLink };

// A set of drag types.
class TDragTypes {
public:
    constexpr TDragTypes() = default;
    constexpr TDragTypes(std::initializer_list<TDragType> types)
    {
        for (TDragType type : types) {
            bits_ |= Bit(type);
        }
    }
    constexpr bool Contains(TDragType type) const { return (bits_ & Bit(type)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool operator==(const TDragTypes&) const = default;
    // The effects of the types: copy 1, move 2, link 4.
    constexpr std::uint32_t Effects() const { return bits_; }

private:
    static constexpr std::uint32_t Bit(TDragType type) { return 1U << static_cast<int>(type); }
    std::uint32_t bits_ = 0;
};

constexpr std::uint32_t kDropEffectNone = 0;
constexpr std::uint32_t kDropEffectCopy = 1;
constexpr std::uint32_t kDropEffectMove = 2;
constexpr std::uint32_t kDropEffectLink = 4;
constexpr std::uint32_t kDropEffectMask = kDropEffectCopy | kDropEffectMove | kDropEffectLink;
constexpr std::uint32_t kDropEffectScroll = 0x80000000U;

// The drag type an effect stands for: copy, else move, else link; false when it has none.
bool DragTypeOfEffect(std::uint32_t effect, TDragType* type);
// Between effects and Qt's drop actions (only copy, move and link are carried over).
Qt::DropActions EffectsToActions(std::uint32_t effects);
std::uint32_t ActionsToEffects(Qt::DropActions actions);
// The one action of an effect: copy, else move, else link, else none.
Qt::DropAction EffectToAction(std::uint32_t effect);

enum TDragResult { drDropCopy, drDropMove, drDropLink, drCancel, drOutMemory, drUnknown };

// Asked before a drop happens; clearing `continueDrop` cancels it.
using TDropEvent = std::function<void(QObject* sender, TDragType type, bool& continueDrop)>;
// Told of each effect the target under the cursor answers; clearing `useDefaultCursors` means
// the handler has set the drag's cursors itself (CurrentDrag()).
using TFeedbackEvent =
    std::function<void(QObject* sender, std::uint32_t effect, bool& useDefaultCursors)>;

// Runs a prepared drag until it has ended and returns the action the target took; it takes
// the drag as QDrag::exec does (which deletes it, or keeps it while a target may still ask for
// the data). The program runs QDrag::exec; tests put in a runner that plays the targets.
using TDragRunner = std::function<Qt::DropAction(QDrag& drag, Qt::DropActions allowed,
                                                 Qt::DropAction defaultAction)>;
// Empty restores QDrag::exec.
void SetDragRunner(TDragRunner runner);

// Formats the drag data may offer, besides "text/uri-list".
inline const QString kUriListMime = QStringLiteral("text/uri-list");
// The effect the source would like (4 bytes, little-endian).
inline const QString kPreferredDropEffectMime =
    QStringLiteral("application/x-wendrok-preferred-dropeffect");
// The names under which the target should create the files: UTF-8, each ended by a zero byte,
// the list ended by one more.
inline const QString kFileNameMapMime = QStringLiteral("application/x-wendrok-filenamemap");
// How the desktops mark files put on the clipboard by a cut.
inline const QString kGnomeCopiedFilesMime = QStringLiteral("x-special/gnome-copied-files");
inline const QString kKdeCutSelectionMime = QStringLiteral("application/x-kde-cutselection");

// At most this many formats are offered.
constexpr int kMaxOfferedFormats = 20;

// How a request for data ended.
enum class TGetDataResult {
    Ok,
    NothingToOffer,    // the source holds no data
    FormatNotOffered,  // not offered, or not with the data the source holds now
};

class TDropSourceData;

// A drag source and the data it offers.
class TDropSource : public QObject {
    Q_OBJECT
public:
    explicit TDropSource(QObject* parent = nullptr);

    TDragTypes Dragtypes{dtCopy};
    TDropEvent OnDrop;
    TFeedbackEvent OnFeedback;

    // The drag image: image ImageIndex of Images, with its hot spot, shown while ShowImage.
    // Setting Images selects image 0 and shows it when there is one.
    void SetImages(const QList<QPixmap>& images);
    const QList<QPixmap>& Images() const { return images_; }
    // A value past the last image is ignored; a negative one, or no images, selects 0 and
    // hides the image.
    void SetImageIndex(int index);
    int ImageIndex() const { return imageIndex_; }
    // Stays false while there are no images.
    void SetShowImage(bool show);
    bool ShowImage() const { return showImage_; }
    int ImageHotSpotX = 16;
    int ImageHotSpotY = 16;

    // The last effect a target answered during a drag, or that of the last cut or copy; kept
    // from one drag to the next.
    std::uint32_t LastEffect = kDropEffectNone;

    // Offers a format (ignored when kMaxOfferedFormats are offered already).
    void AddFormatEtc(const QString& mimeType);
    // The offered formats, in the order offered.
    const QStringList& FormatEtcs() const { return formats_; }
    int FormatEtcCount() const { return static_cast<int>(formats_.size()); }
    // Whether a format is offered with the data the source holds now.
    virtual bool QueryGetData(const QString& mimeType) const;
    // The data of a format.
    virtual TGetDataResult DoGetData(const QString& mimeType, QByteArray* data) const = 0;

    // Runs one drag from `from` until it has ended.
    TDragResult Execute(QWidget* from);
    // The drag under way (null outside Execute).
    QDrag* CurrentDrag() const { return drag_; }
    // Counts the drags; the data of an earlier drag no longer hands anything over.
    int DragNumber() const { return dragNumber_; }

    // Asked when a target is about to take the drop with `effect` (our own targets, before
    // their drop) or when a target outside first asks for the data (`outside`): false when
    // the effect holds no drag type of Dragtypes or OnDrop cancelled.
    bool RaiseDrop(std::uint32_t effect, bool outside);
    // True while OnDrop runs for a target outside.
    bool DropOutside() const { return dropOutside_; }
    // The effect an outside request stands for: LastEffect when it holds an allowed effect
    // (the target has answered), else the allowed effects.
    std::uint32_t OutsideRequestEffect() const;
    // Whether handing out `mimeType` hands the data over (and so first raises OnDrop).
    virtual bool HandsOver(const QString& mimeType) const;

    // Put the source's data on the clipboard for a later paste, preferring a move (cut) or a
    // copy; false when there was nothing to put.
    bool CutToClipboard();
    bool CopyToClipboard();

protected:
    // Fills `data` with what the clipboard should hold; false when there is nothing.
    virtual bool CutOrCopyToClipboard(bool cut, QMimeData& data);
    // The data object of a drag.
    virtual TDropSourceData* CreateDataObject();
    // LastEffect, updated from the target's answers during a drag.
    void GiveFeedback(std::uint32_t effect);

private:
    bool PutOnClipboard(bool cut);

    QStringList formats_;
    QList<QPixmap> images_;
    int imageIndex_ = 0;
    bool showImage_ = false;
    QDrag* drag_ = nullptr;
    int dragNumber_ = 0;
    bool dropOutside_ = false;
};

// The data of one drag: each offered format, asked of the source when a target wants it.
// The first request for a format that hands the data over raises the source's drop event
// (outside); a veto leaves those formats empty for the rest of the drag, and a request
// that comes while the event runs gets nothing.
class TDropSourceData : public QMimeData {
    Q_OBJECT
public:
    explicit TDropSourceData(TDropSource& source);
    // Null once the source is gone.
    TDropSource* Source() const { return source_; }
    // Whether the source's drop event ran for an outside target, and what it answered.
    bool OutsideDropRaised() const { return raised_; }

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    QPointer<TDropSource> source_;
    int dragNumber_;
    mutable bool raised_ = false;
    mutable bool allowed_ = false;
    mutable bool raising_ = false;
};

// A drag source offering local files, and the names the target should give them.
class TDropFileSource : public TDropSource {
    Q_OBJECT
public:
    explicit TDropFileSource(QObject* parent = nullptr);

    // Full local paths.
    void SetFiles(const QStringList& files) { files_ = files; }
    const QStringList& Files() const { return files_; }
    // Optional; offered only when it names as many files as Files holds.
    void SetMappedNames(const QStringList& names) { mappedNames_ = names; }
    const QStringList& MappedNames() const { return mappedNames_; }

    bool QueryGetData(const QString& mimeType) const override;
    TGetDataResult DoGetData(const QString& mimeType, QByteArray* data) const override;
    bool HandsOver(const QString& mimeType) const override;

protected:
    bool CutOrCopyToClipboard(bool cut, QMimeData& data) override;

private:
    // The files that exist, with their mapped names when those are offered.
    void ExistingFiles(QStringList* files, QStringList* names) const;

    QStringList files_;
    QStringList mappedNames_;
};

// The URI list of local files: each file URL followed by CR LF.
QByteArray BuildUriList(const QStringList& files);
// Names, each followed by a zero byte, then one more zero byte (UTF-8).
QByteArray BuildFileNameMap(const QStringList& names);
// The names of such a block up to its first empty name; a block without the closing zero
// byte gives its complete names only.
QStringList ParseFileNameMap(const QByteArray& block);
// An effect as 4 bytes, little-endian, and back (0 for fewer than 4 bytes).
QByteArray EffectBytes(std::uint32_t effect);
std::uint32_t EffectFromBytes(const QByteArray& bytes);
