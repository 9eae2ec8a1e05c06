// The explorer in the whole program, against the DAS stand-in's disk: what each operation
// puts on the wire, and the tree and the list rebuilt from the DAS's answers.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QListView>
#include <QMimeData>
#include <QPointer>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <thread>

#include "desktop/DesktopFixture.h"
#include "explorer/Dasexplorer.h"
#include "explorer/Dropsource.h"
#include "explorer/ExplorerListView.h"
#include "link/MuxClasses.h"
#include "platform/Prompt.h"
#include "support/DragEvents.h"
#include "support/TestFiles.h"
#include "support/das/DasDirectory.h"
#include "support/das/DasFiles.h"

// Failures show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// A drag out of the list dropped back on one of its rows.
class TDropOnRow final : public IExplorerDragSource {
public:
    TDropOnRow(TDASExplorerForm& form, std::function<QPoint()> where)
        : form_(form), where_(std::move(where))
    {
    }
    void Execute(const QStringList&) override
    {
        const QStringList files = form_.DropFileSource1Drop(false);
        form_.DropFileTarget1Drop(where_(), files);
    }

private:
    TDASExplorerForm& form_;
    std::function<QPoint()> where_;
};

class ExplorerScenario : public DesktopFixture {
protected:
    void SetUp() override
    {
        InstallDASExplorer();
        DesktopFixture::SetUp();
        // Transfers run their progress windows for real.
        TDASDesktopForm::SetModalRunner([](QDialog& dialog) { return dialog.exec(); });
        disk.MakeFolder(QStringLiteral("C:\\LOGS\\OLD"));
        disk.PutFile(QStringLiteral("C:\\A.TXT"), "alpha");
        disk.PutFile(QStringLiteral("C:\\RUN.PXS"), "SETPOWER 1 1\r\nWAITTICKS 10\r\n");
        disk.PutFile(QStringLiteral("C:\\LOGS\\X.LOG"), QByteArray(1500, 'x'));
        disk.PutFile(QStringLiteral("D:\\ON_D.TXT"), "d");
    }

    void TearDown() override
    {
        DesktopFixture::TearDown();
        SetDASExplorerFormMaker({});
    }

    TDASExplorerForm& Explorer() { return *dynamic_cast<TDASExplorerForm*>(DASExplorerForm); }

    // The commands the DAS received since the last call, status requests left out.
    // Waits until the DAS received `count` commands besides status requests.
    bool WaitForWire(int count)
    {
        return WaitUntil([&] {
            int n = 0;
            for (const QString& text : console.Texts()) {
                n += text.startsWith(QStringLiteral("SENDSTATUS")) ? 0 : 1;
            }
            return n >= count;
        });
    }

    QStringList Wire()
    {
        QStringList texts;
        for (const QString& text : console.Texts()) {
            if (!text.startsWith(QStringLiteral("SENDSTATUS"))) {
                texts << text;
            }
        }
        console.Clear();
        return texts;
    }

    QStringList Names()
    {
        QStringList names;
        for (int r = 0; r < Explorer().ListModel().rowCount(); ++r) {
            names << Explorer().ListModel().item(r, 0)->text();
        }
        return names;
    }

    // Waits until the list shows exactly `names` (in name order).
    bool ListShows(const QStringList& names)
    {
        return WaitUntil([&] { return Names() == names; });
    }

    int Row(const QString& name) { return static_cast<int>(Names().indexOf(name)); }

    void Select(const QString& name)
    {
        Explorer().ListView1->Selection()->clearSelection();
        Explorer().ListView1->Selection()->select(
            Explorer().ListModel().index(Row(name), 0),
            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    TDasFiles files{das, console};
    TDasDirectory disk{das, console, files};
};

TEST_F(ExplorerScenario, TheOperatorWorksOnTheDasDisk)
{
    Start();
    console.Clear();
    form->Action(QStringLiteral("DASExplorer"))->trigger();
    TDASExplorerForm& explorer = Explorer();
    ASSERT_TRUE(explorer.isVisible());
    ASSERT_TRUE(ListShows({"A.TXT", "LOGS", "RUN.PXS"}));
    EXPECT_EQ(Wire(), QStringList{"DIR"});
    // The station's configuration chose the report.
    EXPECT_EQ(explorer.ViewStyle(), kExplorerDetails);
    EXPECT_EQ(explorer.windowTitle(), QStringLiteral("DASExplorer - C:\\"));
    EXPECT_EQ(explorer.ListModel().item(Row("A.TXT"), kColSize)->text(), QStringLiteral("5"));
    EXPECT_EQ(explorer.StatusPanelText(1), QStringLiteral("1 dir(s)"));
    EXPECT_EQ(explorer.StatusPanelText(2).trimmed(), QStringLiteral("33 bytes"));

    // Into LOGS by a double click, and back by the tree's root.
    Select("LOGS");
    explorer.ListView1DblClick();
    ASSERT_TRUE(ListShows({"OLD", "X.LOG"}));
    EXPECT_EQ(Wire(), (QStringList{"PicoDos \"CD LOGS \"", "DIR"}));
    EXPECT_EQ(explorer.ListModel().item(Row("X.LOG"), kColSize)->text(), QStringLiteral("1,500"));
    EXPECT_EQ(explorer.StatusPanelText(1), QStringLiteral("1 dir(s)"));
    const QModelIndex root = explorer.TreeModel().index(0, 0);
    const QModelIndex logs = explorer.TreeModel().index(0, 0, root);
    EXPECT_EQ(logs.data().toString(), QStringLiteral("LOGS"));
    EXPECT_EQ(explorer.TreeModel().index(0, 0, logs).data().toString(), QStringLiteral("OLD"));
    QTest::mouseClick(explorer.TreeView1->viewport(), Qt::LeftButton, {},
                      explorer.TreeView1->visualRect(root).center());
    ASSERT_TRUE(ListShows({"A.TXT", "LOGS", "RUN.PXS"}));
    EXPECT_EQ(Wire(), (QStringList{"PicoDos \"ChDir C:\\ \"", "DIR"}));

    // A new folder, a rename, a copy by dragging onto the folder, a delete.
    prompt.QueueInput(QStringLiteral("KEEP"));
    explorer.Action(QStringLiteral("NewFolder"))->trigger();
    ASSERT_TRUE(ListShows({"A.TXT", "KEEP", "LOGS", "RUN.PXS"}));
    EXPECT_TRUE(disk.HasFolder(QStringLiteral("C:\\KEEP")));
    explorer.ListView1Edited(QStringLiteral("A.TXT"), QStringLiteral("B.TXT"));
    ASSERT_TRUE(ListShows({"B.TXT", "KEEP", "LOGS", "RUN.PXS"}));
    EXPECT_EQ(Wire(), (QStringList{"PicoDos \"MkDir KEEP \"", "DIR", "PicoDos \"REN A.TXT B.TXT \"",
                                   "WAitTicks 100", "DIR"}));

    explorer.SetDragSource(std::make_unique<TDropOnRow>(explorer, [this] {
        return Explorer()
            .ListView1->Report()
            ->visualRect(Explorer().ListModel().index(Row("KEEP"), 0))
            .center();
    }));
    Select("B.TXT");
    explorer.ListView1MouseDown(QPoint(0, 0));
    explorer.ListView1MouseMove(QPoint(40, 0), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([this] { return files.HasFile(QStringLiteral("KEEP\\B.TXT")); }));
    EXPECT_EQ(files.File(QStringLiteral("KEEP\\B.TXT")), QByteArray("alpha"));
    ASSERT_TRUE(WaitForWire(2));
    EXPECT_EQ(Wire(), (QStringList{"PicoDos \"Copy B.TXT KEEP\\ \"", "DIR"}));

    // Fetched to the PC, and sent back under its 8.3 name.
    const QString local = settingsDir.filePath(QStringLiteral("pc"));
    QDir().mkpath(local);
    prompt.QueueFolder(local);
    explorer.Action(QStringLiteral("GetFile"))->trigger();
    EXPECT_EQ(ReadAll(local + QStringLiteral("/B.TXT")), QByteArray("alpha"));
    EXPECT_EQ(Wire(), QStringList{"SENDHOSTFILE  \"B.TXT\""});
    const QString longName = WriteFile(local + QStringLiteral("/LongFileName.txt"), "from the pc");
    prompt.QueueFile(longName);
    explorer.Action(QStringLiteral("SendFile"))->trigger();
    ASSERT_TRUE(ListShows({"B.TXT", "KEEP", "LOGS", "LONGFILE.TXT", "RUN.PXS"}));
    EXPECT_EQ(files.File(QStringLiteral("LONGFILE.TXT")), QByteArray("from the pc"));
    EXPECT_EQ(Wire(), (QStringList{"RCVFILE \"LongFile.txt\"", "DIR"}));

    Select("B.TXT");
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    explorer.Action(QStringLiteral("EditDelete"))->trigger();
    ASSERT_TRUE(ListShows({"KEEP", "LOGS", "LONGFILE.TXT", "RUN.PXS"}));
    EXPECT_EQ(Wire(), (QStringList{"PicoDos \"Del B.TXT \"", "DIR"}));

    // A file of the PC dropped on the tree's LOGS node goes there, and the DAS follows.
    explorer.DropFileTarget2Drop(explorer.TreeView1->visualRect(logs).center(),
                                 {local + QStringLiteral("/B.TXT")});
    ASSERT_TRUE(ListShows({"B.TXT", "OLD", "X.LOG"}));
    EXPECT_EQ(files.File(QStringLiteral("LOGS\\B.TXT")), QByteArray("alpha"));
    EXPECT_EQ(Wire(),
              (QStringList{"RCVFILE \"C:\\LOGS\\B.TXT\"", "PicoDos \"ChDir C:\\LOGS\\ \"", "DIR"}));

    // Drive D once the operator says it exists.
    prompt.QueueInput(QStringLiteral("D"));
    explorer.Action(QStringLiteral("ManagePartitions"))->trigger();
    ASSERT_TRUE(WaitUntil([&] { return explorer.TreeModel().rowCount() == 2; }));
    QTest::mouseClick(explorer.TreeView1->viewport(), Qt::LeftButton, {},
                      explorer.TreeView1->visualRect(explorer.TreeModel().index(1, 0)).center());
    ASSERT_TRUE(ListShows({"ON_D.TXT"}));
    EXPECT_EQ(form->CurrentSettings().maxPartition, 1);
}

TEST_F(ExplorerScenario, ScriptsLoadRunAndShow)
{
    Start();
    TDASExplorerForm& explorer = Explorer();
    explorer.show();
    explorer.RefreshExecute();
    ASSERT_TRUE(ListShows({"A.TXT", "LOGS", "RUN.PXS"}));
    console.Clear();
    Select("RUN.PXS");
    explorer.Action(QStringLiteral("LoadAndRun"))->trigger();
    explorer.Action(QStringLiteral("ShowLoadedScript"))->trigger();
    explorer.Action(QStringLiteral("StopScript"))->trigger();
    ASSERT_TRUE(
        WaitUntil([this] { return console.Texts().contains(QStringLiteral("EndScript")); }));
    // The carriage return travels inside the quotes, and the DAS takes the command whole.
    EXPECT_TRUE(
        das.ReceivedOn(kCommandChannel)
            .contains(QByteArray("SENDSTRING HOST 254 \"SCRIPT LOADED ON PELAGRIX\r\"\0", 49)));
    const QStringList wire = Wire();
    EXPECT_EQ(wire.first(), QStringLiteral("LoadScript \"RUN.PXS\""));
    EXPECT_EQ(wire.mid(wire.size() - 4),
              (QStringList{"SENDSTRING HOST 254 \"SCRIPT LOADED ON PELAGRIX\r\"", "RunScript",
                           "SENDPARSED", "EndScript"}));
    EXPECT_EQ(files.ScriptLines(), (QStringList{"SETPOWER 1 1", "WAITTICKS 10"}));
}

// Drags out of the list played by `runner`, which stands for the desktop under the cursor.
class ExplorerDragScenario : public ExplorerScenario {
protected:
    void TearDown() override
    {
        SetDragRunner({});
        ExplorerScenario::TearDown();
    }

    TDASExplorerForm& Open()
    {
        Start();
        TTransferTimings quick;
        quick.fetchIdleMs = 300;
        MuxArray->SetTransferTimings(quick);
        TDASExplorerForm& explorer = Explorer();
        explorer.show();
        explorer.RefreshExecute();
        EXPECT_TRUE(ListShows({"A.TXT", "LOGS", "RUN.PXS"}));
        EXPECT_TRUE(WaitForWire(1));
        console.Clear();
        return explorer;
    }

    // Drags the selected entries out of the list.
    void Drag()
    {
        Explorer().ListView1MouseDown(QPoint(0, 0));
        Explorer().ListView1MouseMove(QPoint(40, 0), Qt::LeftButton);
    }

    QPoint RowCenter(const QString& name)
    {
        return Explorer()
            .ListView1->Report()
            ->visualRect(Explorer().ListModel().index(Row(name), 0))
            .center();
    }
};

QMimeData* DesktopFiles(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls << QUrl::fromLocalFile(path);
    }
    data->setUrls(urls);
    return data;
}

TEST_F(ExplorerDragScenario, DraggedFilesAreFetchedWhenTheDesktopAsksForThem)
{
    TDASExplorerForm& explorer = Open();
    const QString cache = explorer.CacheDir();
    QList<QUrl> handed;
    QStringList wireBefore{QStringLiteral("not asked")};
    bool image = false;
    SetDragRunner([&](QDrag& drag, Qt::DropActions allowed, Qt::DropAction proposed) {
        EXPECT_EQ(allowed, Qt::DropActions(Qt::CopyAction));
        EXPECT_EQ(proposed, Qt::CopyAction);
        image = !drag.pixmap().isNull();
        wireBefore = Wire();
        // The file manager asks at the drop.
        handed = drag.mimeData()->urls();
        return Qt::CopyAction;
    });
    Select("A.TXT");
    Explorer().ListView1->Selection()->select(
        Explorer().ListModel().index(Row("LOGS"), 0),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Drag();
    EXPECT_TRUE(wireBefore.isEmpty()) << "nothing is fetched before a target asks";
    EXPECT_FALSE(image) << "the list's drag carries no image of its own";
    EXPECT_EQ(handed, (QList<QUrl>{QUrl::fromLocalFile(cache + QStringLiteral("A.TXT")),
                                   QUrl::fromLocalFile(cache + QStringLiteral("LOGS"))}));
    EXPECT_EQ(ReadAll(cache + QStringLiteral("A.TXT")), QByteArray("alpha"));
    EXPECT_TRUE(QFileInfo(cache + QStringLiteral("LOGS")).isDir());
    EXPECT_EQ(Wire(), QStringList{"SENDHOSTFILE  \"A.TXT\""});
    EXPECT_FALSE(explorer.InternalDrop());

    // A file that does not come is left out, and so is the older copy in the cache; the
    // files that came are handed over, and the boxes telling of the failure open only once
    // the file manager has them (it would give up on them while a box is open). So does a
    // box another thread posts meanwhile, as the link thread does when the port fails: it
    // reaches the UI thread in the fetch's wait, and opens first of the three.
    const QString stale = WriteFile(cache + QStringLiteral("RUN.PXS"), "an older copy");
    files.RemoveFile(TDasDirectory::FileKey(QStringLiteral("C:\\RUN.PXS")));
    QStringList shownInRequest{QStringLiteral("not asked")};
    const QString portFailure = QStringLiteral("System Error: Could Not Read From Comm Port");
    SetDragRunner([&](QDrag& drag, Qt::DropActions, Qt::DropAction) {
        std::thread([&] {
            PostMessageBox(portFailure, QStringLiteral("Error# 5: I/O error"));
        }).join();
        handed = drag.mimeData()->urls();
        shownInRequest = prompt.Messages();
        return Qt::CopyAction;
    });
    Select("RUN.PXS");
    Explorer().ListView1->Selection()->select(
        Explorer().ListModel().index(Row("A.TXT"), 0),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Drag();
    EXPECT_EQ(handed, QList<QUrl>{QUrl::fromLocalFile(cache + QStringLiteral("A.TXT"))});
    EXPECT_TRUE(shownInRequest.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(stale));
    ASSERT_TRUE(WaitUntil([this] { return prompt.Messages().size() == 3; }));
    EXPECT_EQ(prompt.Messages(),
              (QStringList{portFailure + QStringLiteral(": Error# 5: I/O error"),
                           QStringLiteral("Wendrok: Timeout receiving ") + stale,
                           QStringLiteral("Wendrok: Error Recieving ") + stale}));

    // A file manager may ask only once the drag has ended; the drop is still not the
    // window's own, so files dropped on it next are sent.
    QPointer<QMimeData> late;
    SetDragRunner([&](QDrag& drag, Qt::DropActions, Qt::DropAction) {
        late = drag.mimeData();
        return Qt::CopyAction;
    });
    Select("A.TXT");
    QFile::remove(cache + QStringLiteral("A.TXT"));
    Drag();
    ASSERT_FALSE(late.isNull());
    EXPECT_EQ(late->urls(), QList<QUrl>{QUrl::fromLocalFile(cache + QStringLiteral("A.TXT"))});
    EXPECT_EQ(ReadAll(cache + QStringLiteral("A.TXT")), QByteArray("alpha"));
    EXPECT_FALSE(explorer.InternalDrop());
    Wire();
    const QString pc = WriteFile(settingsDir.filePath(QStringLiteral("NEW.TXT")), "new");
    const std::unique_ptr<QMimeData> desktop(DesktopFiles({pc}));
    EXPECT_EQ(PlayDrop(explorer.ListView1->Report()->viewport(), RowCenter("LOGS"), desktop.get()),
              Qt::CopyAction);
    ASSERT_TRUE(WaitUntil([this] { return files.HasFile(QStringLiteral("LOGS\\NEW.TXT")); }));
    ASSERT_TRUE(WaitForWire(2));
    EXPECT_EQ(Wire(), (QStringList{"RCVFILE \"LOGS\\NEW.TXT\"", "DIR"}));
}

TEST_F(ExplorerDragScenario, DropsOnTheListAndTheTreeCopyOnTheDas)
{
    TDASExplorerForm& explorer = Open();
    QWidget* list = explorer.ListView1->Report()->viewport();
    QWidget* tree = explorer.TreeView1->viewport();

    // The list's own entry dropped on its folder LOGS: the DAS copies, nothing is fetched.
    Qt::DropAction dropped = Qt::IgnoreAction;
    SetDragRunner([&](QDrag& drag, Qt::DropActions allowed, Qt::DropAction) {
        dropped = PlayDrop(list, RowCenter("LOGS"), drag.mimeData(), allowed);
        return dropped;
    });
    Select("A.TXT");
    Drag();
    EXPECT_EQ(dropped, Qt::CopyAction);
    ASSERT_TRUE(WaitUntil([this] { return files.HasFile(QStringLiteral("LOGS\\A.TXT")); }));
    ASSERT_TRUE(WaitForWire(2));
    EXPECT_EQ(Wire(), (QStringList{"PicoDos \"Copy A.TXT LOGS\\ \"", "DIR"}));
    EXPECT_FALSE(explorer.InternalDrop());
    // The listing that follows rebuilds the tree.
    explorer.ListModel().setRowCount(0);
    ASSERT_TRUE(ListShows({"A.TXT", "LOGS", "RUN.PXS"}));

    // A file and a folder of the PC dropped on the tree's LOGS node go there, and the DAS
    // follows; the targets only copy, whatever the keys.
    const QString pc = WriteFile(settingsDir.filePath(QStringLiteral("LongFileName.txt")), "pc");
    const QString folder = settingsDir.filePath(QStringLiteral("MyFolderName"));
    QDir().mkpath(folder);
    const std::unique_ptr<QMimeData> desktop(DesktopFiles({pc, folder}));
    const QModelIndex root = explorer.TreeModel().index(0, 0);
    explorer.TreeView1->expand(root);
    const QModelIndex logs = explorer.TreeModel().index(0, 0, root);
    const QPoint onLogs = explorer.TreeView1->visualRect(logs).center();
    EXPECT_EQ(SendDragEnter(tree, onLogs, desktop.get()), Qt::CopyAction);
    EXPECT_EQ(SendDragMove(tree, onLogs, desktop.get(), kAllDropActions, Qt::ShiftModifier),
              Qt::CopyAction);
    EXPECT_EQ(explorer.GetNodePath(explorer.TreeView1->currentIndex()), QStringLiteral("C:\\LOGS"));
    EXPECT_EQ(SendDrop(tree, onLogs, desktop.get(), kAllDropActions, Qt::ShiftModifier),
              Qt::CopyAction);
    ASSERT_TRUE(ListShows({"A.TXT", "LONGFILE.TXT", "MYFOLDER", "OLD", "X.LOG"}));
    EXPECT_EQ(files.File(QStringLiteral("LOGS\\LONGFILE.TXT")), QByteArray("pc"));
    EXPECT_EQ(Wire(), (QStringList{"RCVFILE \"C:\\LOGS\\LongFile.txt\"",
                                   "PicoDos \"MkDir C:\\LOGS\\MyFolder \"",
                                   "PicoDos \"ChDir C:\\LOGS\\ \"", "DIR"}));

    // A drag that can only move what it carries is refused, and text is no file.
    EXPECT_EQ(PlayDrop(tree, onLogs, desktop.get(), Qt::MoveAction), Qt::IgnoreAction);
    QMimeData text;
    text.setText(pc);
    EXPECT_EQ(PlayDrop(tree, onLogs, &text), Qt::IgnoreAction);

    // In another view style the list's drops come through its other view.
    explorer.SetViewStyle(kExplorerLargeIcons);
    const std::unique_ptr<QMimeData> one(DesktopFiles({pc}));
    EXPECT_EQ(PlayDrop(explorer.ListView1->Icons()->viewport(), QPoint(2, 2), one.get()),
              Qt::CopyAction);
    EXPECT_EQ(PlayDrop(list, QPoint(2, 2), one.get()), Qt::IgnoreAction);
    ASSERT_TRUE(WaitForWire(2));
    EXPECT_EQ(Wire(), (QStringList{"RCVFILE \"LongFile.txt\"", "DIR"}));
    EXPECT_TRUE(prompt.Messages().isEmpty());
}

TEST(DasDisk, ListsInTheDasColumns)
{
    TDasStandIn das;
    TDasConsole console(das);
    TDasFiles files(das, console);
    TDasDirectory disk(das, console, files);
    disk.MakeFolder(QStringLiteral("C:\\SUB"));
    disk.PutFile(QStringLiteral("C:\\SUB\\DATA.TXT"), QByteArray(1234, 'd'));
    disk.PutFile(QStringLiteral("C:\\SUB\\CFG.DAT"), QByteArray(32768, 'c'));
    const QStringList lines = QString::fromLatin1(disk.Listing()).split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines.mid(0, 4),
              (QStringList{" Volume in drive C is DAS", " Volume Serial Number is 1234-ABCD",
                           " Directory of C:\\", ""}));
    EXPECT_TRUE(lines[4].startsWith(QStringLiteral("SUB            <DIR>         ")));
    EXPECT_EQ(lines[5], QStringLiteral("         0 file(s)     0 bytes          "));
    EXPECT_TRUE(lines[6].startsWith(QStringLiteral("         1 dir(s)      ")));
    EXPECT_EQ(lines[6].size(), 45);
    EXPECT_EQ(lines[7], QStringLiteral("Directory Complete"));
    EXPECT_EQ(lines[8], QString());
}

}  // namespace
