// What the explorer's actions do: console commands to the DAS (each refused with a message
// when longer than the DAS takes), the file transfers with the folder picker and the open
// dialog, the script commands and the in-place rename.
#include <QDesktopServices>
#include <QDir>
#include <QItemSelectionModel>
#include <QTreeView>
#include <QUrl>

#include "desktop/Browsefolders.h"
#include "explorer/Dasexplorer.h"
#include "explorer/ExplorerListView.h"
#include "link/Das.h"
#include "link/Global.h"
#include "link/MuxClasses.h"
#include "platform/Prompt.h"
#include "scripts/ScriptEditForm.h"

namespace {

const QString kSaveToDirectory = QStringLiteral("Save to Directory...");
const QString kPartitionsPrompt = QStringLiteral(
    "Please indicate the highest letter of any drive partitioned on the DAS         "
    "(C to Z are valid).");

TShellOpener& ShellOpener()
{
    static TShellOpener opener;
    return opener;
}

bool OpenWithDesktop(const QString& path)
{
    if (ShellOpener()) {
        return ShellOpener()(path);
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

// A DAS entry name that names one file or folder right inside a local folder: no separator,
// no drive, no "." or "..", no control character.
bool IsLocalName(const QString& name)
{
    return IsSafeRelativePath(name) && !name.contains(QLatin1Char('/')) &&
           !name.contains(QLatin1Char('\\')) && name != QLatin1String(".");
}

void RefuseLongCommand(const QString& command)
{
    ShowMessage(QStringLiteral("Command not sent: it is longer than the ") +
                QString::number(kMaxCommandChars) +
                QStringLiteral(" characters the DAS takes.\r\n") + command);
}

}  // namespace

void TDASExplorerForm::SetShellOpener(TShellOpener opener) { ShellOpener() = std::move(opener); }

// --- Console commands ---

bool TDASExplorerForm::SendRaw(const QString& command)
{
    if (command.size() > kMaxCommandChars) {
        RefuseLongCommand(command);
        return false;
    }
    SendToDas(command);
    return true;
}

bool TDASExplorerForm::SendPicoDos(const QString& command)
{
    // The length TDas::PicoDos gives it on the wire: PicoDos "<command> ".
    const QString wrapped = QStringLiteral("PicoDos \"") + command + QStringLiteral(" \"");
    if (wrapped.size() > kMaxCommandChars) {
        RefuseLongCommand(wrapped);
        return false;
    }
    if (Das != nullptr) {
        Das->PicoDos(command);
    }
    return true;
}

// --- Edit and file actions ---

void TDASExplorerForm::EditSelectAllExecute() { ListView1->CurrentView()->selectAll(); }

void TDASExplorerForm::EditDeleteExecute()
{
    if (editing_) {
        return;
    }
    const std::vector<TExplorerEntry> entries = SelectedEntries();
    if (MessageDlg(QStringLiteral("Delete Files"), QStringLiteral("Delete Selected File(s)?"),
                   TMsgButtons::YesNo, TMsgIcon::Question) != TMsgResult::Yes) {
        return;
    }
    for (const TExplorerEntry& entry : entries) {
        // A listed name with a wildcard or a blank would delete other files.
        if (!IsDasCommandName(entry.name, false)) {
            ShowMessage(NotADasFileNameMessage(entry.name));
            continue;
        }
        SendPicoDos((entry.folder ? QStringLiteral("RmDir ") : QStringLiteral("Del ")) +
                    entry.name);
    }
    RefreshExecute();
}

void TDASExplorerForm::NewFolderExecute()
{
    QString name = QStringLiteral("NewFolder");
    // A cancelled box leaves the name as it was offered.
    Prompt().InputQuery(QStringLiteral("New Folder"), QStringLiteral("New Folder Name"), name);
    // Checked as a rename checks its names: a blank, a wildcard or a quote would make
    // another folder than the one typed, or end the command's quoting early.
    if (!IsDasCommandName(name, false)) {
        ShowMessage(NotADasFileNameMessage(name));
        return;
    }
    QModelIndex parent = TreeView1->selectionModel()->currentIndex();
    if (!parent.isValid()) {
        parent = treeModel_.index(0, 0);
    }
    const QStandardItem* node = treeModel_.itemFromIndex(parent);
    if (TDirListing::FindChildNode(node, name) >= 0) {
        ShowMessage(name + QStringLiteral("Already Exists"));
        return;
    }
    if (SendPicoDos(QStringLiteral("MkDir ") + name)) {
        RefreshExecute();
    }
}

void TDASExplorerForm::SendFileExecute()
{
    TFileDialogOptions options;
    options.title = QStringLiteral("Send File to DAS");
    options.filter = QStringLiteral("All Files (*)|*");
    const std::optional<QString> path = Prompt().OpenFile(options);
    if (!path) {
        return;
    }
    const TBusyScope busy(*this);
    Transfers().SendFile(*path, QString());
    RefreshExecute();
}

void TDASExplorerForm::GetFileExecute()
{
    // The selection as it was before the folder picker ran the event loop.
    const std::vector<TExplorerEntry> entries = SelectedEntries();
    BrowseFolders->Title = kSaveToDirectory;
    if (BrowseFolders->Execute(this)) {
        GetEntries(BrowseFolders->Folder, entries, nullptr);
    }
}

bool TDASExplorerForm::GetEntries(const QString& localFolder,
                                  const std::vector<TExplorerEntry>& entries, QStringList* fetched)
{
    const TBusyScope busy(*this);
    bool result = true;
    const QString folder = IncludeTrailingPathDelimiter(localFolder);
    for (const TExplorerEntry& entry : entries) {
        const QString local = folder + entry.name;
        // A name from the DAS that would reach outside the folder is never used.
        if (!IsLocalName(entry.name)) {
            ShowMessage(kErrorReceiving + local);
            result = false;
            continue;
        }
        if (entry.folder) {
            QDir().mkpath(local);
        } else if (!Transfers().GetFile(local, SizeTextToNumber(entry.size))) {
            ShowMessage(kErrorReceiving + local);
            result = false;
            continue;
        }
        if (fetched != nullptr) {
            *fetched << local;
        }
    }
    return result;
}

void TDASExplorerForm::RenameExecute()
{
    const QList<int> rows = ListView1->SelectedRows();
    if (!rows.isEmpty()) {
        ListView1->EditRow(rows.first());
    }
}

void TDASExplorerForm::ListView1Edited(const QString& from, const QString& to)
{
    SetEditing(false);
    for (const QString& name : {from, to}) {
        if (!IsDasCommandName(name, false)) {
            ShowMessage(NotADasFileNameMessage(name));
            RefreshExecute();
            return;
        }
    }
    if (SendPicoDos(QStringLiteral("REN ") + from + QLatin1Char(' ') + to)) {
        SendRaw(QStringLiteral("WAitTicks 100"));
        RefreshExecute();
    }
}

void TDASExplorerForm::ManagePartitionsExecute()
{
    QString answer = QString(QChar('C' + HighestDrive()));
    Prompt().InputQuery(QStringLiteral("Manage Partitions"), kPartitionsPrompt, answer);
    answer = answer.toUpper();
    int drive = HighestDrive();
    if (!answer.isEmpty() && answer[0] >= QLatin1Char('C') && answer[0] <= QLatin1Char('Z')) {
        drive = answer[0].unicode() - 'C';
    }
    if (drive != HighestDrive()) {
        SetHighestDrive(drive);
        RefreshExecute();
    }
}

void TDASExplorerForm::ListView1DblClick()
{
    const std::vector<TExplorerEntry> entries = SelectedEntries();
    if (entries.empty()) {
        return;
    }
    if (entries.size() == 1 && entries.front().folder) {
        if (SendPicoDos(QStringLiteral("CD ") + entries.front().name)) {
            RefreshExecute();
        }
        return;
    }
    GetFileExecute();
}

void TDASExplorerForm::OpenFileExecute()
{
    const std::vector<TExplorerEntry> entries = SelectedEntries();
    BrowseFolders->Title = kSaveToDirectory;
    if (!BrowseFolders->Execute(this)) {
        return;
    }
    const TBusyScope busy(*this);
    const QString folder = IncludeTrailingPathDelimiter(BrowseFolders->Folder);
    for (const TExplorerEntry& entry : entries) {
        if (entry.folder) {
            continue;
        }
        QStringList fetched;
        if (GetEntries(folder, {entry}, &fetched) && !OpenWithDesktop(fetched.first())) {
            ShowMessage(QStringLiteral("Could not open ") + fetched.first());
        }
    }
}

// --- Scripts ---

void TDASExplorerForm::ClearAndShowScriptWindow()
{
    TMux* mux = MuxArray != nullptr ? MuxArray->GetChannel(kScriptChannel) : nullptr;
    if (mux != nullptr) {
        mux->ClearWindow();
        mux->ShowWindow();
    }
}

void TDASExplorerForm::LoadScriptExecute()
{
    const std::vector<TExplorerEntry> entries = SelectedEntries();
    if (!entries.empty()) {
        SendRaw(QStringLiteral("LoadScript \"") + entries.front().name + QLatin1Char('"'));
    }
}

void TDASExplorerForm::LoadAndRunExecute()
{
    const std::vector<TExplorerEntry> entries = SelectedEntries();
    if (entries.empty() ||
        !SendRaw(QStringLiteral("LoadScript \"") + entries.front().name + QLatin1Char('"'))) {
        return;
    }
    ClearAndShowScriptWindow();
    SendRaw(QStringLiteral("SENDSTRING HOST 254 \"SCRIPT LOADED ON PELAGRIX\r\""));
    SendRaw(QStringLiteral("RunScript"));
}

void TDASExplorerForm::StopScriptExecute() { SendRaw(QStringLiteral("EndScript")); }

void TDASExplorerForm::RunLoadedScriptExecute() { SendRaw(QStringLiteral("RunScript")); }

void TDASExplorerForm::ShowLoadedScriptExecute()
{
    ClearAndShowScriptWindow();
    SendRaw(QStringLiteral("SENDPARSED"));
}

void TDASExplorerForm::NewScriptExecute()
{
    TScriptEditForm* editor = ScriptEditForms != nullptr ? ScriptEditForms->NewEditor() : nullptr;
    if (editor != nullptr) {
        editor->FileNewExecute();
    }
}

void TDASExplorerForm::OpenScriptExecute()
{
    const TBusyScope busy(*this);
    for (const TExplorerEntry& entry : SelectedEntries()) {
        if (entry.folder) {
            continue;
        }
        if (SizeTextToNumber(entry.size) >= kScriptEditorLimitBytes) {
            ShowMessage(entry.name + QStringLiteral(" too big for Script Editor"));
            continue;
        }
        QStringList fetched;
        if (!GetEntries(CacheDir(), {entry}, &fetched)) {
            continue;
        }
        // The editor loads the copy and deletes it.
        TScriptEditForm* editor =
            ScriptEditForms != nullptr ? ScriptEditForms->NewEditor() : nullptr;
        if (editor != nullptr) {
            editor->OpenTempFile(fetched.first());
        }
    }
}
