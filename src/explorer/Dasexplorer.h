#pragma once
// The DAS file explorer: the DAS's drives and folders in a tree, the files and folders of its
// current folder in a list of four view styles, a tool bar and four status panels. It never
// reads the DAS's disk itself: every operation is a console command through Das, raw or as a
// PicoDos command, mostly followed by "DIR", whose listing on host channel 251 (TDirListing)
// rebuilds the tree and the list. Files move over host channel 250; scripts are loaded, run,
// shown and stopped; files open in the script editor or with the desktop's program, and go to
// and from other programs by drag and drop (ExplorerDragDrop.h).
//
// Names from the DAS only become local paths after IsSafeRelativePath; a command longer than
// the DAS takes (99 characters) is refused with a message, never cut. Operations that wait on
// a transfer work on a copy of the selection taken before the first wait, since a listing
// may rebuild the list meanwhile.
//
// UI thread only.

#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "desktop/Forms.h"
#include "explorer/DirListing.h"
#include "explorer/ExplorerDragDrop.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QToolBar;
class QTreeView;
class TBrowseFolders;
class TExplorerListView;
class TWindowsMenuItem;
class IShellFileInfo;

// The file transfers of the explorer: fetching a file of the DAS's current folder and
// sending a PC file to the DAS; each waits, with the event loop running, until it is over.
class IExplorerTransfers {
public:
    virtual ~IExplorerTransfers() = default;
    // Fetches the DAS file named as the local file into `localPath` (native); `size` 0 when
    // unknown. False when the transfer failed (the transfer has shown why).
    virtual bool GetFile(const QString& localPath, qint64 size) = 0;
    // Sends the file at `localPath` as `dasFolder` + its 8.3 name.
    virtual bool SendFile(const QString& localPath, const QString& dasFolder) = 0;
};

// Opens a local file with the desktop's program for it; false when that failed.
using TShellOpener = std::function<bool(const QString& path)>;
// Makes the drag-and-drop layer of a new explorer window.
using TExplorerDragDropMaker =
    std::function<std::unique_ptr<IExplorerDragSource>(TDASExplorerForm& form)>;
// The layer of the windows made from now on (empty: TExplorerDragDrop).
void SetExplorerDragDropMaker(TExplorerDragDropMaker maker);
// Registers the explorer window as the one the program makes at start (main, before
// CreateToolForms).
void InstallDASExplorer();

// A list entry as an operation found it when it started.
struct TExplorerEntry {
    QString name;
    QString size;  // as listed: thousands commas, or "<DIR>"
    bool folder = false;
};

class TDASExplorerForm final : public QMainWindow, public IDASExplorerForm {
    Q_OBJECT
public:
    explicit TDASExplorerForm(QWidget* parent = nullptr);
    ~TDASExplorerForm() override;
    TDASExplorerForm(const TDASExplorerForm&) = delete;
    TDASExplorerForm& operator=(const TDASExplorerForm&) = delete;

    // --- IDASExplorerForm ---
    QWidget* Form() override { return this; }
    bool Busy() const override { return busy_; }
    // Sends the raw command "DIR".
    void RefreshExecute() override;
    // A chunk of channel 251 (called inside the channel service: never blocks; messages of
    // the listing are shown once the service is over).
    void ReceiveListingData(const char* bytes, int count) override;
    int HighestDrive() const override { return listing_->HighestDrive(); }
    void SetHighestDrive(int drive) override { listing_->SetHighestDrive(drive); }
    int ViewStyle() const override;
    void SetViewStyle(int style) override;

    // --- Seams (tests and the platform layers) ---
    // Not owned; null restores the link's transfers.
    void SetTransfers(IExplorerTransfers* transfers);
    // Owned; null restores the desktop's file types.
    void SetShellFileInfo(std::unique_ptr<IShellFileInfo> shell);
    static void SetShellOpener(TShellOpener opener);
    void SetDragSource(std::unique_ptr<IExplorerDragSource> source);

    // --- Controls ---
    QTreeView* TreeView1 = nullptr;
    TExplorerListView* ListView1 = nullptr;
    QStatusBar* StatusBar_Explorer = nullptr;
    QToolBar* ToolBar_Explorer = nullptr;
    QMenu* PopupMenu1 = nullptr;
    TBrowseFolders* BrowseFolders = nullptr;
    // The action of that name (its object name), or null.
    QAction* Action(const QString& name) const;
    QString StatusPanelText(int panel) const;
    TImageItemModel& TreeModel() { return treeModel_; }
    TImageItemModel& ListModel() { return listModel_; }
    TDirListing& Listing() { return *listing_; }

    // --- State ---
    QString CacheDir() const { return listing_->CacheDir; }
    int SortColumn() const { return listing_->SortColumn; }
    int SortDirection() const { return listing_->SortDirection; }
    bool Editing() const { return editing_; }
    bool InternalDrop() const { return internalDrop_; }
    const std::vector<TDragName>& DragNames() const { return dragNames_; }
    QStringList DragFiles() const { return dragFiles_; }
    // The selected list entries, in list order.
    std::vector<TExplorerEntry> SelectedEntries() const;

    // --- Actions (DasexplorerCommands.cpp) ---
    void EditSelectAllExecute();
    void EditDeleteExecute();
    void NewFolderExecute();
    void NewScriptExecute();
    void SendFileExecute();
    void GetFileExecute();
    void RenameExecute();
    void ManagePartitionsExecute();
    void LoadAndRunExecute();
    void LoadScriptExecute();
    void StopScriptExecute();
    void RunLoadedScriptExecute();
    void OpenScriptExecute();
    void ShowLoadedScriptExecute();
    void OpenFileExecute();

    // --- List and tree events ---
    void ListView1DblClick();
    void ListView1MouseDown(const QPoint& pos);
    void ListView1MouseMove(const QPoint& pos, Qt::MouseButtons buttons);
    void ListView1ColumnClick(int column);
    void ListView1Edited(const QString& from, const QString& to);
    void PopupMenu1Popup();
    void TreeView1MouseDown(const QPoint& pos);
    void TreeView1Click();
    // "C:\" for drive C's root, "C:\A\B" for B under A under it.
    QString GetNodePath(const QModelIndex& node) const;

    // --- Drag and drop (DasexplorerDrops.cpp; points in the viewport of the view) ---
    // The drag source's drop event: a drop outside this window first fetches the dragged
    // files into the cache folder. Returns the dragged files that may be handed over.
    QStringList DropFileSource1Drop(bool outsideWindow);
    void DropFileTarget1DragOver(const QPoint& pos);
    void DropFileTarget1Drop(const QPoint& pos, const QStringList& files);
    void DropFileTarget2DragOver(const QPoint& pos);
    void DropFileTarget2Drop(const QPoint& pos, const QStringList& files);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Busy while it lives (the status timer sends no status request meanwhile).
    class TBusyScope {
    public:
        explicit TBusyScope(TDASExplorerForm& form) : form_(form), was_(form.busy_)
        {
            form.busy_ = true;
        }
        ~TBusyScope() { form_.busy_ = was_; }
        TBusyScope(const TBusyScope&) = delete;
        TBusyScope& operator=(const TBusyScope&) = delete;

    private:
        TDASExplorerForm& form_;
        bool was_;
    };

    void BuildActions();
    void BuildMenus();
    void BuildToolBar();
    void BuildViews();
    void BuildStatusBar();
    void FormShow();
    void SetEditing(bool on);
    void ShowPendingErrors();
    // Console commands; false (after a message) when the command is longer than the DAS
    // takes, and then nothing is sent.
    bool SendRaw(const QString& command);
    bool SendPicoDos(const QString& command);
    // Fetches `entries` into `localFolder`: folders are made (empty), files fetched; the local
    // paths that now exist go to `fetched`. False when any failed (each named in a message).
    bool GetEntries(const QString& localFolder, const std::vector<TExplorerEntry>& entries,
                    QStringList* fetched);
    void ClearAndShowScriptWindow();
    void Drop(const QString& target, const QStringList& files, bool onTree);
    IExplorerTransfers& Transfers();

    TImageItemModel treeModel_;
    TImageItemModel listModel_;
    std::unique_ptr<TDirListing> listing_;
    std::unique_ptr<IShellFileInfo> shell_;
    std::unique_ptr<IExplorerTransfers> linkTransfers_;
    IExplorerTransfers* transfers_ = nullptr;
    std::unique_ptr<IExplorerDragSource> dragSource_;
    std::array<QLabel*, kExplorerPanelCount> panels_{};
    std::array<QIcon, 3> treeIcons_;
    TWindowsMenuItem* windowMenu_ = nullptr;
    QAction* viewStyles_[4] = {};

    bool editing_ = false;
    bool busy_ = false;
    bool internalDrop_ = false;
    bool dragging_ = false;
    bool firstShowDone_ = false;
    QPoint pressPoint_;
    // The list was last pressed on an entry: moving from there drags, never selects.
    bool pressOnItem_ = false;
    QPersistentModelIndex pressNode_;
    bool pressOnButton_ = false;
    // The drag running from the list: its entries as they were when it started.
    std::vector<TExplorerEntry> dragEntries_;
    std::vector<TDragName> dragNames_;
    QStringList dragFiles_;
    QStringList pendingErrors_;
};
