// The explorer window with the link's queues and a DAS unit but no link: each action's console
// commands as they are queued for the DAS, with scripted dialogs, transfers, desktop and drag.
#include "explorer/Dasexplorer.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>
#include <functional>

#include "desktop/DesktopFixture.h"
#include "explorer/ExplorerListView.h"
#include "explorer/ShellFileInfo.h"
#include "link/Das.h"
#include "link/LinkFakes.h"
#include "scripts/ScriptEditForm.h"
#include "support/DragEvents.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"
#include "support/TerminalViews.h"
#include "support/TestFiles.h"

// Failures show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

QByteArray Entry(const QByteArray& name, const QByteArray& size)
{
    const bool folder = size == "<DIR>";
    return name.leftJustified(12, ' ') + "   " +
           (folder ? size.leftJustified(12, ' ') : size.rightJustified(12, ' ')) +
           "  01-16-24  08:00\r\n";
}

QByteArray Listing(const QByteArray& path, const QByteArray& entries)
{
    return " Volume in drive C is DAS\r\n Directory of " + path + "\r\n\r\n" + entries +
           "         1 file(s)     10 bytes         \r\n"
           "         1 dir(s)      1,000 bytes free      \r\nDirectory Complete\r\n";
}

// The DAS's root folder as the tests list it, in name order.
const QByteArray kRoot = Entry("A.TXT", "10") + Entry("BIG.SCR", "32,769") +
                         Entry("DEST", "<DIR>") + Entry("LOGS", "<DIR>") +
                         Entry("OK.SCR", "32,768") + Entry("OLD.TXT", "5") + Entry("SUB", "<DIR>") +
                         Entry("TEST.SCR", "1,200");

class TFakeShell final : public IShellFileInfo {
public:
    TShellFileInfo Query(const QString&) override { return {}; }
    QIcon Icon(int) const override { return QIcon(); }
};

// Transfers that record what they were asked and write what a test gives them.
class TFakeTransfers final : public IExplorerTransfers {
public:
    struct TGet {
        QString path;
        qint64 size;
        bool busy;
    };
    bool GetFile(const QString& localPath, qint64 size) override
    {
        gets.push_back({localPath, size, form != nullptr && form->Busy()});
        if (failing.contains(QFileInfo(localPath).fileName())) {
            return false;
        }
        QDir().mkpath(QFileInfo(localPath).path());
        WriteFile(localPath, "fetched " + QFileInfo(localPath).fileName().toLatin1());
        return true;
    }
    bool SendFile(const QString& localPath, const QString& dasFolder) override
    {
        sends << localPath + QLatin1Char('>') + dasFolder;
        return true;
    }

    TDASExplorerForm* form = nullptr;
    std::vector<TGet> gets;
    QStringList sends;
    QStringList failing;
};

// The channel 254 window: whether it was cleared and brought to the front.
struct TScriptWindowLog {
    QStringList events;
};
class TFakeTerminal final : public TNullTerminalView {
public:
    explicit TFakeTerminal(TScriptWindowLog& log) : log_(log) {}
    void ClearReceived() override { log_.events << QStringLiteral("clear"); }
    void ShowNormal() override { log_.events << QStringLiteral("show"); }
    void DestroyView() override { delete this; }

private:
    TScriptWindowLog& log_;
};

// A drag that records what it offered and, when told, drops outside the window.
class TFakeDrag final : public IExplorerDragSource {
public:
    explicit TFakeDrag(TDASExplorerForm& form) : form_(form) {}
    void Execute(const QStringList& files) override
    {
        offered = files;
        ++drags;
        if (dropOutside) {
            handedOver = form_.DropFileSource1Drop(true);
            if (handedOverHook) {
                handedOverHook();
            }
        }
    }
    QStringList offered;
    QStringList handedOver;
    // Called once the files are handed over, as the target's data request returns.
    std::function<void()> handedOverHook;
    int drags = 0;
    bool dropOutside = false;

private:
    TDASExplorerForm& form_;
};

class ExplorerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        NewLinkGlobals();
        Das = new TDas;
        MuxArray->AddChannel(kScriptChannel, new TFakeTerminal(scriptWindow));
        form = std::make_unique<TDASExplorerForm>();
        transfers.form = form.get();
        form->SetTransfers(&transfers);
        form->SetShellFileInfo(std::make_unique<TFakeShell>());
        auto fakeDrag = std::make_unique<TFakeDrag>(*form);
        drag = fakeDrag.get();
        form->SetDragSource(std::move(fakeDrag));
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->SetViewStyle(kExplorerDetails);
        Feed(Listing("C:\\", kRoot));
    }

    void TearDown() override
    {
        form.reset();
        delete Das;
        Das = nullptr;
        DeleteLinkGlobals();
        TDASExplorerForm::SetShellOpener({});
    }

    void Feed(const QByteArray& bytes)
    {
        form->ReceiveListingData(bytes.constData(), static_cast<int>(bytes.size()));
        TakeQueuedCommands();
    }

    void Trigger(const char* name) { form->Action(QString::fromLatin1(name))->trigger(); }

    int Row(const QString& name) const
    {
        for (int r = 0; r < form->ListModel().rowCount(); ++r) {
            if (form->ListModel().item(r, kColName)->text() == name) {
                return r;
            }
        }
        return -1;
    }

    void Select(std::initializer_list<const char*> names)
    {
        form->ListView1->Selection()->clearSelection();
        for (const char* name : names) {
            form->ListView1->Selection()->select(
                form->ListModel().index(Row(QString::fromLatin1(name)), 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    QPoint RowCenter(const char* name) const
    {
        return form->ListView1->Report()
            ->visualRect(form->ListModel().index(Row(QString::fromLatin1(name)), 0))
            .center();
    }

    // The open in-place editor (a closed one is hidden until it is deleted).
    QLineEdit* Editor() const
    {
        for (QLineEdit* editor :
             form->ListView1->Report()->viewport()->findChildren<QLineEdit*>()) {
            if (editor->isVisible()) {
                return editor;
            }
        }
        return nullptr;
    }

    QStringList Messages() const
    {
        QStringList texts;
        for (const TShownDialog& d : prompt.shown) {
            if (d.kind == QLatin1String("message")) {
                texts << d.text;
            }
        }
        return texts;
    }

    QTemporaryDir home;
    TFakePrompt prompt;
    TScriptWindowLog scriptWindow;
    TFakeTransfers transfers;
    TFakeDrag* drag = nullptr;
    std::unique_ptr<TDASExplorerForm> form;
};

TEST_F(ExplorerTest, WindowHasItsControlsMenusAndEveryColumnInSight)
{
    for (const char* name :
         {"TreeView1", "ListView1", "StatusBar_Explorer", "ToolBar_Explorer", "PopupMenu1"}) {
        EXPECT_NE(form->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    }
    EXPECT_EQ(form->Action(QStringLiteral("Refresh"))->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(form->Action(QStringLiteral("EditDelete"))->shortcut(), QKeySequence::Delete);
    EXPECT_EQ(form->Action(QStringLiteral("Refresh"))->statusTip(),
              QStringLiteral("Refresh Directory Contents"));

    QStringList menus;
    for (QAction* menu : form->menuBar()->actions()) {
        menus << menu->text();
    }
    EXPECT_EQ(menus,
              (QStringList{QStringLiteral("File"), QStringLiteral("Edit"), QStringLiteral("View"),
                           QStringLiteral("&Window"), QStringLiteral("Scripts")}));
    QStringList buttons;
    for (QAction* button : form->ToolBar_Explorer->actions()) {
        buttons << (button->isSeparator() ? QStringLiteral("|") : button->text());
    }
    EXPECT_EQ(buttons.join(QLatin1Char(',')),
              QStringLiteral("New &Folder,New &Script,Open File in Script Editor,|,Cu&t,&Copy,"
                             "&Paste,|,Lar&ge Icons,S&mall Icons,&List,&Details,|,Load Script "
                             "into DAS,Show Loaded Script,Run Loaded Script,Load And Run Script "
                             "Now,Stop Script"));
    for (int panel = 0; panel < kExplorerPanelCount; ++panel) {
        EXPECT_EQ(form->StatusBar_Explorer->findChild<QLabel*>(QStringLiteral("Panel%1").arg(panel))
                      ->width(),
                  kExplorerPanelWidths[panel]);
    }
    EXPECT_EQ(form->StatusPanelText(1), QStringLiteral("1 dir(s)"));

    // The report shows all four columns at the window's first size.
    QHeaderView* header = form->ListView1->Report()->header();
    EXPECT_LE(header->sectionViewportPosition(kColModified) + header->sectionSize(kColModified),
              form->ListView1->Report()->viewport()->width());

    // No entry shows the toolkit's logo for its picture.
    const QImage logo =
        form->style()->standardIcon(QStyle::SP_TitleBarMenuButton).pixmap(16).toImage();
    for (QAction* action : form->actions()) {
        EXPECT_TRUE(action->icon().isNull() || action->icon().pixmap(16).toImage() != logo)
            << action->objectName().toStdString();
    }

    // Toolbar and status bar follow their check marks.
    Trigger("Explorer_ViewToolbar");
    EXPECT_FALSE(form->ToolBar_Explorer->isVisible());
    Trigger("Explorer_ViewStatusBar");
    EXPECT_FALSE(form->StatusBar_Explorer->isVisible());
    Trigger("ViewSmallIcons");
    EXPECT_EQ(form->ViewStyle(), kExplorerSmallIcons);
    EXPECT_EQ(form->ListView1->currentWidget(), form->ListView1->Icons());
    form->SetViewStyle(9);
    EXPECT_EQ(form->ViewStyle(), kExplorerDetails);
    EXPECT_TRUE(form->Action(QStringLiteral("ViewDetails"))->isChecked());

    // Closing keeps the window's placement, as a closed window: it stays closed when its
    // placement is brought back at the next start.
    Trigger("ExplorerClose");
    EXPECT_FALSE(form->isVisible());
    form->show();
    EXPECT_TRUE(RestoreWindowPlacement(form.get(), QStringLiteral("DasExplorer"), true, true));
    EXPECT_FALSE(form->isVisible());
}

TEST_F(ExplorerTest, RefreshAndDoubleClicks)
{
    Trigger("Refresh");
    EXPECT_EQ(TakeQueuedCommands(), QStringList{QStringLiteral("DIR")});

    form->ListView1->Selection()->clearSelection();
    form->ListView1DblClick();
    EXPECT_TRUE(TakeQueuedCommands().isEmpty());

    QWidget* viewport = form->ListView1->Report()->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, RowCenter("LOGS"));
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, RowCenter("LOGS"));
    EXPECT_EQ(TakeQueuedCommands(),
              (QStringList{QStringLiteral("PicoDos \"CD LOGS \""), QStringLiteral("DIR")}));

    // Two files: fetched, in list order, into the folder chosen.
    const QString folder = home.filePath(QStringLiteral("got"));
    Select({"OLD.TXT", "A.TXT"});
    prompt.QueueFolder(folder);
    form->ListView1DblClick();
    ASSERT_EQ(prompt.shown.back().kind, QStringLiteral("folder"));
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("Save to Directory..."));
    ASSERT_EQ(transfers.gets.size(), 2U);
    EXPECT_EQ(transfers.gets[0].path, folder + QStringLiteral("/A.TXT"));
    EXPECT_EQ(transfers.gets[0].size, 10);
    EXPECT_TRUE(transfers.gets[0].busy);
    EXPECT_EQ(transfers.gets[1].path, folder + QStringLiteral("/OLD.TXT"));
    EXPECT_FALSE(form->Busy());

    // A folder among them is made empty, not fetched.
    Select({"SUB", "A.TXT"});
    prompt.QueueFolder(folder);
    Trigger("GetFile");
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/SUB")).isDir());
    EXPECT_EQ(transfers.gets.size(), 3U);
}

TEST_F(ExplorerTest, RenameInPlaceSendsRenEvenToTheSameName)
{
    Select({"OLD.TXT"});
    Trigger("Rename");
    ASSERT_NE(Editor(), nullptr);
    EXPECT_TRUE(form->Editing());
    EXPECT_TRUE(form->Action(QStringLiteral("EditDelete"))->shortcut().isEmpty());

    // Delete while editing edits the text; nothing goes to the DAS.
    Editor()->setCursorPosition(0);
    QTest::keyClick(Editor(), Qt::Key_Delete);
    EXPECT_EQ(Editor()->text(), QStringLiteral("LD.TXT"));
    Trigger("EditDelete");
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_TRUE(TakeQueuedCommands().isEmpty());

    Editor()->setText(QStringLiteral("NEW.TXT"));
    QTest::keyClick(Editor(), Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([this] { return Editor() == nullptr; }));
    EXPECT_EQ(TakeQueuedCommands(),
              (QStringList{QStringLiteral("PicoDos \"REN OLD.TXT NEW.TXT \""),
                           QStringLiteral("WAitTicks 100"), QStringLiteral("DIR")}));
    EXPECT_FALSE(form->Editing());
    EXPECT_EQ(form->Action(QStringLiteral("EditDelete"))->shortcut(), QKeySequence::Delete);
    // The list keeps the DAS's name until its listing says otherwise.
    EXPECT_GE(Row(QStringLiteral("OLD.TXT")), 0);

    Trigger("Rename");
    ASSERT_NE(Editor(), nullptr);
    QTest::keyClick(Editor(), Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([this] { return Editor() == nullptr; }));
    EXPECT_EQ(TakeQueuedCommands(),
              (QStringList{QStringLiteral("PicoDos \"REN OLD.TXT OLD.TXT \""),
                           QStringLiteral("WAitTicks 100"), QStringLiteral("DIR")}));

    // Given up with Esc: the Delete key is the action's again.
    Trigger("Rename");
    ASSERT_NE(Editor(), nullptr);
    QTest::keyClick(Editor(), Qt::Key_Escape);
    ASSERT_TRUE(WaitUntil([this] { return Editor() == nullptr; }));
    EXPECT_FALSE(form->Editing());
    EXPECT_EQ(form->Action(QStringLiteral("EditDelete"))->shortcut(), QKeySequence::Delete);
    EXPECT_TRUE(TakeQueuedCommands().isEmpty());

    form->ListView1->Selection()->clearSelection();
    Trigger("Rename");
    EXPECT_EQ(Editor(), nullptr);
}

TEST_F(ExplorerTest, DeleteAsksThenRemovesEachInListOrder)
{
    Select({"SUB", "A.TXT"});
    prompt.QueueMessageAnswer(TMsgResult::No);
    Trigger("EditDelete");
    EXPECT_TRUE(TakeQueuedCommands().isEmpty());

    prompt.QueueMessageAnswer(TMsgResult::Yes);
    Trigger("EditDelete");
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("Delete Files"));
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("Delete Selected File(s)?"));
    EXPECT_EQ(TakeQueuedCommands(),
              (QStringList{QStringLiteral("PicoDos \"Del A.TXT \""),
                           QStringLiteral("PicoDos \"RmDir SUB \""), QStringLiteral("DIR")}));
}

TEST_F(ExplorerTest, NewFolderAndPartitions)
{
    prompt.QueueInput(std::nullopt);
    Trigger("NewFolder");
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("New Folder"));
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("New Folder Name"));
    EXPECT_EQ(TakeQueuedCommands(),
              (QStringList{QStringLiteral("PicoDos \"MkDir NewFolder \""), QStringLiteral("DIR")}));

    prompt.QueueInput(QStringLiteral("LOGS"));
    Trigger("NewFolder");
    EXPECT_EQ(Messages().last(), QStringLiteral("LOGSAlready Exists"));
    EXPECT_TRUE(TakeQueuedCommands().isEmpty());

    prompt.QueueInput(QStringLiteral("d"));
    Trigger("ManagePartitions");
    EXPECT_EQ(prompt.shown.back().title, QStringLiteral("Manage Partitions"));
    EXPECT_EQ(prompt.shown.back().text,
              QStringLiteral("Please indicate the highest letter of any drive partitioned on the "
                             "DAS         (C to Z are valid)."));
    EXPECT_EQ(form->HighestDrive(), 1);
    EXPECT_EQ(TakeQueuedCommands(), QStringList{QStringLiteral("DIR")});
    for (const std::optional<QString>& answer :
         {std::optional<QString>(QStringLiteral("B")), std::optional<QString>(QString()),
          std::optional<QString>(), std::optional<QString>(QStringLiteral("D"))}) {
        prompt.QueueInput(answer);
        Trigger("ManagePartitions");
        EXPECT_EQ(form->HighestDrive(), 1);
        EXPECT_TRUE(TakeQueuedCommands().isEmpty());
    }

    // The highest drive survives showing the window again.
    form->hide();
    form->show();
    EXPECT_EQ(form->HighestDrive(), 1);
}

TEST_F(ExplorerTest, ScriptCommands)
{
    Select({"TEST.SCR"});
    Trigger("LoadScript");
    EXPECT_EQ(TakeQueuedCommands(), QStringList{QStringLiteral("LoadScript \"TEST.SCR\"")});

    Trigger("LoadAndRun");
    EXPECT_EQ(TakeQueuedCommands(),
              (QStringList{QStringLiteral("LoadScript \"TEST.SCR\""),
                           QStringLiteral("SENDSTRING HOST 254 \"SCRIPT LOADED ON PELAGRIX\r\""),
                           QStringLiteral("RunScript")}));
    EXPECT_EQ(scriptWindow.events, (QStringList{QStringLiteral("clear"), QStringLiteral("show")}));

    scriptWindow.events.clear();
    Trigger("ShowLoadedScript");
    EXPECT_EQ(TakeQueuedCommands(), QStringList{QStringLiteral("SENDPARSED")});
    EXPECT_EQ(scriptWindow.events, (QStringList{QStringLiteral("clear"), QStringLiteral("show")}));
    Trigger("StopScript");
    Trigger("RunLoadedScript");
    EXPECT_EQ(TakeQueuedCommands(),
              (QStringList{QStringLiteral("EndScript"), QStringLiteral("RunScript")}));

    form->ListView1->Selection()->clearSelection();
    Trigger("LoadScript");
    Trigger("LoadAndRun");
    EXPECT_TRUE(TakeQueuedCommands().isEmpty());
}

TEST_F(ExplorerTest, TreeClicksChangeTheDasFolder)
{
    Feed(Listing("C:\\A\\B", Entry("X", "1")));
    QTreeView* tree = form->TreeView1;
    const QModelIndex root = form->TreeModel().index(0, 0);
    const QModelIndex a = form->TreeModel().index(
        TDirListing::FindChildNode(form->TreeModel().item(0), QStringLiteral("A")), 0, root);
    const QModelIndex b = form->TreeModel().index(0, 0, a);
    ASSERT_TRUE(b.isValid());
    EXPECT_EQ(form->GetNodePath(b), QStringLiteral("C:\\A\\B"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("DASExplorer - C:\\A\\B"));

    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(b).center());
    EXPECT_EQ(TakeQueuedCommands(),
              (QStringList{QStringLiteral("PicoDos \"ChDir C:\\A\\B \""), QStringLiteral("DIR")}));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(root).center());
    EXPECT_EQ(TakeQueuedCommands(),
              (QStringList{QStringLiteral("PicoDos \"ChDir C:\\ \""), QStringLiteral("DIR")}));

    // The expand button only folds the node.
    const QRect rect = tree->visualRect(a);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      QPoint(rect.left() - tree->indentation() / 2, rect.center().y()));
    EXPECT_TRUE(TakeQueuedCommands().isEmpty());

    // A node that a listing took away between press and release is not used.
    QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(b).center());
    Feed(Listing("C:\\A", Entry("Y", "1")));
    form->TreeView1Click();
    EXPECT_TRUE(TakeQueuedCommands().isEmpty());
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(root).center());
}

TEST_F(ExplorerTest, PopupOffersScriptEntriesForOneScriptOnly)
{
    const auto shown = [this](const char* name) {
        return form->PopupMenu1->findChild<QAction*>(QString::fromLatin1(name))->isVisible();
    };
    Select({"TEST.SCR"});
    form->PopupMenu1Popup();
    EXPECT_TRUE(shown("Popup_LoadScript") && shown("Popup_LoadAndRun") &&
                shown("Popup_OpenScript"));
    EXPECT_FALSE(shown("Popup_OpenFile"));
    EXPECT_EQ(form->PopupMenu1->actions().first()->text(),
              QStringLiteral("&Get File from Pelagrix"));

    Feed(Listing("C:\\", Entry("test.Pxs", "1")));
    Select({"test.Pxs"});
    form->PopupMenu1Popup();
    EXPECT_TRUE(shown("Popup_LoadScript"));

    Feed(Listing("C:\\", kRoot));
    for (const auto& names :
         {std::initializer_list<const char*>{"TEST.SCR", "OK.SCR"},
          std::initializer_list<const char*>{"A.TXT"}, std::initializer_list<const char*>{}}) {
        Select(names);
        form->PopupMenu1Popup();
        EXPECT_FALSE(shown("Popup_LoadScript") || shown("Popup_LoadAndRun") ||
                     shown("Popup_OpenScript"));
        EXPECT_TRUE(shown("Popup_OpenFile"));
    }
}

TEST_F(ExplorerTest, OpenInScriptEditorFetchesWhatFitsIntoTheCache)
{
    transfers.failing << QStringLiteral("TEST.SCR");
    Select({"OK.SCR", "BIG.SCR", "SUB", "TEST.SCR"});
    Trigger("OpenScript");
    ASSERT_EQ(transfers.gets.size(), 2U);
    EXPECT_EQ(transfers.gets[0].path, form->CacheDir() + QStringLiteral("OK.SCR"));
    EXPECT_EQ(transfers.gets[0].size, 32768);
    EXPECT_TRUE(transfers.gets[0].busy);
    EXPECT_EQ(Messages(), (QStringList{QStringLiteral("BIG.SCR too big for Script Editor"),
                                       QStringLiteral("Error Recieving ") + form->CacheDir() +
                                           QStringLiteral("TEST.SCR")}));
    EXPECT_FALSE(form->Busy());
}

TEST_F(ExplorerTest, ScriptEditorsOpenOnACopyOrEmpty)
{
    QWidget owner;
    auto* editors = new TScriptEditForms(&owner);
    ScriptEditForms = editors;
    Select({"OK.SCR"});
    Trigger("OpenScript");
    ASSERT_EQ(editors->Count(), 1);
    TScriptEditForm* editor = editors->Items(0);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->FileName, QStringLiteral("OK.SCR"));
    EXPECT_EQ(editor->Editor->GetText(), QStringLiteral("fetched OK.SCR"));
    // The editor loaded the copy and deleted it.
    EXPECT_FALSE(QFileInfo::exists(form->CacheDir() + QStringLiteral("OK.SCR")));

    Trigger("NewScript");
    ASSERT_EQ(editors->Count(), 2);
    EXPECT_TRUE(editors->Items(1)->isVisible());
    EXPECT_TRUE(editors->Items(1)->Editor->GetText().isEmpty());
    ScriptEditForms = nullptr;
    delete editors;
}

TEST_F(ExplorerTest, OpenOnPcFetchesThenOpensWithTheDesktop)
{
    QStringList opened;
    bool opens = true;
    TDASExplorerForm::SetShellOpener([&](const QString& path) {
        opened << path;
        return opens;
    });
    const QString folder = home.filePath(QStringLiteral("open"));
    Select({"A.TXT", "SUB"});
    prompt.QueueFolder(folder);
    Trigger("OpenFile");
    EXPECT_EQ(opened, QStringList{folder + QStringLiteral("/A.TXT")});
    EXPECT_EQ(ReadAll(folder + QStringLiteral("/A.TXT")), QByteArray("fetched A.TXT"));

    opens = false;
    prompt.QueueFolder(folder);
    Trigger("OpenFile");
    EXPECT_EQ(Messages().last(),
              QStringLiteral("Could not open ") + folder + QStringLiteral("/A.TXT"));
}

TEST_F(ExplorerTest, HeaderClicksSortAndFlip)
{
    const auto names = [this] {
        QStringList out;
        for (int r = 0; r < form->ListModel().rowCount(); ++r) {
            out << form->ListModel().item(r, 0)->text();
        }
        return out;
    };
    QHeaderView* header = form->ListView1->Report()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(kColSize) + 5, header->height() / 2));
    EXPECT_EQ(form->SortColumn(), kColSize);
    EXPECT_EQ(names(), (QStringList{"DEST", "LOGS", "SUB", "OLD.TXT", "A.TXT", "TEST.SCR", "OK.SCR",
                                    "BIG.SCR"}));
    form->ListView1ColumnClick(kColSize);
    EXPECT_EQ(form->SortDirection(), -1);
    EXPECT_EQ(names().first(), QStringLiteral("BIG.SCR"));
    form->ListView1ColumnClick(kColName);
    EXPECT_EQ(form->SortDirection(), 1);
    EXPECT_EQ(names().first(), QStringLiteral("A.TXT"));
    // A listing keeps the sort.
    form->ListView1ColumnClick(kColName);
    Feed(Listing("C:\\", kRoot));
    EXPECT_EQ(names().first(), QStringLiteral("TEST.SCR"));
}

TEST_F(ExplorerTest, DragStartsBeyondTenPixelsWithTheSelection)
{
    Select({"A.TXT", "SUB"});
    form->ListView1MouseDown(QPoint(50, 50));
    form->ListView1MouseMove(QPoint(59, 59), Qt::LeftButton);
    form->ListView1MouseMove(QPoint(70, 70), Qt::NoButton);
    EXPECT_EQ(drag->drags, 0);
    form->ListView1MouseMove(QPoint(60, 50), Qt::LeftButton);
    ASSERT_EQ(drag->drags, 1);
    EXPECT_EQ(drag->offered, (QStringList{form->CacheDir() + QStringLiteral("A.TXT"),
                                          form->CacheDir() + QStringLiteral("SUB")}));
    ASSERT_EQ(form->DragNames().size(), 2U);
    EXPECT_FALSE(form->DragNames()[0].folder);
    EXPECT_TRUE(form->DragNames()[1].folder);
    EXPECT_FALSE(form->InternalDrop());

    form->ListView1->Selection()->clearSelection();
    form->ListView1MouseMove(QPoint(90, 90), Qt::RightButton);
    EXPECT_EQ(drag->drags, 1);
}

TEST_F(ExplorerTest, PressingOneOfSeveralSelectedEntriesAndMovingDragsThemAll)
{
    for (const int style : {kExplorerDetails, kExplorerLargeIcons}) {
        SCOPED_TRACE(style);
        form->SetViewStyle(style);
        QAbstractItemView* view = form->ListView1->CurrentView();
        Select({"A.TXT", "OLD.TXT", "SUB"});
        const QPoint at = view->visualRect(form->ListModel().index(Row("OLD.TXT"), 0)).center();
        const int before = drag->drags;
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseMove(view->viewport(), at + QPoint(2, 4));
        QTest::mouseMove(view->viewport(), at + QPoint(2, 12));
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at + QPoint(2, 12));
        ASSERT_EQ(drag->drags, before + 1);
        EXPECT_EQ(drag->offered, (QStringList{form->CacheDir() + QStringLiteral("A.TXT"),
                                              form->CacheDir() + QStringLiteral("OLD.TXT"),
                                              form->CacheDir() + QStringLiteral("SUB")}));
    }
}

TEST_F(ExplorerTest, ADropOutsideFetchesWhatWasDraggedAndOffersOnlyWhatCame)
{
    drag->dropOutside = true;
    transfers.failing << QStringLiteral("OLD.TXT");
    const QString stale = form->CacheDir() + QStringLiteral("OLD.TXT");
    QDir().mkpath(form->CacheDir());
    WriteFile(stale, "an older copy");
    Select({"A.TXT", "OLD.TXT"});
    form->ListView1MouseDown(QPoint(0, 0));
    // The selection changes during the drag; the fetch takes what was dragged.
    form->ListView1->Selection()->clearSelection();
    Select({"A.TXT", "OLD.TXT"});
    // The target that asked gives up on a request that a box keeps open: the boxes wait.
    QStringList shownInRequest{QStringLiteral("not asked")};
    drag->handedOverHook = [&] { shownInRequest = Messages(); };
    form->ListView1MouseMove(QPoint(30, 0), Qt::LeftButton);
    ASSERT_EQ(transfers.gets.size(), 2U);
    EXPECT_EQ(drag->handedOver, QStringList{form->CacheDir() + QStringLiteral("A.TXT")});
    EXPECT_TRUE(shownInRequest.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_FALSE(form->InternalDrop());
    ASSERT_TRUE(WaitUntil([this] { return !Messages().isEmpty(); }));
    EXPECT_EQ(Messages(), QStringList{QStringLiteral("Error Recieving ") + stale});
}

TEST_F(ExplorerTest, DropsCopyOnTheDas)
{
    // An own drag dropped on the folder DEST: the DAS copies.
    Select({"A.TXT", "SUB"});
    form->ListView1MouseDown(QPoint(0, 0));
    form->ListView1MouseMove(QPoint(30, 0), Qt::LeftButton);
    const QStringList files = form->DropFileSource1Drop(false);
    EXPECT_TRUE(form->InternalDrop());
    form->DropFileTarget1Drop(RowCenter("DEST"), files);
    EXPECT_EQ(TakeQueuedCommands(),
              (QStringList{QStringLiteral("PicoDos \"Copy A.TXT DEST\\ \""),
                           QStringLiteral("PicoDos \"MkDir DEST\\SUB \""), QStringLiteral("DIR")}));
    EXPECT_FALSE(form->InternalDrop());
    form->DropFileSource1Drop(false);
    form->DropFileTarget1Drop(QPoint(5, form->ListView1->Report()->viewport()->height() - 2),
                              files);
    EXPECT_EQ(TakeQueuedCommands(), QStringList{QStringLiteral("DIR")});

    // Files and a folder from another program dropped on the tree node C:\A.
    Feed(Listing("C:\\A", Entry("X", "1")));
    const QString file = WriteFile(home.filePath(QStringLiteral("LongFileName.txt")), "x");
    const QString folder = home.filePath(QStringLiteral("MyFolderName"));
    QDir().mkpath(folder);
    const QModelIndex root = form->TreeModel().index(0, 0);
    const QModelIndex a = form->TreeModel().index(
        TDirListing::FindChildNode(form->TreeModel().item(0), QStringLiteral("A")), 0, root);
    form->DropFileTarget2Drop(
        form->TreeView1->visualRect(a).center(),
        {file, folder + QLatin1Char('/'), home.filePath(QStringLiteral("gone"))});
    EXPECT_EQ(transfers.sends, QStringList{file + QStringLiteral(">C:\\A\\")});
    EXPECT_EQ(TakeQueuedCommands(),
              (QStringList{QStringLiteral("PicoDos \"MkDir C:\\A\\MyFolder \""),
                           QStringLiteral("PicoDos \"ChDir C:\\A\\ \""), QStringLiteral("DIR")}));

    // Folders whose names no DAS command can carry are refused with a message, not made.
    for (const char* name : {"*", "two words", "line\rDEL *"}) {
        QDir().mkpath(home.filePath(QString::fromLatin1(name)));
        form->DropFileTarget2Drop(form->TreeView1->visualRect(a).center(),
                                  {home.filePath(QString::fromLatin1(name))});
        EXPECT_TRUE(Messages().last().contains(QStringLiteral("is not a DAS file name")));
        EXPECT_TRUE(TakeQueuedCommands().filter(QStringLiteral("MkDir")).isEmpty()) << name;
    }

    // Dragging over the tree selects the node; over nothing, the list loses its selection.
    Select({"X"});
    form->DropFileTarget2DragOver(QPoint(5, form->TreeView1->viewport()->height() - 2));
    EXPECT_TRUE(form->ListView1->SelectedRows().isEmpty());
}

TEST_F(ExplorerTest, QtDropsOfFileUrlsAreCopiedToTheDas)
{
    form->SetDragSource(std::make_unique<TExplorerDragDrop>(*form));
    QWidget* viewport = form->ListView1->Report()->viewport();
    const QPoint empty(5, viewport->height() - 2);
    QMimeData text;
    text.setText(QStringLiteral("not a file"));
    QDragEnterEvent refused(empty, Qt::CopyAction | Qt::MoveAction, &text, Qt::LeftButton, {});
    QCoreApplication::sendEvent(viewport, &refused);
    EXPECT_FALSE(refused.isAccepted());

    const QString file = WriteFile(home.filePath(QStringLiteral("Dropped.txt")), "x");
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(file)});
    QDragEnterEvent enter(empty, Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton, {});
    QCoreApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(QPointF(empty), Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton, {});
    QCoreApplication::sendEvent(viewport, &drop);
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    EXPECT_EQ(transfers.sends, QStringList{file + QLatin1Char('>')});
    EXPECT_EQ(TakeQueuedCommands(), QStringList{QStringLiteral("DIR")});
}

TEST_F(ExplorerTest, TheListTakesDropsInEveryViewStyle)
{
    form->SetDragSource(std::make_unique<TExplorerDragDrop>(*form));
    const QString file = WriteFile(home.filePath(QStringLiteral("Dropped.txt")), "x");
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(file)});
    // Qt hands a drag only to a widget that takes drops; a change among the icon styles
    // keeps the view shown, and must not stop it taking them.
    for (const int style :
         {kExplorerLargeIcons, kExplorerSmallIcons, kExplorerList, kExplorerDetails,
          kExplorerList, kExplorerLargeIcons}) {
        SCOPED_TRACE(style);
        form->SetViewStyle(style);
        QWidget* viewport = form->ListView1->CurrentView()->viewport();
        EXPECT_TRUE(viewport->acceptDrops());
        EXPECT_EQ(PlayDrop(viewport, QPoint(2, viewport->height() - 2), &files), Qt::CopyAction);
    }
    EXPECT_EQ(transfers.sends.size(), 6);
}

TEST_F(ExplorerTest, CommandsTheDasWouldCutAreRefused)
{
    // PicoDos "MkDir <82 characters> " is 99 characters: sent. One more is refused whole.
    const QString fits(82, QLatin1Char('N'));
    prompt.QueueInput(fits);
    Trigger("NewFolder");
    EXPECT_EQ(TakeQueuedCommands(),
              (QStringList{QStringLiteral("PicoDos \"MkDir ") + fits + QStringLiteral(" \""),
                           QStringLiteral("DIR")}));
    prompt.QueueInput(fits + QLatin1Char('N'));
    Trigger("NewFolder");
    EXPECT_TRUE(TakeQueuedCommands().isEmpty());
    EXPECT_TRUE(Messages().last().startsWith(QStringLiteral("Command not sent")));
    EXPECT_TRUE(
        Messages().last().endsWith(QStringLiteral("MkDir ") + fits + QStringLiteral("N \"")));
}

// Counts the paints of the widgets it watches.
class TPaintCount final : public QObject {
public:
    QHash<QObject*, int> paints;
    int Views() const { return paints.value(nullptr); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints[watched == marker ? watched : nullptr];
        }
        return false;
    }

public:
    QObject* marker = nullptr;
};

TEST_F(ExplorerTest, PiecesOfAListingStillArrivingLeaveTheViewsAlone)
{
    TPaintCount count;
    QList<QAbstractItemView*> views = form->ListView1->Views();
    views << form->TreeView1;
    for (QAbstractItemView* view : views) {
        view->viewport()->installEventFilter(&count);
    }
    // A window paints all it has to at once: once a panel asked to paint has, so have the
    // views, had they anything to show.
    QLabel* panel = form->StatusBar_Explorer->findChild<QLabel*>(QStringLiteral("Panel0"));
    count.marker = panel;
    panel->installEventFilter(&count);
    const auto settle = [&] {
        const int before = count.paints.value(panel);
        panel->update();
        return WaitUntil([&] { return count.paints.value(panel) > before; });
    };
    // The window's first paints and layouts may still be under way on a busy machine: the
    // views are idle once a whole round of painting leaves them alone.
    bool idle = false;
    for (int round = 0; round < 50 && !idle; ++round) {
        count.paints.clear();
        ASSERT_TRUE(settle());
        idle = count.Views() == 0;
    }
    ASSERT_TRUE(idle);
    count.paints.clear();

    const QByteArray listing = Listing("C:\\", Entry("NEW.TXT", "1") + Entry("ONE.TXT", "2"));
    const qsizetype end = listing.indexOf("Directory Complete");
    for (qsizetype at = 0; at < end; at += 16) {
        const QByteArray piece = listing.mid(at, std::min<qsizetype>(16, end - at));
        form->ReceiveListingData(piece.constData(), static_cast<int>(piece.size()));
        ASSERT_TRUE(settle());
    }
    EXPECT_EQ(count.Views(), 0);
    EXPECT_EQ(form->ListModel().rowCount(), 8);
    const QByteArray last = listing.mid(end);
    form->ReceiveListingData(last.constData(), static_cast<int>(last.size()));
    EXPECT_EQ(form->ListModel().rowCount(), 2);
    EXPECT_TRUE(WaitUntil([&] { return count.Views() > 0; }));
}

TEST_F(ExplorerTest, ColumnsFitTheirWidestTextWhereverItIs)
{
    QByteArray entries;
    for (int i = 0; i < 1500; ++i) {
        entries += i == 1400
                       ? Entry("WWWWWWWW.WWW", "999,999,999")
                       : Entry("F" + QByteArray::number(i).rightJustified(7, '0') + ".TXT", "1");
    }
    Feed(Listing("C:\\", entries));
    QTreeView* report = form->ListView1->Report();
    const int wide = Row("WWWWWWWW.WWW");
    ASSERT_GE(wide, 1400);
    for (const int column : {kColName, kColSize}) {
        EXPECT_GE(report->columnWidth(column),
                  report->sizeHintForIndex(form->ListModel().index(wide, column)).width())
            << column;
    }
}

TEST_F(ExplorerTest, ListingMessagesWaitForTheChannelServiceToEnd)
{
    const QByteArray onE = Listing("E:\\", Entry("X", "1"));
    form->ReceiveListingData(onE.constData(), static_cast<int>(onE.size()));
    form->ReceiveListingData(onE.constData(), static_cast<int>(onE.size()));
    EXPECT_TRUE(Messages().isEmpty());
    ASSERT_TRUE(WaitUntil([this] { return !Messages().isEmpty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(Messages(), QStringList{QStringLiteral(
                              "Error: Must Increase the Highest Drive Letter Under \"Manage "
                              "Partitions\"")});
}

TEST_F(ExplorerTest, NamesThatWouldLeaveTheFolderAreNeverFetched)
{
    Feed(Listing("C:\\", Entry(" ..", "1") + Entry(" ../X", "1") + Entry("GOOD", "1") +
                             Entry("SUB\\IN", "1") + Entry("SUB/IN", "<DIR>")));
    const QString folder = home.filePath(QStringLiteral("safe"));
    Trigger("EditSelectAll");
    EXPECT_EQ(form->ListView1->SelectedRows().size(), 5);
    prompt.QueueFolder(folder);
    Trigger("GetFile");
    ASSERT_EQ(transfers.gets.size(), 1U);
    EXPECT_EQ(transfers.gets[0].path, folder + QStringLiteral("/GOOD"));
    EXPECT_EQ(Messages().size(), 4);
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/SUB")));
}

TEST_F(ExplorerTest, ListedNamesNoCommandCanCarryAreNeverDeletedRenamedOrCopied)
{
    // Names no DAS file can have: acted on, each would reach other files.
    Feed(Listing("C:\\", Entry("*.*", "1") + Entry("A B", "1") + Entry("X?", "<DIR>") +
                              Entry("GOOD", "1")));
    Trigger("EditSelectAll");
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    Trigger("EditDelete");
    EXPECT_EQ(TakeQueuedCommands(),
              (QStringList{QStringLiteral("PicoDos \"Del GOOD \""), QStringLiteral("DIR")}));
    EXPECT_EQ(Messages().filter(QStringLiteral("is not a DAS file name")).size(), 3);

    // Renamed from such a name, or to one: refused, the list read again.
    form->ListView1Edited(QStringLiteral("*.*"), QStringLiteral("NEW"));
    form->ListView1Edited(QStringLiteral("GOOD"), QStringLiteral("*.TXT"));
    EXPECT_EQ(TakeQueuedCommands(), (QStringList{QStringLiteral("DIR"), QStringLiteral("DIR")}));
    EXPECT_EQ(Messages().filter(QStringLiteral("is not a DAS file name")).size(), 5);

    // A typed new folder name is held to the same rule: a wildcard, a blank or a quote
    // (which would end the PicoDos quoting early) sends nothing.
    for (const char* typed : {"W*", "My Data", "Q\"X", "  "}) {
        prompt.QueueInput(QString::fromLatin1(typed));
        Trigger("NewFolder");
        EXPECT_TRUE(TakeQueuedCommands().isEmpty()) << typed;
        EXPECT_EQ(Messages().last(),
                  QStringLiteral("\"") + QString::fromLatin1(typed) +
                      QStringLiteral("\" is not a DAS file name: it may not be empty or hold *, "
                                     "?, \", blanks or control characters."));
    }
}

// A desktop that knows a few placeholder names; every other name gets nothing.
class TKnownTypes final : public IShellFileInfo {
public:
    TShellFileInfo Query(const QString& path) override
    {
        const QString name = QFileInfo(path).fileName();
        if (name == QLatin1String("DAS.DAT")) {
            return {7, QString()};
        }
        if (name == QLatin1String("DAS.TXT")) {
            return {3, QStringLiteral("Text Document")};
        }
        return {};
    }
    QIcon Icon(int) const override { return QIcon(); }
};

// A listing of a folder on drive D, written out column by column.
const char* const kDriveDListing =
    " Volume in drive D is LOGGER\r\n"
    " Volume Serial Number is 0A1B-2C3D\r\n"
    " Directory of D:\\DATA\\2024\r\n"
    "\r\n"
    ".              <DIR>         03-02-24  09:05\r\n"
    "..             <DIR>         03-02-24  09:05\r\n"
    "JAN            <DIR>         01-31-24  23:59\r\n"
    "FEB            <DIR>         02-29-24  00:00\r\n"
    "RUN1.DAT          1,048,576  02-01-24  13:45\r\n"
    "run2.dat                  0  12-31-99  08:00\r\n"
    "NOTES.TXT               512  02-15-24  07:30\r\n"
    "MAKEFILE             65,536  01-01-24  00:01\r\n"
    "         4 file(s)     1,114,624 bytes  \r\n"
    "         4 dir(s)      12,345,678 bytes free \r\n"
    "Directory Complete\r\n";

TEST_F(ExplorerTest, AListingOfAnotherDriveFillsTheTreeTheRowsAndThePanels)
{
    form->SetShellFileInfo(std::make_unique<TKnownTypes>());
    form->SetHighestDrive(1);
    Feed(kDriveDListing);

    EXPECT_EQ(form->windowTitle(), QStringLiteral("DASExplorer - D:\\DATA\\2024"));
    const TImageItemModel& tree = form->TreeModel();
    ASSERT_EQ(tree.rowCount(), 2);
    EXPECT_EQ(tree.item(0)->text(), QStringLiteral("C"));
    EXPECT_EQ(tree.item(1)->text(), QStringLiteral("D"));
    EXPECT_EQ(tree.item(1)->data(kImageRole).toInt(), 2);
    ASSERT_EQ(tree.item(1)->rowCount(), 1);
    const QStandardItem* data = tree.item(1)->child(0);
    EXPECT_EQ(data->text(), QStringLiteral("DATA"));
    ASSERT_EQ(data->rowCount(), 1);
    const QStandardItem* year = data->child(0);
    EXPECT_EQ(year->text(), QStringLiteral("2024"));
    EXPECT_EQ(year->data(kImageRole).toInt(), 1);
    EXPECT_EQ(form->TreeView1->selectionModel()->selectedIndexes(), QModelIndexList{year->index()});
    // The folder listed is in sight: its drive and its parents are unfolded.
    EXPECT_TRUE(form->TreeView1->isExpanded(tree.item(1)->index()));
    EXPECT_TRUE(form->TreeView1->isExpanded(data->index()));
    EXPECT_TRUE(form->TreeView1->isExpanded(year->index()));
    QStringList months;
    for (int r = 0; r < year->rowCount(); ++r) {
        months << year->child(r)->text() + QLatin1Char('/') +
                      year->child(r)->data(kImageRole).toString();
    }
    EXPECT_EQ(months, (QStringList{QStringLiteral("JAN/1"), QStringLiteral("FEB/1")}));
    EXPECT_EQ(form->GetNodePath(year->child(1)->index()), QStringLiteral("D:\\DATA\\2024\\FEB"));

    const auto rows = [this] {
        QStringList out;
        for (int r = 0; r < form->ListModel().rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < kListColumnCount; ++c) {
                cells << form->ListModel().item(r, c)->text();
            }
            cells << form->ListModel().item(r, 0)->data(kImageRole).toString();
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    };
    EXPECT_EQ(rows(), (QStringList{
                          QStringLiteral("FEB|<DIR>||02-29-24  00:00|3"),
                          QStringLiteral("JAN|<DIR>||01-31-24  23:59|3"),
                          QStringLiteral("MAKEFILE|65,536| File|01-01-24  00:01|4"),
                          QStringLiteral("NOTES.TXT|512|Text Document|02-15-24  07:30|4"),
                          QStringLiteral("RUN1.DAT|1,048,576|DAT File|02-01-24  13:45|7"),
                          QStringLiteral("run2.dat|0|dat File|12-31-99  08:00|4"),
                      }));
    EXPECT_EQ(form->StatusPanelText(0), QStringLiteral("  4 file(s)"));
    EXPECT_EQ(form->StatusPanelText(1), QStringLiteral("2 dir(s)"));
    EXPECT_EQ(form->StatusPanelText(2), QStringLiteral("1,114,624 bytes  "));
    EXPECT_EQ(form->StatusPanelText(3), QStringLiteral("12,345,678 bytes free "));
    for (const char* placeholder : {"DAS.DAT", "DAS.dat", "DAS.TXT", "DAS"}) {
        EXPECT_TRUE(QFileInfo(form->CacheDir() + QString::fromLatin1(placeholder)).isFile())
            << placeholder;
    }

    const auto names = [this] {
        QStringList out;
        for (int r = 0; r < form->ListModel().rowCount(); ++r) {
            out << form->ListModel().item(r, 0)->text();
        }
        return out;
    };
    // Modified: oldest first, the two-digit year 99 before 24.
    form->ListView1ColumnClick(kColModified);
    EXPECT_EQ(names(), (QStringList{"run2.dat", "MAKEFILE", "JAN", "RUN1.DAT", "NOTES.TXT", "FEB"}));
    form->ListView1ColumnClick(kColSize);
    EXPECT_EQ(names().mid(3), (QStringList{"NOTES.TXT", "MAKEFILE", "RUN1.DAT"}));
    form->ListView1ColumnClick(kColSize);
    EXPECT_EQ(names().mid(0, 3), (QStringList{"RUN1.DAT", "MAKEFILE", "NOTES.TXT"}));
    form->ListView1ColumnClick(kColType);
    EXPECT_EQ(names().last(), QStringLiteral("NOTES.TXT"));
    EXPECT_EQ(form->SortDirection(), 1);

    // The same folder without FEB, then drive C's root: D's folders stay, FEB goes.
    QByteArray again(kDriveDListing);
    again.replace("FEB            <DIR>         02-29-24  00:00\r\n", "");
    Feed(again);
    ASSERT_EQ(year->rowCount(), 1);
    EXPECT_EQ(year->child(0)->text(), QStringLiteral("JAN"));
    Feed(Listing("C:\\", kRoot));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("DASExplorer - C:\\"));
    EXPECT_EQ(tree.item(1)->child(0)->child(0)->child(0)->text(), QStringLiteral("JAN"));
    EXPECT_EQ(tree.item(0)->rowCount(), 3);

    // A listing that comes while the window is hidden unfolds the way to its folder too.
    form->TreeView1->collapse(tree.item(1)->index());
    form->hide();
    Feed(Listing("D:\\OTHER\\X", Entry("Y", "1")));
    form->show();
    EXPECT_TRUE(form->TreeView1->isExpanded(tree.item(1)->index()));
    EXPECT_TRUE(form->TreeView1->isExpanded(tree.item(1)->child(1)->index()));
}

// The icon styles act on what the operator picks in them, as the details do.
TEST_F(ExplorerTest, EveryViewStyleActsOnTheItemsPicked)
{
    for (const int style : {kExplorerLargeIcons, kExplorerSmallIcons, kExplorerList}) {
        form->SetViewStyle(style);
        QListView* icons = form->ListView1->Icons();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(icons));
        form->ListView1->Selection()->clearSelection();
        const auto at = [&](const char* name) {
            return icons->visualRect(form->ListModel().index(Row(QString::fromLatin1(name)), 0))
                .center();
        };
        QTest::mouseClick(icons->viewport(), Qt::LeftButton, {}, at("OLD.TXT"));
        QTest::mouseClick(icons->viewport(), Qt::LeftButton, Qt::ControlModifier, at("A.TXT"));
        prompt.QueueMessageAnswer(TMsgResult::Yes);
        Trigger("EditDelete");
        EXPECT_EQ(TakeQueuedCommands(),
                  (QStringList{QStringLiteral("PicoDos \"Del A.TXT \""),
                               QStringLiteral("PicoDos \"Del OLD.TXT \""), QStringLiteral("DIR")}))
            << style;

        // A listing selects again the first picked index, which the actions then see.
        Feed(Listing("C:\\", kRoot));
        Trigger("LoadScript");
        EXPECT_EQ(TakeQueuedCommands(), QStringList{QStringLiteral("LoadScript \"A.TXT\"")})
            << style;

        Trigger("EditSelectAll");
        EXPECT_EQ(form->SelectedEntries().size(), 8U) << style;
        QTest::mouseClick(icons->viewport(), Qt::LeftButton, {}, at("LOGS"));
        QTest::mouseDClick(icons->viewport(), Qt::LeftButton, {}, at("LOGS"));
        EXPECT_EQ(TakeQueuedCommands(),
                  (QStringList{QStringLiteral("PicoDos \"CD LOGS \""), QStringLiteral("DIR")}))
            << style;
    }
}

TEST(ExplorerAlone, ANewWindowShowsLargeIconsWithItsStyleChecked)
{
    NewLinkGlobals();
    {
        TDASExplorerForm form;
        EXPECT_EQ(form.ViewStyle(), kExplorerLargeIcons);
        EXPECT_TRUE(form.Action(QStringLiteral("ViewLargeIcons"))->isChecked());
        EXPECT_FALSE(form.Action(QStringLiteral("ViewDetails"))->isChecked());
    }
    DeleteLinkGlobals();
}

TEST(ExplorerAlone, AListingBeforeTheFirstShowUsesTheCacheFolder)
{
    NewLinkGlobals();
    {
        TDASExplorerForm form;
        form.SetShellFileInfo(std::make_unique<TFakeShell>());
        const QByteArray text = Listing("C:\\", Entry("B.QQQ", "1") + Entry("A.QQQ", "2"));
        form.ReceiveListingData(text.constData(), static_cast<int>(text.size()));
        EXPECT_TRUE(QFileInfo::exists(GetProgramDataDir() + QStringLiteral("DASExplorer/DAS.QQQ")));
        EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath(QStringLiteral("DAS.QQQ"))));
        EXPECT_EQ(form.ListModel().item(0, 0)->text(), QStringLiteral("A.QQQ"));
    }
    DeleteLinkGlobals();
}

}  // namespace
