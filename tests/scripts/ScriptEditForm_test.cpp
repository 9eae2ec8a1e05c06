#include "scripts/ScriptEditForm.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>

#include "desktop/DesktopFixture.h"
#include "link/Das.h"
#include "link/MuxClasses.h"
#include "support/das/DasFiles.h"

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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

}  // namespace
