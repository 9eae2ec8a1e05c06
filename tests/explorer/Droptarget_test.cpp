// The drop target on a list view, with drags played as the events Qt delivers to its viewport:
// the effect by keys and drag types, the auto-scroll at the edges, the files handed to the drop
// handler, drags of our own, registration and the clipboard.
#include "explorer/Droptarget.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QListView>
#include <QMimeData>
#include <QScrollBar>
#include <QStringListModel>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include "support/DragEvents.h"
#include "support/QtHelpers.h"

namespace {

constexpr Qt::DropActions kAll = kAllDropActions;

QMimeData* FilesData(const QStringList& urls)
{
    auto* data = new QMimeData;
    QList<QUrl> list;
    for (const QString& url : urls) {
        list << QUrl(url);
    }
    data->setUrls(list);
    return data;
}

class DropTargetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QStringList rows;
        for (int i = 0; i < 100; ++i) {
            rows << QStringLiteral("row %1").arg(i);
        }
        model.setStringList(rows);
        list.setModel(&model);
        QFont font = list.font();
        font.setPixelSize(13);
        list.setFont(font);
        list.resize(200, 160);
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
        target.Register(&list);
        data.reset(FilesData({QStringLiteral("file:///pc/a.txt")}));
    }

    QWidget* Viewport() { return list.viewport(); }
    int Height() { return Viewport()->height(); }

    Qt::DropAction Enter(QPoint at, Qt::KeyboardModifiers keys = {}, Qt::DropActions offer = kAll)
    {
        return SendDragEnter(Viewport(), at, data.get(), offer, keys);
    }
    Qt::DropAction Move(QPoint at, Qt::KeyboardModifiers keys = {}, Qt::DropActions offer = kAll)
    {
        return SendDragMove(Viewport(), at, data.get(), offer, keys);
    }
    Qt::DropAction Drop(QPoint at, Qt::KeyboardModifiers keys = {}, Qt::DropActions offer = kAll)
    {
        return SendDrop(Viewport(), at, data.get(), offer, keys);
    }
    void Leave() { SendDragLeave(Viewport()); }
    QPoint Middle() { return QPoint(50, Height() / 2); }

    QStringListModel model;
    QListView list;
    TDropFileTarget target;
    std::unique_ptr<QMimeData> data;
};

TEST_F(DropTargetTest, TheEffectFollowsTheKeysAndTheDragTypes)
{
    target.Dragtypes = {dtCopy, dtMove, dtLink};
    EXPECT_EQ(Enter(Middle()), Qt::CopyAction);
    EXPECT_EQ(Move(Middle()), Qt::CopyAction);
    EXPECT_EQ(Move(Middle(), Qt::ShiftModifier), Qt::MoveAction);
    EXPECT_EQ(Move(Middle(), Qt::ShiftModifier | Qt::ControlModifier), Qt::LinkAction);
    EXPECT_EQ(Move(Middle(), Qt::ControlModifier), Qt::CopyAction);
    // What the source does not offer is not taken.
    EXPECT_EQ(Move(Middle(), Qt::ShiftModifier, Qt::CopyAction | Qt::LinkAction), Qt::CopyAction);
    // Shift and Ctrl without a link to make: the first allowed.
    EXPECT_EQ(Move(Middle(), Qt::ShiftModifier | Qt::ControlModifier, Qt::MoveAction),
              Qt::MoveAction);

    target.Dragtypes = {dtMove};
    EXPECT_EQ(Move(Middle()), Qt::MoveAction);
    EXPECT_EQ(Move(Middle(), {}, Qt::CopyAction), Qt::IgnoreAction);
}

TEST_F(DropTargetTest, EdgesOfAScrollingControlCarryTheScrollFlagEvenWithoutADrop)
{
    ASSERT_TRUE(list.verticalScrollBar()->maximum() > 0);
    // No drag types: the edges still scroll while no drop is possible.
    EXPECT_TRUE(target.Dragtypes.Empty());
    Enter(Middle());
    EXPECT_EQ(target.ScrollMargin(), 13);
    EXPECT_TRUE(target.ScrollDirections().vertical);
    EXPECT_FALSE(target.ScrollDirections().horizontal);
    EXPECT_EQ(target.GetValidDropEffect({}, QPoint(50, 5), kDropEffectCopy), kDropEffectScroll);
    EXPECT_EQ(target.GetValidDropEffect({}, Middle(), kDropEffectCopy), kDropEffectNone);
    EXPECT_EQ(target.GetValidDropEffect({}, QPoint(50, Height() - 5), kDropEffectCopy),
              kDropEffectScroll);
    // Nothing scrolls sideways without a horizontal bar.
    EXPECT_EQ(target.GetValidDropEffect({}, QPoint(2, Height() / 2), kDropEffectCopy),
              kDropEffectNone);
    EXPECT_EQ(Move(QPoint(50, 5)), Qt::IgnoreAction);
    EXPECT_TRUE(target.Scrolling());
    Leave();
    EXPECT_FALSE(target.Scrolling());
}

TEST_F(DropTargetTest, TheListScrollsALineAtATickWhileTheCursorRestsAtAnEdge)
{
    target.Dragtypes = {dtCopy};
    QScrollBar* bar = list.verticalScrollBar();
    const int start = bar->maximum() / 2;
    bar->setValue(start);
    EXPECT_EQ(Enter(Middle()), Qt::CopyAction);
    EXPECT_FALSE(target.Scrolling());

    // Within the top 13 pixels (y 0 to 12) it scrolls up.
    EXPECT_EQ(Move(QPoint(50, 12)), Qt::CopyAction);
    EXPECT_TRUE(target.Scrolling());
    ASSERT_TRUE(WaitUntil([&] { return bar->value() <= start - 3; }));
    EXPECT_EQ(Move(QPoint(50, 13)), Qt::CopyAction);
    EXPECT_FALSE(target.Scrolling());

    // At the bottom edge it scrolls down.
    const int there = bar->value();
    Move(QPoint(50, Height() - 3));
    ASSERT_TRUE(WaitUntil([&] { return bar->value() >= there + 2; }));
    EXPECT_EQ(Drop(QPoint(50, Height() - 3)), Qt::CopyAction);
    EXPECT_FALSE(target.Scrolling());
}

TEST_F(DropTargetTest, AnEffectHandlerDecidesAloneAndGetsNoScrollFlag)
{
    target.Dragtypes = {dtCopy, dtLink};
    std::uint32_t offered = 0;
    target.OnGetDropEffect = [&](QObject*, Qt::KeyboardModifiers, const QPoint&,
                                 std::uint32_t& effect) {
        offered = effect;
        effect = kDropEffectLink;
    };
    EXPECT_EQ(Enter(QPoint(50, 5)), Qt::LinkAction);
    EXPECT_EQ(offered, kDropEffectCopy | kDropEffectLink);
    EXPECT_EQ(target.GetValidDropEffect({}, QPoint(50, 5), kDropEffectCopy), kDropEffectLink);
    EXPECT_EQ(Move(QPoint(50, 5)), Qt::LinkAction);
    EXPECT_FALSE(target.Scrolling());
}

TEST_F(DropTargetTest, DataWithoutFilesIsRefusedWithoutCallingAHandler)
{
    target.Dragtypes = {dtCopy};
    int calls = 0;
    const TDropTargetEvent count = [&](QObject*, Qt::KeyboardModifiers, const QPoint&,
                                       std::uint32_t&) { ++calls; };
    target.OnEnter = count;
    target.OnDragOver = count;
    target.OnDrop = count;
    data = std::make_unique<QMimeData>();
    data->setText(QStringLiteral("/pc/a.txt"));
    EXPECT_EQ(Enter(Middle()), Qt::IgnoreAction);
    EXPECT_EQ(target.DataObject(), nullptr);
    EXPECT_EQ(Move(QPoint(50, 5)), Qt::IgnoreAction);
    EXPECT_FALSE(target.Scrolling());
    EXPECT_EQ(Drop(Middle()), Qt::IgnoreAction);
    EXPECT_EQ(calls, 0);
}

TEST_F(DropTargetTest, ARefusedDragNeverReachesTheTargetOfAnEarlierOne)
{
    // An earlier drag taken by another list stops after a move, without a drop or a leave.
    QListView other;
    other.setModel(&model);
    other.resize(200, 160);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    TDropFileTarget otherTarget;
    otherTarget.Dragtypes = {dtCopy};
    otherTarget.Register(&other);
    int otherMoves = 0;
    otherTarget.OnDragOver = [&](QObject*, Qt::KeyboardModifiers, const QPoint&, std::uint32_t&) {
        ++otherMoves;
    };
    const std::unique_ptr<QMimeData> files(FilesData({QStringLiteral("file:///pc/b.txt")}));
    EXPECT_EQ(SendDragEnter(other.viewport(), Middle(), files.get()), Qt::CopyAction);
    EXPECT_EQ(SendDragMove(other.viewport(), Middle(), files.get()), Qt::CopyAction);
    ASSERT_EQ(otherMoves, 1);

    // The next drag is refused at its enter: its moves and its drop go nowhere.
    target.Dragtypes = {dtCopy};
    data = std::make_unique<QMimeData>();
    data->setText(QStringLiteral("/pc/a.txt"));
    EXPECT_EQ(Enter(Middle()), Qt::IgnoreAction);
    EXPECT_EQ(Move(Middle()), Qt::IgnoreAction);
    EXPECT_EQ(Drop(Middle()), Qt::IgnoreAction);
    EXPECT_EQ(otherMoves, 1);
}

TEST_F(DropTargetTest, TheDropHandlerGetsTheLocalFilesInOrder)
{
    target.Dragtypes = {dtCopy};
    data.reset(FilesData({QStringLiteral("file:///pc/a.txt"), QStringLiteral("http://host/b.txt"),
                          QStringLiteral("file:///pc/c%20d.txt")}));
    QStringList overFiles{QStringLiteral("not asked")};
    QStringList dropped;
    target.OnDragOver = [&](QObject*, Qt::KeyboardModifiers, const QPoint&, std::uint32_t&) {
        overFiles = target.Files();
    };
    target.OnDrop = [&](QObject* sender, Qt::KeyboardModifiers, const QPoint& at,
                        std::uint32_t& effect) {
        EXPECT_EQ(sender, &target);
        EXPECT_EQ(at, Middle());
        EXPECT_EQ(effect, kDropEffectCopy);
        dropped = target.Files();
        EXPECT_TRUE(target.MappedNames().isEmpty());
    };
    Enter(Middle());
    Move(Middle());
    // Read only at the drop.
    EXPECT_TRUE(overFiles.isEmpty());
    EXPECT_EQ(Drop(Middle()), Qt::CopyAction);
    EXPECT_EQ(dropped, (QStringList{QStringLiteral("/pc/a.txt"), QStringLiteral("/pc/c d.txt")}));
    EXPECT_TRUE(target.Files().isEmpty());
    EXPECT_EQ(target.DataObject(), nullptr);

    // Read already at the enter; mapped names count only when they name every file.
    target.GetDataOnEnter = true;
    data.reset(FilesData({QStringLiteral("file:///pc/a.txt"), QStringLiteral("file:///pc/b")}));
    data->setData(kFileNameMapMime, BuildFileNameMap({QStringLiteral("A"), QStringLiteral("B"),
                                                      QStringLiteral("C")}));
    Enter(Middle());
    Move(Middle());
    EXPECT_EQ(overFiles.size(), 2);
    QStringList mapped{QStringLiteral("not asked")};
    target.OnDrop = [&](QObject*, Qt::KeyboardModifiers, const QPoint&, std::uint32_t&) {
        mapped = target.MappedNames();
    };
    Drop(Middle());
    EXPECT_TRUE(mapped.isEmpty());
    data->setData(kFileNameMapMime, BuildFileNameMap({QStringLiteral("A"), QStringLiteral("B")}));
    Enter(Middle());
    Drop(Middle());
    EXPECT_EQ(mapped, (QStringList{QStringLiteral("A"), QStringLiteral("B")}));

    // A drop that finds no local file at all is no drop.
    data.reset(FilesData({QStringLiteral("http://host/b.txt")}));
    mapped = {QStringLiteral("not asked")};
    target.GetDataOnEnter = false;
    Enter(Middle());
    EXPECT_EQ(Drop(Middle()), Qt::IgnoreAction);
    EXPECT_EQ(mapped, QStringList{QStringLiteral("not asked")});
}

TEST_F(DropTargetTest, AnOwnDragIsReadFromItsSourceAfterTheSourceAgreed)
{
    TDropFileSource source;
    source.SetFiles({QStringLiteral("/cache/A.TXT"), QStringLiteral("/cache/SUB")});
    QStringList log;
    bool veto = false;
    source.OnDrop = [&](QObject*, TDragType type, bool& continueDrop) {
        log << QStringLiteral("source %1 %2").arg(type).arg(source.DropOutside());
        continueDrop = !veto;
    };
    target.Dragtypes = {dtCopy};
    target.OnDrop = [&](QObject*, Qt::KeyboardModifiers, const QPoint&, std::uint32_t&) {
        log << QStringLiteral("target ") + target.Files().join(QLatin1Char(','));
    };
    auto* own = new TDropSourceData(source);
    data.reset(own);
    EXPECT_EQ(Enter(Middle()), Qt::CopyAction);
    EXPECT_EQ(Drop(Middle()), Qt::CopyAction);
    EXPECT_EQ(log, (QStringList{QStringLiteral("source 0 0"),
                                QStringLiteral("target /cache/A.TXT,/cache/SUB")}));
    // The files were never asked for as another program would: nothing was fetched.
    EXPECT_FALSE(own->OutsideDropRaised());

    log.clear();
    veto = true;
    Enter(Middle());
    EXPECT_EQ(Drop(Middle()), Qt::IgnoreAction);
    EXPECT_EQ(log, QStringList{QStringLiteral("source 0 0")});

    // A move onto a target of moves: the copy source never agrees, nor is it asked.
    log.clear();
    source.Dragtypes = {dtCopy};
    target.Dragtypes = {dtMove};
    Enter(Middle());
    EXPECT_EQ(Drop(Middle()), Qt::IgnoreAction);
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(DropTargetTest, RegisteringAnotherControlLeavesTheFirst)
{
    EXPECT_TRUE(target.Registered());
    EXPECT_EQ(target.Control(), &list);
    EXPECT_TRUE(list.viewport()->acceptDrops());
    EXPECT_EQ(list.dragDropMode(), QAbstractItemView::NoDragDrop);

    int enters = 0;
    target.OnEnter = [&](QObject*, Qt::KeyboardModifiers, const QPoint&, std::uint32_t&) {
        ++enters;
    };
    auto tree = std::make_unique<QTreeView>();
    target.Register(tree.get());
    EXPECT_FALSE(list.viewport()->acceptDrops());
    EXPECT_TRUE(tree->viewport()->acceptDrops());
    Enter(Middle());
    EXPECT_EQ(enters, 0);

    // The control may go before its target.
    tree.reset();
    EXPECT_EQ(target.Control(), nullptr);
    target.Unregister();
    EXPECT_FALSE(target.Registered());
    target.Register(&list);
    Enter(Middle());
    EXPECT_EQ(enters, 1);
}

TEST_F(DropTargetTest, APasteTakesTheClipboardsFilesAndItsPreferredEffect)
{
    QMimeData* clip = FilesData({QStringLiteral("file:///pc/a.txt")});
    clip->setData(kPreferredDropEffectMime, EffectBytes(kDropEffectMove));
    QGuiApplication::clipboard()->setMimeData(clip);
    EXPECT_EQ(target.PasteFromClipboard(), kDropEffectMove);
    EXPECT_EQ(target.Files(), QStringList{QStringLiteral("/pc/a.txt")});

    // A block too short to hold an effect names none: the files are copied.
    clip = FilesData({QStringLiteral("file:///pc/a.txt")});
    clip->setData(kPreferredDropEffectMime, QByteArray("\x02", 1));
    QGuiApplication::clipboard()->setMimeData(clip);
    EXPECT_EQ(target.PasteFromClipboard(), kDropEffectCopy);

    clip = FilesData({QStringLiteral("file:///pc/a.txt")});
    clip->setData(kGnomeCopiedFilesMime, "cut\nfile:///pc/a.txt");
    QGuiApplication::clipboard()->setMimeData(clip);
    EXPECT_EQ(target.PasteFromClipboard(), kDropEffectMove);

    QGuiApplication::clipboard()->setText(QStringLiteral("/pc/a.txt"));
    EXPECT_EQ(target.PasteFromClipboard(), kDropEffectNone);
}

}  // namespace
