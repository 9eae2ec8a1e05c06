// The drag source: what a drag answers for each target's action, its image, the files it hands
// to targets outside (raising the drop event first, leaving out what is not there) and to our
// own targets, and the clipboard.
#include "explorer/Dropsource.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QDrag>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>

#include <thread>

#include "platform/Prompt.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"

namespace {

// Plays the drag's target: records what the drag offered and answers `action`.
struct TFakeRunner {
    Qt::DropAction action = Qt::CopyAction;
    std::function<void(QDrag&)> during;
    Qt::DropActions allowed;
    Qt::DropAction proposed = Qt::IgnoreAction;
    QPixmap pixmap;
    QPoint hotSpot;
    int runs = 0;

    TDragRunner Runner()
    {
        return [this](QDrag& drag, Qt::DropActions offered, Qt::DropAction defaultAction) {
            ++runs;
            allowed = offered;
            proposed = defaultAction;
            pixmap = drag.pixmap();
            hotSpot = drag.hotSpot();
            if (during) {
                during(drag);
            }
            return action;
        };
    }
};

class DropSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SetDragRunner(runner.Runner());
    }
    void TearDown() override { SetDragRunner({}); }

    QString File(const char* name, const QByteArray& bytes = "x")
    {
        return WriteFile(dir.filePath(QString::fromUtf8(name)), bytes);
    }

    QTemporaryDir dir;
    TFakeRunner runner;
    QWidget from;
};

QPixmap Square(int size, Qt::GlobalColor color)
{
    QPixmap pixmap(size, size);
    pixmap.fill(color);
    return pixmap;
}

TEST_F(DropSourceTest, ADragAnswersTheActionTakenAmongTheAllowedOnes)
{
    TDropFileSource source;
    EXPECT_EQ(source.Dragtypes, TDragTypes{dtCopy});
    EXPECT_EQ(source.Execute(&from), drDropCopy);
    EXPECT_EQ(runner.allowed, Qt::DropActions(Qt::CopyAction));
    EXPECT_EQ(runner.proposed, Qt::CopyAction);

    runner.action = Qt::IgnoreAction;
    EXPECT_EQ(source.Execute(&from), drCancel);
    // A target that moved what may only be copied did not take the drop.
    runner.action = Qt::MoveAction;
    EXPECT_EQ(source.Execute(&from), drCancel);

    source.Dragtypes = {dtMove, dtLink};
    EXPECT_EQ(source.Execute(&from), drDropMove);
    EXPECT_EQ(runner.allowed, Qt::MoveAction | Qt::LinkAction);
    EXPECT_EQ(runner.proposed, Qt::MoveAction);
    runner.action = Qt::LinkAction;
    EXPECT_EQ(source.Execute(&from), drDropLink);
    EXPECT_EQ(runner.runs, 5);

    // Where no drag can be run at all, the drag ends at once as cancelled.
    SetDragRunner({});
    source.Dragtypes = {dtCopy};
    EXPECT_EQ(source.Execute(&from), drCancel);
}

TEST_F(DropSourceTest, TheDragShowsTheChosenImageAtItsHotSpot)
{
    TDropFileSource source;
    EXPECT_FALSE(source.ShowImage());
    source.SetShowImage(true);
    EXPECT_FALSE(source.ShowImage()) << "no images to show";
    source.Execute(&from);
    EXPECT_TRUE(runner.pixmap.isNull());

    source.SetImages({Square(32, Qt::red), Square(24, Qt::blue)});
    EXPECT_TRUE(source.ShowImage());
    EXPECT_EQ(source.ImageIndex(), 0);
    source.SetImageIndex(1);
    source.SetImageIndex(2);  // past the last image: ignored
    EXPECT_EQ(source.ImageIndex(), 1);
    source.ImageHotSpotX = 12;
    source.Execute(&from);
    EXPECT_EQ(runner.pixmap.width(), 24);
    EXPECT_EQ(runner.hotSpot, QPoint(12, 16));

    source.SetImageIndex(-1);
    EXPECT_EQ(source.ImageIndex(), 0);
    EXPECT_FALSE(source.ShowImage());
    source.Execute(&from);
    EXPECT_TRUE(runner.pixmap.isNull());
    source.SetImages({});
    source.SetImageIndex(0);
    EXPECT_FALSE(source.ShowImage());
}

TEST_F(DropSourceTest, FeedbackKeepsTheLastEffectFromOneDragToTheNext)
{
    TDropFileSource source;
    std::vector<std::uint32_t> told;
    source.OnFeedback = [&](QObject* sender, std::uint32_t effect, bool& useDefault) {
        EXPECT_EQ(sender, &source);
        EXPECT_TRUE(useDefault);
        told.push_back(effect);
    };
    runner.during = [&](QDrag& drag) {
        EXPECT_EQ(source.CurrentDrag(), &drag);
        Q_EMIT drag.actionChanged(Qt::CopyAction);
        Q_EMIT drag.actionChanged(Qt::IgnoreAction);
        Q_EMIT drag.actionChanged(Qt::CopyAction);
    };
    source.Execute(&from);
    EXPECT_EQ(told, (std::vector<std::uint32_t>{1, 0, 1}));
    EXPECT_EQ(source.LastEffect, kDropEffectCopy);
    EXPECT_EQ(source.CurrentDrag(), nullptr);
}

TEST_F(DropSourceTest, TheFilesGoOutAsLocalFileUrlsWithTheirNamesAndPreferredEffect)
{
    const QString a = File("a.txt");
    const QString b = File("Messdaten März 2024.log");
    TDropFileSource source;
    source.SetFiles({a, b});
    source.LastEffect = kDropEffectMove;
    TDropSourceData data(source);

    EXPECT_EQ(data.formats(), (QStringList{kUriListMime, kPreferredDropEffectMime}));
    EXPECT_EQ(data.urls(), (QList<QUrl>{QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)}));
    // Non-ASCII names are percent-encoded UTF-8 in the list.
    EXPECT_TRUE(data.data(kUriListMime).endsWith("/Messdaten%20M%C3%A4rz%202024.log\r\n"));
    EXPECT_EQ(data.data(kPreferredDropEffectMime), QByteArray("\x02\x00\x00\x00", 4));

    // The names for the target: offered only when they name every file.
    source.SetMappedNames({QStringLiteral("A.TXT")});
    EXPECT_FALSE(data.hasFormat(kFileNameMapMime));
    EXPECT_TRUE(data.data(kFileNameMapMime).isEmpty());
    source.SetMappedNames({QStringLiteral("A.TXT"), QStringLiteral("März.LOG")});
    EXPECT_TRUE(data.hasFormat(kFileNameMapMime));
    EXPECT_EQ(data.data(kFileNameMapMime), QByteArray("A.TXT\0M\xC3\xA4rz.LOG\0\0", 17));

    TDropFileSource empty;
    QByteArray bytes;
    EXPECT_EQ(empty.DoGetData(kUriListMime, &bytes), TGetDataResult::NothingToOffer);
    EXPECT_EQ(source.DoGetData(QStringLiteral("text/plain"), &bytes),
              TGetDataResult::FormatNotOffered);
}

TEST_F(DropSourceTest, AnOutsideTargetsFirstRequestRaisesTheDropOnceAndGetsWhatCame)
{
    // The files are made by the drop event, as a fetch would; the second one fails.
    const QString fetched = dir.filePath(QStringLiteral("A.TXT"));
    const QString failed = dir.filePath(QStringLiteral("B.TXT"));
    TDropFileSource source;
    source.SetFiles({fetched, failed});
    TDropSourceData data(source);
    int drops = 0;
    QList<QUrl> nested{QUrl(QStringLiteral("file:///nested"))};
    source.OnDrop = [&](QObject*, TDragType type, bool& continueDrop) {
        ++drops;
        EXPECT_EQ(type, dtCopy);
        EXPECT_TRUE(source.DropOutside());
        EXPECT_TRUE(continueDrop);
        // A request while the fetch runs finds nothing yet.
        nested = data.urls();
        WriteFile(fetched, "fetched");
    };
    EXPECT_TRUE(data.hasUrls()) << "asking what is offered fetches nothing";
    EXPECT_EQ(drops, 0);
    EXPECT_EQ(data.urls(), QList<QUrl>{QUrl::fromLocalFile(fetched)});
    EXPECT_EQ(drops, 1);
    EXPECT_TRUE(nested.isEmpty());
    EXPECT_TRUE(data.OutsideDropRaised());
    EXPECT_FALSE(source.DropOutside());
    EXPECT_EQ(data.urls(), QList<QUrl>{QUrl::fromLocalFile(fetched)});
    EXPECT_EQ(drops, 1);
}

TEST_F(DropSourceTest, BoxesHeldInTheRequestOpenBeforeOneRaisedAfterIt)
{
    TFakePrompt prompt;
    TDropFileSource source;
    source.SetFiles({File("A")});
    // The drop's handler holds the boxes of its fetch, as the explorer's does: one the link
    // thread posts, one of its own.
    source.OnDrop = [](QObject*, TDragType, bool&) {
        const THeldMessageBoxes afterTheRequest;
        std::thread([] { PostMessageBox(QStringLiteral("Port"), QStringLiteral("Read")); }).join();
        QCoreApplication::processEvents();
        ShowMessage(QStringLiteral("Timeout receiving A"));
    };
    runner.during = [](QDrag& drag) { drag.mimeData()->urls(); };
    source.Execute(&from);
    EXPECT_TRUE(prompt.shown.empty());
    ShowMessage(QStringLiteral("After the request"));
    EXPECT_EQ(prompt.Messages(), (QStringList{QStringLiteral("Port: Read"),
                                              QStringLiteral("Wendrok: Timeout receiving A"),
                                              QStringLiteral("Wendrok: After the request")}));
    QCoreApplication::processEvents();
    EXPECT_EQ(prompt.shown.size(), 3u);
}

TEST_F(DropSourceTest, AVetoedOrEarlierDragHandsNothingOver)
{
    const QString a = File("a.txt");
    TDropFileSource source;
    source.SetFiles({a});
    source.OnDrop = [](QObject*, TDragType, bool& continueDrop) { continueDrop = false; };
    TDropSourceData vetoed(source);
    EXPECT_TRUE(vetoed.urls().isEmpty());
    EXPECT_TRUE(vetoed.data(kFileNameMapMime).isEmpty());

    int drops = 0;
    source.OnDrop = [&](QObject*, TDragType, bool&) { ++drops; };
    TDropSourceData earlier(source);
    source.Execute(&from);
    EXPECT_TRUE(earlier.urls().isEmpty());
    EXPECT_EQ(drops, 0);

    // The effect the target answered decides the type; a move is no drop of a copy source.
    source.LastEffect = kDropEffectMove;
    source.Dragtypes = {dtCopy, dtMove};
    TDropSourceData moved(source);
    TDragType type = dtLink;
    source.OnDrop = [&](QObject*, TDragType dropped, bool&) { type = dropped; };
    EXPECT_EQ(moved.urls().size(), 1);
    EXPECT_EQ(type, dtMove);
}

TEST_F(DropSourceTest, OwnTargetsAskBeforeTheirDrop)
{
    TDropFileSource source;
    std::vector<TDragType> asked;
    bool veto = false;
    source.OnDrop = [&](QObject*, TDragType type, bool& continueDrop) {
        EXPECT_FALSE(source.DropOutside());
        asked.push_back(type);
        continueDrop = !veto;
    };
    EXPECT_FALSE(source.RaiseDrop(kDropEffectMove, false));
    EXPECT_FALSE(source.RaiseDrop(kDropEffectNone, false));
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(source.RaiseDrop(kDropEffectCopy, false));
    veto = true;
    EXPECT_FALSE(source.RaiseDrop(kDropEffectCopy | kDropEffectScroll, false));
    EXPECT_EQ(asked, (std::vector<TDragType>{dtCopy, dtCopy}));
}

TEST_F(DropSourceTest, CutAndCopyPutTheFilesOnTheClipboardForTheDesktop)
{
    const QString a = File("a.txt");
    TDropFileSource source;
    EXPECT_FALSE(source.CopyToClipboard()) << "no files";
    source.SetFiles({a});
    ASSERT_TRUE(source.CopyToClipboard());
    EXPECT_EQ(source.LastEffect, kDropEffectCopy);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    const QByteArray url = QUrl::fromLocalFile(a).toEncoded();
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(a)});
    EXPECT_EQ(data->data(kGnomeCopiedFilesMime), "copy\n" + url);
    EXPECT_EQ(data->data(kPreferredDropEffectMime), QByteArray("\x01\x00\x00\x00", 4));

    ASSERT_TRUE(source.CutToClipboard());
    EXPECT_EQ(source.LastEffect, kDropEffectMove);
    data = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(data->data(kGnomeCopiedFilesMime), "cut\n" + url);
    EXPECT_EQ(data->data(kKdeCutSelectionMime), "1");
    EXPECT_EQ(data->data(kPreferredDropEffectMime), QByteArray("\x02\x00\x00\x00", 4));
}

TEST(DropSourceFormats, AtMostTwentyFormatsAreOffered)
{
    TDropFileSource source;
    const int own = source.FormatEtcCount();
    for (int i = own; i < kMaxOfferedFormats + 2; ++i) {
        source.AddFormatEtc(QStringLiteral("application/x-test-%1").arg(i));
    }
    EXPECT_EQ(source.FormatEtcCount(), kMaxOfferedFormats);
    EXPECT_TRUE(source.QueryGetData(QStringLiteral("application/x-test-19")));
    EXPECT_FALSE(source.QueryGetData(QStringLiteral("application/x-test-20")));
}

TEST(DropSourceFormats, NameMapsAndEffectsReadOnlyWhatIsWhole)
{
    EXPECT_EQ(BuildFileNameMap({QStringLiteral("a"), QStringLiteral("bc")}),
              QByteArray("a\0bc\0\0", 6));
    EXPECT_EQ(ParseFileNameMap(QByteArray("a\0bc\0\0", 6)),
              (QStringList{QStringLiteral("a"), QStringLiteral("bc")}));
    // A name without its closing zero byte is cut off, and the list ends at an empty name.
    EXPECT_EQ(ParseFileNameMap(QByteArray("a\0bc", 4)), QStringList{QStringLiteral("a")});
    EXPECT_EQ(ParseFileNameMap(QByteArray("a\0\0bc\0", 6)), QStringList{QStringLiteral("a")});
    EXPECT_TRUE(ParseFileNameMap(QByteArray()).isEmpty());

    EXPECT_EQ(EffectFromBytes(EffectBytes(0x80000004U)), 0x80000004U);
    EXPECT_EQ(EffectFromBytes(QByteArray("\x02\x00\x00", 3)), kDropEffectNone);

    TDragType type = dtLink;
    EXPECT_TRUE(DragTypeOfEffect(kDropEffectMove | kDropEffectLink, &type));
    EXPECT_EQ(type, dtMove);
    EXPECT_FALSE(DragTypeOfEffect(kDropEffectScroll, &type));
    EXPECT_EQ(EffectsToActions(kDropEffectCopy | kDropEffectLink | kDropEffectScroll),
              Qt::CopyAction | Qt::LinkAction);
}

}  // namespace
