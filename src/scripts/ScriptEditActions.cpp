// The script editor window's actions, menus, tool bar and pop-up menu, and what the edit,
// script, print and help actions do.
#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <exception>

#include "desktop/AboutBox.h"
#include "desktop/Dasdesktop.h"
#include "desktop/ThemeIcon.h"
#include "link/Das.h"
#include "link/Host.h"
#include "platform/Prompt.h"
#include "scripts/ScriptEditForm.h"
#include "scripts/ScriptPrinting.h"

namespace {

bool ClipboardHasText()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data != nullptr && data->hasText();
}

}  // namespace

QAction* TScriptEditForm::MakeAction(const char* name, const char* caption, const char* hint,
                                     void (TScriptEditForm::*handler)())
{
    auto* action = new QAction(QString::fromLatin1(caption), this);
    action->setObjectName(QString::fromLatin1(name));
    if (hint != nullptr) {
        action->setToolTip(QString::fromLatin1(hint));
        action->setStatusTip(QString::fromLatin1(hint));
    }
    if (handler != nullptr) {
        // No exception leaves an action: it is shown and the window goes on.
        connect(action, &QAction::triggered, this, [this, handler] {
            try {
                (this->*handler)();
            } catch (const std::exception& e) {
                ShowMessage(QString::fromLocal8Bit(e.what()));
            }
        });
    }
    return action;
}

void TScriptEditForm::BuildActions()
{
    using F = TScriptEditForm;
    FileNew = MakeAction("FileNew", "&New", "Create File", &F::FileNewExecute);
    FileOpen = MakeAction("FileOpen", "&Open...", "Open File", &F::FileOpenExecute);
    FileSave = MakeAction("FileSave", "&Save", "Save File", &F::FileSaveExecute);
    FileSaveAs = MakeAction("FileSaveAs", "Save &As...", "Save File As", &F::FileSaveAsExecute);
    SavetoPelagrix = MakeAction("SavetoPelagrix", "Save File to &Pelagrix", nullptr,
                                &F::SavetoPelagrixExecute);
    ScriptEdit_PrintSetup = MakeAction("ScriptEdit_PrintSetup", "Setup Printer...", nullptr,
                                       &F::ScriptEdit_PrintSetupExecute);
    ScriptEdit_Print =
        MakeAction("ScriptEdit_Print", "Print Script...", nullptr, &F::ScriptEdit_PrintExecute);
    FileExit = MakeAction("FileExit", "E&xit", "Exit Application", &F::FileExitExecute);
    EditUndo = MakeAction("EditUndo", "Undo", nullptr, &F::EditUndoExecute);
    EditRedo = MakeAction("EditRedo", "Redo", nullptr, &F::EditRedoExecute);
    EditCut1 = MakeAction("EditCut1", "Cu&t", "Cut", nullptr);
    EditCopy1 = MakeAction("EditCopy1", "&Copy", "Copy", nullptr);
    EditPaste1 = MakeAction("EditPaste1", "&Paste", "Paste", nullptr);
    LoadAndRun = MakeAction("LoadAndRun", "Load and &Run Script",
                            "Load and Run the current Editor Script", &F::LoadAndRunExecute);
    LoadScript = MakeAction("LoadScript", "&Load Script into DAS", "Load the Editor Script",
                            &F::LoadScriptExecute);
    ShowLoadedScript = MakeAction("ShowLoadedScript", "Sho&w Loaded Script",
                                  "Show Loaded Script", &F::ShowLoadedScriptExecute);
    RunLoadedScript =
        MakeAction("RunLoadedScript", "&Run Loaded Script", nullptr, &F::RunLoadedScriptExecute);
    StopScript = MakeAction("StopScript", "Stop Script", "Stop Currently Executing Script",
                            &F::StopScriptExecute);
    HelpAbout = MakeAction("HelpAbout", "&About", nullptr, &F::HelpAboutExecute);
    HelpContents = MakeAction("HelpContents", "&Contents", nullptr, &F::HelpContentsExecute);

    // The editor's own keys do the same for these shortcuts wherever the focus is in it.
    EditCut1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    EditCopy1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    EditPaste1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    connect(EditCut1, &QAction::triggered, Editor, &QPlainTextEdit::cut);
    connect(EditCopy1, &QAction::triggered, Editor, &QPlainTextEdit::copy);
    connect(EditPaste1, &QAction::triggered, this, [this] {
        try {
            Editor->CMPaste();
        } catch (const std::exception& e) {
            ShowMessage(QString::fromLocal8Bit(e.what()));
        }
    });
    EditCut1->setEnabled(false);
    EditCopy1->setEnabled(false);
    connect(Editor, &QPlainTextEdit::copyAvailable, EditCut1, &QAction::setEnabled);
    connect(Editor, &QPlainTextEdit::copyAvailable, EditCopy1, &QAction::setEnabled);
    EditPaste1->setEnabled(ClipboardHasText());
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, EditPaste1,
            [this] { EditPaste1->setEnabled(ClipboardHasText()); });

    FileNew->setIcon(ThemeIcon(QStringLiteral("document-new"), QStyle::SP_FileIcon));
    FileOpen->setIcon(ThemeIcon(QStringLiteral("document-open"), QStyle::SP_DialogOpenButton));
    FileSave->setIcon(ThemeIcon(QStringLiteral("document-save"), QStyle::SP_DialogSaveButton));
    FileExit->setIcon(ThemeIcon(QStringLiteral("application-exit"), QStyle::SP_DialogCloseButton));
    LoadScript->setIcon(ThemeIcon(QStringLiteral("go-up"), QStyle::SP_ArrowUp));
    RunLoadedScript->setIcon(
        ThemeIcon(QStringLiteral("media-playback-start"), QStyle::SP_MediaPlay));
    LoadAndRun->setIcon(
        ThemeIcon(QStringLiteral("media-seek-forward"), QStyle::SP_MediaSeekForward));
    ShowLoadedScript->setIcon(
        ThemeIcon(QStringLiteral("document-preview"), QStyle::SP_FileDialogContentsView));
    StopScript->setIcon(ThemeIcon(QStringLiteral("media-playback-stop"), QStyle::SP_MediaStop));
    EditCut1->setIcon(ThemeIconOrOwn(QStringLiteral("edit-cut"), QStringLiteral("cut")));
    EditCopy1->setIcon(ThemeIconOrOwn(QStringLiteral("edit-copy"), QStringLiteral("copy")));
    EditPaste1->setIcon(ThemeIconOrOwn(QStringLiteral("edit-paste"), QStringLiteral("paste")));
    HelpContents->setIcon(
        ThemeIcon(QStringLiteral("help-contents"), QStyle::SP_MessageBoxQuestion));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Dummy1 = PopupMenu1->addAction(QString());
    Dummy1->setObjectName(QStringLiteral("Dummy1"));
    connect(Dummy1, &QAction::triggered, this, [this] {
        try {
            Dummy1Click();
        } catch (const std::exception& e) {
            ShowMessage(QString::fromLocal8Bit(e.what()));
        }
    });
    Editor->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Editor, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu1Popup();
        if (Dummy1->isVisible()) {
            PopupMenu1->exec(Editor->viewport()->mapToGlobal(at));
        }
    });
}

void TScriptEditForm::BuildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addActions({FileNew, FileOpen, FileSave, FileSaveAs, SavetoPelagrix});
    file->addSeparator();
    file->addActions({ScriptEdit_PrintSetup, ScriptEdit_Print});
    file->addSeparator();
    file->addAction(FileExit);
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addActions({EditUndo, EditRedo, EditCut1, EditCopy1, EditPaste1});
    connect(edit, &QMenu::aboutToShow, this, [this] {
        EditUndoUpdate();
        EditRedoUpdate();
    });
    QMenu* script = menuBar()->addMenu(QStringLiteral("Script"));
    script->addActions(
        {LoadAndRun, LoadScript, ShowLoadedScript, RunLoadedScript, StopScript});
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(HelpAbout);
    EditUndoUpdate();
    EditRedoUpdate();
}

void TScriptEditForm::BuildToolBar()
{
    ToolBar = addToolBar(QStringLiteral("Tools"));
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setMovable(false);
    ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar->addActions({FileExit, FileNew, FileOpen, FileSave});
    ToolBar->addSeparator();
    ToolBar->addActions({LoadScript, RunLoadedScript, LoadAndRun, ShowLoadedScript, StopScript});
    ToolBar->addSeparator();
    ToolBar->addActions({EditCut1, EditCopy1, EditPaste1});
    ToolBar->addSeparator();
    ToolBar->addAction(HelpContents);
    // Buttons without an icon of the desktop's theme show their caption.
    for (QAction* action : ToolBar->actions()) {
        if (action->icon().isNull() && !action->isSeparator()) {
            action->setIconText(action->text().remove(QLatin1Char('&')));
            if (auto* button = qobject_cast<QToolButton*>(ToolBar->widgetForAction(action))) {
                button->setToolButtonStyle(Qt::ToolButtonTextOnly);
            }
        }
    }
}

// --- Edit ---

void TScriptEditForm::EditUndoExecute() { Editor->UndoRing().Undo(); }

void TScriptEditForm::EditRedoExecute() { Editor->UndoRing().Redo(); }

void TScriptEditForm::EditUndoUpdate() { EditUndo->setEnabled(Editor->UndoRing().CanUndo()); }

void TScriptEditForm::EditRedoUpdate() { EditRedo->setEnabled(Editor->UndoRing().CanRedo()); }

// --- Script ---

void TScriptEditForm::LoadScriptExecute() { UploadScript(); }

void TScriptEditForm::LoadAndRunExecute()
{
    // A script that did not arrive whole is never run.
    if (UploadScript()) {
        SendToDas(QStringLiteral("RUNSCRIPT"));
    }
}

// The same as the main window's: channel 254's window emptied and in front, "SENDPARSED".
void TScriptEditForm::ShowLoadedScriptExecute()
{
    if (DASDesktopForm != nullptr) {
        DASDesktopForm->Desktop_ShowLoadedScriptExecute();
    }
}

void TScriptEditForm::RunLoadedScriptExecute() { SendToDas(QStringLiteral("RUNSCRIPT")); }

void TScriptEditForm::StopScriptExecute() { SendToDas(QStringLiteral("ENDSCRIPT")); }

// --- Print, exit, help ---

void TScriptEditForm::ScriptEdit_PrintSetupExecute() { ScriptPrinter().PrintSetup(this); }

void TScriptEditForm::ScriptEdit_PrintExecute()
{
    ScriptPrinter().Print(this, FileName, *Editor->document());
}

void TScriptEditForm::FileExitExecute() { close(); }

void TScriptEditForm::HelpAboutExecute()
{
    if (AboutBox != nullptr) {
        TDASDesktopForm::RunModal(*AboutBox);
    }
}

void TScriptEditForm::HelpContentsExecute()
{
    // The help is in a Windows help file: shown by a program of the desktop that takes it.
    if (QFileInfo::exists(HelpFile) &&
        QDesktopServices::openUrl(QUrl::fromLocalFile(HelpFile))) {
        return;
    }
    ShowMessage(QStringLiteral("The help file ") + HelpFile +
                QStringLiteral(" cannot be shown on this system."));
}

// --- Templates ---

void TScriptEditForm::PopupMenu1Popup()
{
    const QString definition = Editor->GetCurrentKeywordDef();
    // A caption shows "&" as itself.
    Dummy1->setText(QString(definition).replace(QLatin1Char('&'), QStringLiteral("&&")));
    Dummy1->setData(definition);
    Dummy1->setVisible(!definition.isEmpty());
}

void TScriptEditForm::Dummy1Click()
{
    const QString definition = Dummy1->data().toString();
    Editor->SelectCurrentWord();
    Editor->InsertText(definition);
}
