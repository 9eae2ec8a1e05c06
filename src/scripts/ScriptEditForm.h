#pragma once
// The script editor windows: each holds one syntax-colouring editor for one DAS script file.
// It opens and saves script files on the PC, offers every saved file to the DAS, saves the text
// straight to a file on the DAS, and loads, runs, shows and stops scripts on the DAS. The list
// TScriptEditForms (the desktop's ScriptEditForms) makes them and closes them all at the end.
//
// UI thread only.

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "desktop/Forms.h"
#include "scripts/Richsyntaxedit.h"

class QAction;
class QMenu;
class QToolBar;
class TWindowsMenuItem;

// The untitled name of a new script.
inline const QString kUntitledScript = QStringLiteral("Untitled.pxs");

class TScriptEditForm : public QMainWindow {
    Q_OBJECT
public:
    // Restores the placement "ScriptEditor", loads the keyword file and shows the window.
    explicit TScriptEditForm(QWidget* owner = nullptr);
    ~TScriptEditForm() override;

    TWindowsMenuItem* WindowMenuItem = nullptr;
    // The text changed since it was loaded or saved.
    bool Modified = false;
    // The script's PC path, or the untitled name.
    QString FileName = kUntitledScript;
    TRichSyntaxEdit* Editor = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Dummy1 = nullptr;
    // The application help file this window would show.
    QString HelpFile;

    // --- Actions ---
    QAction* FileNew = nullptr;
    QAction* FileOpen = nullptr;
    QAction* FileSave = nullptr;
    QAction* FileSaveAs = nullptr;
    QAction* SavetoPelagrix = nullptr;
    QAction* ScriptEdit_PrintSetup = nullptr;
    QAction* ScriptEdit_Print = nullptr;
    QAction* FileExit = nullptr;
    QAction* EditUndo = nullptr;
    QAction* EditRedo = nullptr;
    QAction* EditCut1 = nullptr;
    QAction* EditCopy1 = nullptr;
    QAction* EditPaste1 = nullptr;
    QAction* LoadAndRun = nullptr;
    QAction* LoadScript = nullptr;
    QAction* ShowLoadedScript = nullptr;
    QAction* RunLoadedScript = nullptr;
    QAction* StopScript = nullptr;
    QAction* HelpAbout = nullptr;
    QAction* HelpContents = nullptr;
    QToolBar* ToolBar = nullptr;

    // --- Files ---
    // Starts a new script named `name`, asking first whether to save modified text (Yes
    // saves under a new name and keeps the text; Cancel changes nothing). False when the
    // text stays.
    bool NewFile(const QString& name);
    // Loads and colours a PC file; the caption names it.
    void OpenFile(const QString& path);
    // The same for a temporary copy of a DAS file, named by its bare file name; the copy is
    // deleted after loading.
    void OpenTempFile(const QString& path);
    // Writes the file (through Save As for an untitled or folder-less name), then offers it
    // to the DAS. False when nothing was written or the offer was cancelled.
    bool Save();
    bool SaveAs();
    // "Save File as <8.3 name> to Current DAS Directory?": Yes sends the file and lists the
    // directory. False on Cancel.
    bool OfferSaveToDas();

    // --- Handlers ---
    void FormShow();
    void FormHide();
    void FormClose();
    bool FormCloseQuery();
    void EditorChange();
    void FileNewExecute();
    void FileOpenExecute();
    void FileSaveExecute();
    void FileSaveAsExecute();
    void SavetoPelagrixExecute();
    void ScriptEdit_PrintSetupExecute();
    void ScriptEdit_PrintExecute();
    void FileExitExecute();
    void EditUndoExecute();
    void EditRedoExecute();
    void EditUndoUpdate();
    void EditRedoUpdate();
    void LoadAndRunExecute();
    void LoadScriptExecute();
    void ShowLoadedScriptExecute();
    void RunLoadedScriptExecute();
    void StopScriptExecute();
    void HelpAboutExecute();
    void HelpContentsExecute();
    void PopupMenu1Popup();
    void Dummy1Click();

Q_SIGNALS:
    // The window closed (it is hidden, not deleted).
    void Closed(TScriptEditForm* form);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildActions();
    void BuildMenus();
    void BuildToolBar();
    QAction* MakeAction(const char* name, const char* caption, const char* hint,
                        void (TScriptEditForm::*handler)());
    void SetCaption();
    bool WriteFile(const QString& path);
    bool UploadScript();
    void LoadKeywords();

    // A transfer runs: the window stays open until it ends.
    bool busy_ = false;
};

// The open script editors. Deleting the list leaves the windows to their owner.
class TScriptEditForms final : public QObject, public IScriptEditForms {
    Q_OBJECT
public:
    // `owner` owns every editor made (they go when it does).
    explicit TScriptEditForms(QWidget* owner);
    ~TScriptEditForms() override;

    // Makes an editor, already shown, and lists it.
    TScriptEditForm* NewEditor() override;
    // Asks each listed editor's close query in list order; false at the first refusal.
    bool CanCloseAll() override;
    // Closes every listed editor, the last first.
    void CloseAll() override;
    // A new editor with a new script / with a script the operator opens.
    void NewScript() override;
    void OpenScript() override;

    int Count() const { return static_cast<int>(list_.size()); }
    TScriptEditForm* Items(int index) const { return list_.value(index); }

private:
    QWidget* owner_;
    QList<TScriptEditForm*> list_;
};

// The program's script editing: ScriptEditForms made as TScriptEditForms, and the keyword
// file installed beside the program when it is missing.
void InstallScriptEditing();
