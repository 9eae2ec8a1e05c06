// The script editor window: construction, its files on the PC and on the DAS, and its life
// cycle. The actions, menus and tool bar are in ScriptEditActions.cpp.
#include "scripts/ScriptEditForm.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <exception>

#include "desktop/WinMenuItem.h"
#include "link/Das.h"
#include "link/Global.h"
#include "link/Host.h"
#include "platform/Prompt.h"
#include "platform/WindowPlacement.h"
#include "station/ConfigFiles.h"

namespace {

const QString kPlacementName = QStringLiteral("ScriptEditor");
const QString kCaption = QStringLiteral("Script Editor");
const QString kScriptFilter =
    QStringLiteral("DAS Scripts (*.pxs;*.scr)|*.PXS;*.SCR|Text Files (*.txt)|*.TXT");
const QString kConfirmTitle = QStringLiteral("Confirm");
constexpr int kDefaultLeft = 21;
constexpr int kDefaultTop = 92;
constexpr int kDefaultWidth = 519;
constexpr int kDefaultHeight = 339;

// The keyword file is reported once a run when it cannot be read; the editors go on without
// colouring.
bool g_keywordErrorShown = false;

TMsgResult AskYesNoCancel(const QString& text)
{
    return MessageDlg(kConfirmTitle, text, TMsgButtons::YesNoCancel, TMsgIcon::Question);
}

// A path with no folder part: where it would be written is not known.
bool HasNoFolder(const QString& path)
{
    return !path.contains(QLatin1Char('/')) && !path.contains(QLatin1Char('\\'));
}

TFileDialogOptions ScriptDialog(const QString& title, const QString& fileName)
{
    TFileDialogOptions options;
    options.title = title;
    options.folder = DataSubFolder(QStringLiteral("Scripts"));
    options.filter = kScriptFilter;
    options.defaultExt = QStringLiteral("pxs");
    options.fileName = fileName;
    return options;
}

}  // namespace

TScriptEditForm::TScriptEditForm(QWidget* owner) : QMainWindow(owner)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(kCaption);
    setGeometry(kDefaultLeft, kDefaultTop, kDefaultWidth, kDefaultHeight);
    RestoreWindowPlacement(this, kPlacementName, false, true);
    HelpFile = GetAppDir() + QStringLiteral("Help/ScriptEditor.hlp");

    Editor = new TRichSyntaxEdit(this);
    Editor->setObjectName(QStringLiteral("Editor"));
    setCentralWidget(Editor);
    Editor->Clear();
    connect(Editor, &TRichEdit::Changed, this, &TScriptEditForm::EditorChange);
    BuildActions();
    BuildMenus();
    BuildToolBar();
    Modified = false;
    LoadKeywords();
    show();
}

TScriptEditForm::~TScriptEditForm() = default;

void TScriptEditForm::LoadKeywords()
{
    try {
        Editor->LoadKeyWordFile(KeywordFilePath());
    } catch (const std::exception& e) {
        if (!g_keywordErrorShown) {
            g_keywordErrorShown = true;
            ShowMessage(QString::fromLocal8Bit(e.what()) +
                        QStringLiteral("\nScripts are shown without colours."));
        }
    }
}

void TScriptEditForm::SetCaption() { setWindowTitle(kCaption + QStringLiteral(" - ") + FileName); }

void TScriptEditForm::EditorChange()
{
    Modified = true;
    EditUndoUpdate();
    EditRedoUpdate();
}

// --- Files ---

bool TScriptEditForm::NewFile(const QString& name)
{
    if (Editor->GetTextLen() > 0 && Modified) {
        const TMsgResult answer = AskYesNoCancel(QStringLiteral("Save Changes to File \"") +
                                                 FileName + QStringLiteral("\"?"));
        if (answer == TMsgResult::Yes) {
            return SaveAs();
        }
        if (answer != TMsgResult::No) {
            return false;
        }
    }
    Editor->Clear();
    FileName = name;
    SetCaption();
    show();
    Modified = false;
    return true;
}

void TScriptEditForm::OpenFile(const QString& path)
{
    Editor->LoadFile(path);
    FileName = path;
    SetCaption();
    show();
    // Loading a file is no change of it.
    Modified = false;
}

void TScriptEditForm::OpenTempFile(const QString& path)
{
    Editor->LoadFile(path);
    QFile::remove(NativePath(path));
    FileName = QFileInfo(NativePath(path)).fileName();
    SetCaption();
    show();
    Modified = false;
}

bool TScriptEditForm::WriteFile(const QString& path)
{
    QByteArray bytes;
    for (const QString& line : Editor->Lines()) {
        bytes += WritePlainText(line);
        bytes += "\r\n";
    }
    // Written whole or not at all, so a failed save never spoils the file that was there.
    QSaveFile file(NativePath(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        ShowMessage(QStringLiteral("Cannot write file \"") + path + QStringLiteral("\". ") +
                    file.errorString());
        return false;
    }
    return true;
}

bool TScriptEditForm::Save()
{
    // A bare name (a file opened from the DAS) has no folder to write to: the operator
    // chooses one, as for an untitled script.
    if (ToDasFileName(FileName) == kUntitledScript || HasNoFolder(FileName)) {
        return SaveAs();
    }
    if (!WriteFile(FileName)) {
        return false;
    }
    Modified = false;
    return OfferSaveToDas();
}

bool TScriptEditForm::SaveAs()
{
    const std::optional<QString> path =
        Prompt().SaveFile(ScriptDialog(QStringLiteral("Save Script as:"), FileName));
    if (!path) {
        return false;
    }
    if (!WriteFile(*path)) {
        return false;
    }
    FileName = *path;
    SetCaption();
    show();
    Modified = false;
    return OfferSaveToDas();
}

bool TScriptEditForm::OfferSaveToDas()
{
    const TMsgResult answer = AskYesNoCancel(QStringLiteral("Save File as ") +
                                             ToDasFileName(FileName) +
                                             QStringLiteral(" to Current DAS Directory?"));
    if (answer == TMsgResult::Yes) {
        busy_ = true;
        Host.SendFile(FileName, QString());
        busy_ = false;
        SendToDas(QStringLiteral("DIR"));
        return true;
    }
    return answer == TMsgResult::No;
}

void TScriptEditForm::FileNewExecute() { NewFile(kUntitledScript); }

void TScriptEditForm::FileOpenExecute()
{
    const std::optional<QString> path =
        Prompt().OpenFile(ScriptDialog(QStringLiteral("Open Script:"), QString()));
    if (!path) {
        return;
    }
    if (Editor->GetTextLen() > 0 && Modified) {
        const TMsgResult answer =
            AskYesNoCancel(QStringLiteral("Save Changes to Existing File?"));
        if (answer == TMsgResult::Yes) {
            Save();
            // Text that was not written is never thrown away.
            if (Modified) {
                return;
            }
        } else if (answer != TMsgResult::No) {
            return;
        }
    }
    OpenFile(*path);
    Modified = false;
}

void TScriptEditForm::FileSaveExecute() { Save(); }

void TScriptEditForm::FileSaveAsExecute() { SaveAs(); }

bool TScriptEditForm::UploadScript()
{
    busy_ = true;
    const bool ok = Host.SendScript(Editor->Lines());
    busy_ = false;
    return ok;
}

void TScriptEditForm::SavetoPelagrixExecute()
{
    QString name = ToDasFileName(FileName);
    if (name == kUntitledScript) {
        if (!Prompt().InputQuery(QStringLiteral("Save To DAS"),
                                 QStringLiteral("Select file name for save to current DAS "
                                                "directory"),
                                 name)) {
            return;
        }
        name = ToDasFileName(name);
    }
    // A typed name, or the name of the file on the PC: it goes unquoted into "Del".
    if (!IsDasCommandName(name, false)) {
        ShowMessage(NotADasFileNameMessage(name));
        return;
    }
    // The DAS file is replaced only once the new script has arrived.
    if (UploadScript() && Das != nullptr) {
        Das->PicoDos(QStringLiteral("Del ") + name);
        Das->SendCommand(QStringLiteral("SaveScript \"") + name + QStringLiteral("\""));
    }
    SendToDas(QStringLiteral("DIR"));
    if (FileName == kUntitledScript) {
        FileName = name;
        SetCaption();
    }
}

// --- Life cycle ---

void TScriptEditForm::FormShow()
{
    AddWindowsMenuOnFirstShow(WindowMenuItem, this, menuBar());
}

void TScriptEditForm::FormHide() {}

bool TScriptEditForm::FormCloseQuery() { return !busy_ && NewFile(kUntitledScript); }

void TScriptEditForm::FormClose()
{
    SaveWindowPlacement(this, kPlacementName);
    Q_EMIT Closed(this);
}

void TScriptEditForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    FormShow();
}

void TScriptEditForm::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    FormHide();
}

void TScriptEditForm::closeEvent(QCloseEvent* event)
{
    bool canClose = false;
    try {
        canClose = FormCloseQuery();
    } catch (const std::exception& e) {
        ShowMessage(QString::fromLocal8Bit(e.what()));
    }
    if (!canClose) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}
