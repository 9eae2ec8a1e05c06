#include "scripts/ScriptEditForm.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>

#include "desktop/DesktopFixture.h"
#include "link/Das.h"
#include "link/MuxClasses.h"
#include "scripts/ScriptPrinting.h"
#include "support/TestFiles.h"
#include "support/das/DasDirectory.h"
#include "support/das/DasFiles.h"
#include "desktop/Terminal.h"

namespace {

// The program on the sample station with the real script editing, its link parked so the
// queued console commands stay to be read.
class ScriptEditFormTest : public DesktopFixture {
protected:
    void SetUp() override
    {
        DesktopFixture::SetUp();
        ASSERT_TRUE(files.isValid());
        InstallScriptEditing();
        StartQuiet();
        ASSERT_NE(ScriptEditForms, nullptr);
    }

    void TearDown() override
    {
        // Closing the program asks no editor's question.
        if (auto* list = dynamic_cast<TScriptEditForms*>(ScriptEditForms)) {
            for (int i = 0; i < list->Count(); ++i) {
                list->Items(i)->Modified = false;
            }
        }
        Host.Unpause();
        DesktopFixture::TearDown();
        SetScriptEditFormsMaker({});
    }

    TScriptEditForm* NewEditor()
    {
        TScriptEditForm* editor = ScriptEditForms->NewEditor();
        EXPECT_NE(editor, nullptr);
        return editor;
    }

    QString FilePath(const char* name) const { return files.filePath(QString::fromLatin1(name)); }

    QTemporaryDir files;
};

// The same program with its link to the stand-in running, the stand-in keeping a disk and a
// script buffer.
class ScriptEditDasTest : public ScriptEditFormTest {
protected:
    void SetUp() override
    {
        DesktopFixture::SetUp();
        ASSERT_TRUE(files.isValid());
        InstallScriptEditing();
        Start();
        ASSERT_NE(ScriptEditForms, nullptr);
        ASSERT_TRUE(WaitUntil([this] { return !console.Commands().empty(); }));
        console.Clear();
    }

    // The console commands after the status polls, once `last` has arrived.
    QStringList CommandsUntil(const QString& last)
    {
        EXPECT_TRUE(WaitUntil([&] { return Received().contains(last); })) << last.toStdString();
        return Received();
    }

    QStringList Received()
    {
        QStringList out;
        for (const QString& text : console.Texts()) {
            if (!text.startsWith(QStringLiteral("SENDSTATUS"), Qt::CaseInsensitive)) {
                out << text;
            }
        }
        return out;
    }

    TDasFiles dasFiles{das, console};
    TDasDirectory disk{das, console, dasFiles};
};

// Records what would be printed.
class TRecordingPrinter final : public IScriptPrinter {
public:
    TRecordingPrinter() : previous_(SetScriptPrinter(this)) {}
    ~TRecordingPrinter() override { SetScriptPrinter(previous_); }
    TRecordingPrinter(const TRecordingPrinter&) = delete;
    TRecordingPrinter& operator=(const TRecordingPrinter&) = delete;
    void PrintSetup(QWidget*) override { ++setups; }
    void Print(QWidget*, const QString& title, const QTextDocument& document) override
    {
        titles << title;
        texts << document.toPlainText();
    }
    int setups = 0;
    QStringList titles;
    QStringList texts;

private:
    IScriptPrinter* previous_;
};

TEST_F(ScriptEditFormTest, NewEditorIsShownUntitledWithItsMenus)
{
    TScriptEditForm* editor = NewEditor();
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Script Editor"));
    EXPECT_EQ(editor->FileName, QStringLiteral("Untitled.pxs"));
    EXPECT_FALSE(editor->Modified);
    QStringList menus;
    for (QAction* action : editor->menuBar()->actions()) {
        menus << action->text();
    }
    EXPECT_EQ(menus, QStringList({QStringLiteral("&File"), QStringLiteral("&Edit"),
                                  QStringLiteral("Script"), QStringLiteral("&Window"),
                                  QStringLiteral("&Help")}));
    editor->FileNewExecute();
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Script Editor - Untitled.pxs"));
    // The keyword file installed beside the program colours the DAS's words.
    EXPECT_TRUE(editor->Editor->IsKeyWord(QStringLiteral("waitticks")));
    EXPECT_TRUE(editor->Editor->IsComment(QStringLiteral(";")));
}

// The main window's New Script and Open Script each open an editor of their own.
TEST_F(ScriptEditFormTest, TheMainWindowOpensNewAndExistingScripts)
{
    auto* list = dynamic_cast<TScriptEditForms*>(ScriptEditForms);
    ASSERT_NE(list, nullptr);
    Trigger("Desktop_NewScript");
    ASSERT_EQ(list->Count(), 1);
    EXPECT_TRUE(list->Items(0)->isVisible());
    EXPECT_EQ(list->Items(0)->windowTitle(), QStringLiteral("Script Editor - Untitled.pxs"));

    const QString path = FilePath("Open.pxs");
    WriteFile(path, "SetPower 1 On\r\n");
    prompt.QueueFile(path);
    Trigger("Desktop_OpenScript");
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(prompt.lastFileOptions.title, QStringLiteral("Open Script:"));
    EXPECT_EQ(list->Items(1)->windowTitle(), QStringLiteral("Script Editor - ") + path);
    EXPECT_EQ(list->Items(1)->Editor->GetText(), QStringLiteral("SetPower 1 On\r\n"));
    EXPECT_EQ(list->Items(0)->Editor->GetText(), QString());
}

TEST_F(ScriptEditFormTest, SaveOfAnUntitledScriptAsksForAFileThenOffersItToTheDas)
{
    TScriptEditForm* editor = NewEditor();
    editor->Editor->SetText(QStringLiteral("A\r\nB"));
    EXPECT_TRUE(editor->Modified);
    const QString path = FilePath("Test.pxs");
    prompt.QueueFile(path);
    prompt.QueueMessageAnswer(TMsgResult::No);
    EXPECT_TRUE(editor->Save());
    EXPECT_EQ(prompt.lastFileOptions.title, QStringLiteral("Save Script as:"));
    EXPECT_EQ(ReadAll(path), QByteArray("A\r\nB\r\n"));
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Script Editor - ") + path);
    EXPECT_EQ(prompt.shown.back().text,
              QStringLiteral("Save File as Test.pxs to Current DAS Directory?"));
    EXPECT_FALSE(editor->Modified);
}

TEST_F(ScriptEditFormTest, NewFileOnModifiedTextAsksAndCancelKeepsIt)
{
    TScriptEditForm* editor = NewEditor();
    editor->Editor->SetText(QStringLiteral("SetPower 1 On"));
    prompt.QueueMessageAnswer(TMsgResult::Cancel);
    EXPECT_FALSE(editor->NewFile(QStringLiteral("Untitled.pxs")));
    EXPECT_EQ(prompt.shown.back().text, QStringLiteral("Save Changes to File \"Untitled.pxs\"?"));
    EXPECT_EQ(editor->Editor->GetText(), QStringLiteral("SetPower 1 On"));
}

TEST_F(ScriptEditFormTest, YesToTheSaveQuestionSavesAndKeepsTheTextUntilTheNextNew)
{
    TScriptEditForm* editor = NewEditor();
    editor->Editor->SetText(QStringLiteral("Wait 1"));
    const QString path = FilePath("Kept.pxs");
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    prompt.QueueFile(path);
    prompt.QueueMessageAnswer(TMsgResult::No);
    EXPECT_TRUE(editor->NewFile(QStringLiteral("Untitled.pxs")));
    EXPECT_EQ(editor->Editor->GetText(), QStringLiteral("Wait 1"));
    EXPECT_EQ(editor->FileName, path);
    EXPECT_EQ(ReadAll(path), QByteArray("Wait 1\r\n"));
    editor->FileNewExecute();
    EXPECT_EQ(editor->Editor->GetText(), QString());
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Script Editor - Untitled.pxs"));
}

TEST_F(ScriptEditFormTest, SavingAFileNamedUntitledAsksForAName)
{
    TScriptEditForm* editor = NewEditor();
    editor->FileName = FilePath("Untitled.pxs");
    prompt.QueueFile(std::nullopt);
    EXPECT_FALSE(editor->Save());
    EXPECT_EQ(prompt.shown.back().kind, QStringLiteral("save"));
}

TEST_F(ScriptEditFormTest, OpenAndSaveKeepTheFileByteForByte)
{
    const QString path = FilePath("Round.pxs");
    const QByteArray bytes = QByteArray("; test {x}\r\nSetPower 1 On\r\n\r\n  \tSendString \"a\\b\" ") +
                             QByteArray("\xE9\x92\r\n");
    WriteFile(path, bytes);
    TScriptEditForm* editor = NewEditor();
    prompt.QueueFile(path);
    editor->FileOpenExecute();
    EXPECT_EQ(prompt.lastFileOptions.title, QStringLiteral("Open Script:"));
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Script Editor - ") + path);
    EXPECT_FALSE(editor->Modified);
    QFile::remove(path);
    prompt.QueueMessageAnswer(TMsgResult::No);
    EXPECT_TRUE(editor->Save());
    EXPECT_EQ(ReadAll(path), bytes);
}

// The editor's lines are its text's: a text ending in a line break is written with no line
// added, an empty script is an empty file.
TEST_F(ScriptEditFormTest, AScriptIsWrittenAsItWasLoaded)
{
    for (const QByteArray& bytes :
         {QByteArray("A\r\n\r\n"), QByteArray("A\r\nB\r\n"), QByteArray(), QByteArray("\r\n")}) {
        const QString path = FilePath("Lines.pxs");
        WriteFile(path, bytes);
        TScriptEditForm* editor = NewEditor();
        editor->OpenFile(path);
        EXPECT_EQ(editor->Editor->GetText(), QString::fromLatin1(bytes));
        QFile::remove(path);
        prompt.QueueMessageAnswer(TMsgResult::No);
        EXPECT_TRUE(editor->Save());
        EXPECT_EQ(ReadAll(path), bytes);
        editor->Modified = false;
    }
    TScriptEditForm* editor = NewEditor();
    editor->Editor->SetText(QStringLiteral("Wait 1\r\n"));
    prompt.QueueFile(FilePath("Typed.pxs"));
    prompt.QueueMessageAnswer(TMsgResult::No);
    EXPECT_TRUE(editor->Save());
    EXPECT_EQ(ReadAll(FilePath("Typed.pxs")), QByteArray("Wait 1\r\n"));
}

TEST_F(ScriptEditFormTest, OpenNeverDiscardsTextThatWasNotSaved)
{
    TScriptEditForm* editor = NewEditor();
    editor->Editor->SetText(QStringLiteral("unsaved"));
    const QString other = FilePath("Other.pxs");
    WriteFile(other, "other\r\n");
    prompt.QueueFile(other);
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    prompt.QueueFile(std::nullopt);
    editor->FileOpenExecute();
    EXPECT_EQ(prompt.Messages().last(),
              QStringLiteral("Confirm: Save Changes to Existing File?"));
    EXPECT_EQ(editor->Editor->GetText(), QStringLiteral("unsaved"));
    EXPECT_TRUE(editor->Modified);
}

TEST_F(ScriptEditFormTest, ATemporaryDasFileOpensUnderItsBareNameAndIsSavedAs)
{
    const QString temp = FilePath("RUN1.PXS");
    WriteFile(temp, "RunScript\r\n");
    TScriptEditForm* editor = NewEditor();
    editor->OpenTempFile(temp);
    EXPECT_FALSE(QFile::exists(temp));
    EXPECT_EQ(editor->FileName, QStringLiteral("RUN1.PXS"));
    EXPECT_FALSE(editor->Modified);
    prompt.QueueFile(std::nullopt);
    EXPECT_FALSE(editor->Save());
    EXPECT_EQ(prompt.lastFileOptions.fileName, QStringLiteral("RUN1.PXS"));
}

TEST_F(ScriptEditFormTest, CloseQueryAndTheListOfEditors)
{
    TScriptEditForm* first = NewEditor();
    TScriptEditForm* second = NewEditor();
    first->Editor->SetText(QStringLiteral("first"));
    second->Editor->SetText(QStringLiteral("second"));

    // The first refusal ends the question; the second editor is not asked.
    prompt.QueueMessageAnswer(TMsgResult::Cancel);
    EXPECT_FALSE(ScriptEditForms->CanCloseAll());
    EXPECT_EQ(prompt.shown.size(), 1u);

    // Cancel keeps a modified window open.
    prompt.QueueMessageAnswer(TMsgResult::Cancel);
    first->close();
    EXPECT_TRUE(first->isVisible());

    // A save on closing whose DAS offer is cancelled writes the file and stays open.
    const QString path = FilePath("Closing.pxs");
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    prompt.QueueFile(path);
    prompt.QueueMessageAnswer(TMsgResult::Cancel);
    first->close();
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(ReadAll(path), QByteArray("first\r\n"));

    QList<TScriptEditForm*> closed;
    auto* list = dynamic_cast<TScriptEditForms*>(ScriptEditForms);
    ASSERT_NE(list, nullptr);
    for (TScriptEditForm* editor : {first, second}) {
        editor->Modified = false;
        QObject::connect(editor, &TScriptEditForm::Closed,
                         [&closed](TScriptEditForm* f) { closed << f; });
    }
    ScriptEditForms->CloseAll();
    EXPECT_EQ(closed, QList<TScriptEditForm*>({second, first}));
    EXPECT_EQ(list->Count(), 0);
    // Closed windows are hidden, not deleted; a new editor is a window of its own.
    EXPECT_FALSE(first->isVisible());
    TScriptEditForm* third = NewEditor();
    EXPECT_NE(third, first);
    EXPECT_NE(third, second);
    EXPECT_EQ(list->Count(), 1);
}

TEST_F(ScriptEditFormTest, PopupOffersTheKeywordTemplate)
{
    TScriptEditForm* editor = NewEditor();
    editor->Editor->AddKeyWord(QStringLiteral("SWITCHALL sw state"));
    editor->Editor->SetText(QStringLiteral("SwitchAll 1"));
    editor->Editor->SetSel(3, 0);
    editor->PopupMenu1Popup();
    EXPECT_TRUE(editor->Dummy1->isVisible());
    EXPECT_EQ(editor->Dummy1->text(), QStringLiteral("SWITCHALL sw state"));
    editor->Dummy1->trigger();
    EXPECT_EQ(editor->Editor->GetText(), QStringLiteral("SWITCHALL sw state 1"));
    // The caret stands after the template put in.
    EXPECT_EQ(editor->Editor->SelStart(), 18);
    editor->PopupMenu1Popup();
    EXPECT_FALSE(editor->Dummy1->isVisible());
}

TEST_F(ScriptEditFormTest, PrintUsesTheFileNameAsTitle)
{
    TRecordingPrinter printer;
    TScriptEditForm* editor = NewEditor();
    editor->Editor->SetText(QStringLiteral("Wait 1"));
    editor->ScriptEdit_Print->trigger();
    editor->ScriptEdit_PrintSetup->trigger();
    EXPECT_EQ(printer.titles, QStringList({QStringLiteral("Untitled.pxs")}));
    EXPECT_EQ(printer.texts, QStringList({QStringLiteral("Wait 1")}));
    EXPECT_EQ(printer.setups, 1);
}

TEST_F(ScriptEditDasTest, SavedFileGoesToTheDasOnYes)
{
    TScriptEditForm* editor = NewEditor();
    editor->Editor->SetText(QStringLiteral("A\r\nB"));
    prompt.QueueFile(FilePath("Test.pxs"));
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    EXPECT_TRUE(editor->Save());
    EXPECT_EQ(CommandsUntil(QStringLiteral("DIR")),
              QStringList({QStringLiteral("RCVFILE \"Test.pxs\""), QStringLiteral("DIR")}));
    EXPECT_EQ(dasFiles.File(QStringLiteral("TEST.PXS")), QByteArray("A\r\nB\r\n"));
}

TEST_F(ScriptEditDasTest, SaveToTheDasUploadsThenReplacesTheFile)
{
    TScriptEditForm* editor = NewEditor();
    editor->Editor->SetText(QStringLiteral("SetPower 1 On\r\nWaitTicks 10"));
    editor->FileName = QStringLiteral("/x/LongScriptName.pxs");
    dasFiles.PutFile(QStringLiteral("LONGSCRI.PXS"), "old\r\n");
    editor->SavetoPelagrix->trigger();
    EXPECT_EQ(CommandsUntil(QStringLiteral("DIR")),
              QStringList({QStringLiteral("CLEARSCRIPT"), QStringLiteral("CHECKSCRIPT"),
                           QStringLiteral("PicoDos \"Del LongScri.pxs \""),
                           QStringLiteral("SaveScript \"LongScri.pxs\""),
                           QStringLiteral("DIR")}));
    EXPECT_EQ(dasFiles.File(QStringLiteral("LONGSCRI.PXS")),
              QByteArray("SetPower 1 On\r\nWaitTicks 10\r\n"));
    EXPECT_FALSE(prompt.Messages().join(QLatin1Char(' ')).contains(QStringLiteral("Save To DAS")));
}

TEST_F(ScriptEditDasTest, SaveToTheDasOfAnUntitledScriptAsksForTheName)
{
    TScriptEditForm* editor = NewEditor();
    editor->Editor->SetText(QStringLiteral("Wait 1"));
    prompt.QueueInput(QStringLiteral("RUN1.PXS"));
    editor->SavetoPelagrix->trigger();
    EXPECT_EQ(prompt.shown.front().title, QStringLiteral("Save To DAS"));
    EXPECT_EQ(prompt.shown.front().text,
              QStringLiteral("Select file name for save to current DAS directory"));
    EXPECT_EQ(editor->FileName, QStringLiteral("RUN1.PXS"));
    EXPECT_TRUE(CommandsUntil(QStringLiteral("DIR")).contains(QStringLiteral("SaveScript \"RUN1.PXS\"")));
}

TEST_F(ScriptEditDasTest, AWildcardNameIsNeverSentToTheDas)
{
    TScriptEditForm* editor = NewEditor();
    prompt.QueueInput(QStringLiteral("*.*"));
    editor->SavetoPelagrix->trigger();
    EXPECT_TRUE(prompt.Messages().last().contains(QStringLiteral("is not a DAS file name")));
    EXPECT_EQ(editor->FileName, QStringLiteral("Untitled.pxs"));
    Host.Pause();
    EXPECT_TRUE(TakeCommands().filter(QStringLiteral("Del")).isEmpty());
    Host.Unpause();
    EXPECT_TRUE(Received().isEmpty());
}

TEST_F(ScriptEditDasTest, APcFileNameThatIsNoDasNameNeverReachesTheDas)
{
    // Names a PC folder may hold: each would make "Del" act on other files or cut the command.
    for (const QString& pcName :
         {QStringLiteral("*.pxs"), QStringLiteral("a b.pxs"), QStringLiteral("x?.pxs"),
          QStringLiteral("q\"t.pxs"), QStringLiteral("cr\rDEL.pxs")}) {
        TScriptEditForm* editor = NewEditor();
        editor->Editor->SetText(QStringLiteral("Wait 1"));
        editor->FileName = QStringLiteral("/x/") + pcName;
        prompt.shown.clear();
        editor->SavetoPelagrix->trigger();
        ASSERT_FALSE(prompt.shown.empty()) << pcName.toStdString();
        EXPECT_TRUE(prompt.Messages().last().contains(QStringLiteral("is not a DAS file name")));

        // Saved on the PC under that name, the offer to send it refuses too.
        const QString path = FilePath(pcName.toLatin1().constData());
        prompt.QueueFile(path);
        prompt.QueueMessageAnswer(TMsgResult::Yes);
        prompt.shown.clear();
        editor->SaveAs();
        // A blank is harmless in the quoted name the file is sent under.
        EXPECT_EQ(prompt.Messages().join(QLatin1Char(' ')).contains(
                      QStringLiteral("is not a DAS file name")),
                  !pcName.contains(QLatin1Char(' ')))
            << pcName.toStdString();
        editor->Modified = false;
        editor->close();
    }
    // Each offer ends with a listing; by the last one every command has arrived.
    const QStringList sent = CommandsUntil(QStringLiteral("DIR"));
    for (const char* command : {"Del", "SaveScript", "CLEARSCRIPT"}) {
        EXPECT_TRUE(sent.filter(QLatin1String(command)).isEmpty()) << sent.join(' ').toStdString();
    }
    EXPECT_EQ(sent.filter(QStringLiteral("RCVFILE")), QStringList{"RCVFILE \"a b.pxs\""});
}

TEST_F(ScriptEditDasTest, LoadAndRunRunsOnlyAWholeScript)
{
    TScriptEditForm* editor = NewEditor();
    editor->Editor->SetText(QStringLiteral("Wait 1"));
    editor->LoadAndRun->trigger();
    EXPECT_EQ(CommandsUntil(QStringLiteral("RUNSCRIPT")),
              QStringList({QStringLiteral("CLEARSCRIPT"), QStringLiteral("CHECKSCRIPT"),
                           QStringLiteral("RUNSCRIPT")}));
    EXPECT_EQ(dasFiles.ScriptLines(), QStringList({QStringLiteral("Wait 1")}));

    // Without the script channel the upload fails: nothing runs, nothing is replaced.
    console.Clear();
    ASSERT_TRUE(MuxArray->RemoveChannel(kScriptChannel));
    editor->LoadAndRun->trigger();
    editor->FileName = QStringLiteral("/x/Keep.pxs");
    editor->SavetoPelagrix->trigger();
    editor->StopScript->trigger();
    EXPECT_EQ(CommandsUntil(QStringLiteral("ENDSCRIPT")),
              QStringList({QStringLiteral("DIR"), QStringLiteral("ENDSCRIPT")}));
}

TEST_F(ScriptEditDasTest, ShowRunAndStopTheLoadedScript)
{
    TScriptEditForm* editor = NewEditor();
    editor->ShowLoadedScript->trigger();
    editor->RunLoadedScript->trigger();
    editor->StopScript->trigger();
    EXPECT_EQ(CommandsUntil(QStringLiteral("ENDSCRIPT")),
              QStringList({QStringLiteral("SENDPARSED"), QStringLiteral("RUNSCRIPT"),
                           QStringLiteral("ENDSCRIPT")}));
    auto* window = dynamic_cast<QWidget*>(MuxArray->GetChannel(kScriptChannel)->GetWindow());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
}

}  // namespace
