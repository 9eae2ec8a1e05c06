// The explorer window: its controls, actions, menus, tool bar and status panels, its show and
// close, the listings of channel 251, the view styles and sorting, and the mouse on the list
// and the tree. What the actions do is in DasexplorerCommands.cpp, drag and drop in
// DasexplorerDrops.cpp.
#include "explorer/Dasexplorer.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include "desktop/Browsefolders.h"
#include "desktop/ThemeIcon.h"
#include "desktop/WinMenuItem.h"
#include "explorer/ExplorerListView.h"
#include "explorer/ShellFileInfo.h"
#include "link/Das.h"
#include "link/Global.h"
#include "link/Host.h"
#include "link/MuxClasses.h"
#include "platform/Prompt.h"
#include "platform/WindowPlacement.h"

namespace {

// The window's first size (room for the tree and every column of the report), the tree's
// width and the splitter's.
constexpr int kExplorerWidthPx = 800;
constexpr int kExplorerHeightPx = 420;
constexpr int kTreeWidthPx = 161;
constexpr int kTreeIndentPx = 19;
constexpr int kSplitterPx = 4;

// One action: name, caption, hint, shortcut, image (ImageList1 index, -1 none), handler.
struct TActionDef {
    const char* name;
    const char* caption;
    const char* hint;
    const char* shortcut;
    int image;
    void (TDASExplorerForm::*run)();
};

const TActionDef kActions[] = {
    {"Explorer_ViewToolbar", "&Toolbar", "", "", 0, nullptr},
    {"Explorer_ViewStatusBar", "Status &Bar", "", "", -1, nullptr},
    {"ViewLargeIcons", "Lar&ge Icons", "", "", 4, nullptr},
    {"ViewSmallIcons", "S&mall Icons", "", "", 5, nullptr},
    {"ViewList", "&List", "", "", 6, nullptr},
    {"ViewDetails", "&Details", "", "", 7, nullptr},
    {"Refresh", "Refresh", "Refresh Directory Contents", "F5", -1,
     &TDASExplorerForm::RefreshExecute},
    {"EditSelectAll", "Select &All", "", "", -1, &TDASExplorerForm::EditSelectAllExecute},
    {"EditDelete", "&Delete", "", "Del", 2, &TDASExplorerForm::EditDeleteExecute},
    {"NewFolder", "New &Folder", "", "", 8, &TDASExplorerForm::NewFolderExecute},
    {"NewScript", "New &Script", "", "", 9, &TDASExplorerForm::NewScriptExecute},
    {"ExplorerClose", "&Close", "", "", 10, nullptr},
    {"SendFile", "&Send File to Pelagrix", "", "", 11, &TDASExplorerForm::SendFileExecute},
    {"GetFile", "&Get File(s) from Pelagrix", "", "", 12, &TDASExplorerForm::GetFileExecute},
    {"Rename", "Rename", "", "", -1, &TDASExplorerForm::RenameExecute},
    {"ManagePartitions", "Manage &Partitions", "", "", -1,
     &TDASExplorerForm::ManagePartitionsExecute},
    {"LoadAndRun", "Load And Run Script Now", "", "", 13, &TDASExplorerForm::LoadAndRunExecute},
    {"LoadScript", "Load Script into DAS", "", "", 14, &TDASExplorerForm::LoadScriptExecute},
    {"StopScript", "Stop Script", "", "", 15, &TDASExplorerForm::StopScriptExecute},
    {"RunLoadedScript", "Run Loaded Script", "", "", 16, &TDASExplorerForm::RunLoadedScriptExecute},
    {"OpenScript", "Open File in Script Editor", "", "", 17, &TDASExplorerForm::OpenScriptExecute},
    {"ShowLoadedScript", "Show Loaded Script", "", "", 18,
     &TDASExplorerForm::ShowLoadedScriptExecute},
    {"OpenFile", "Open File on PC", "", "", -1, &TDASExplorerForm::OpenFileExecute},
};

// The pictures of ImageList1 by index: an icon theme name, and where the theme has none the
// main window's own picture for the same thing (its view styles and script buttons), else the
// style's picture, or none where the style has nothing that fits.
constexpr QStyle::StandardPixmap kNoStylePicture = QStyle::SP_CustomBase;
struct TImageDef {
    int index;
    const char* theme;
    QStyle::StandardPixmap fallback;
    const char* own = nullptr;
};
const TImageDef kImages[] = {
    // The style's nearest picture would be the toolkit's own logo.
    {0, "configure-toolbars", kNoStylePicture},
    {2, "edit-delete", QStyle::SP_TrashIcon},
    {4, "view-list-icons", QStyle::SP_FileDialogContentsView, "large-icons"},
    {5, "view-list-compact", QStyle::SP_FileDialogListView, "small-icons"},
    {6, "view-list-text", QStyle::SP_FileDialogListView, "list"},
    {7, "view-list-details", QStyle::SP_FileDialogDetailedView, "details"},
    {8, "folder-new", QStyle::SP_FileDialogNewFolder},
    {9, "document-new", QStyle::SP_FileIcon, "new-script"},
    {10, "window-close", QStyle::SP_DialogCloseButton},
    {11, "go-up", QStyle::SP_ArrowUp},
    {12, "go-down", QStyle::SP_ArrowDown},
    {13, "media-playback-start", QStyle::SP_MediaPlay},
    {14, "go-next", QStyle::SP_ArrowRight},
    {15, "media-playback-stop", QStyle::SP_MediaStop, "stop-script"},
    {16, "system-run", QStyle::SP_MediaSkipForward, "run-script"},
    {17, "document-open", QStyle::SP_DialogOpenButton, "open-script"},
    {18, "document-preview", QStyle::SP_FileDialogInfoView, "show-script"},
};

QIcon ImageListIcon(int index)
{
    for (const TImageDef& def : kImages) {
        if (def.index != index) {
            continue;
        }
        const QString theme = QString::fromLatin1(def.theme);
        if (def.own != nullptr) {
            return ThemeIconOrOwn(theme, QString::fromLatin1(def.own));
        }
        return def.fallback == kNoStylePicture ? QIcon::fromTheme(theme)
                                               : ThemeIcon(theme, def.fallback);
    }
    return QIcon();
}

// Menu entries: an action's name, "-" for a separator.
const char* const kFileMenu[] = {"OpenFile", "OpenScript", "ManagePartitions",
                                 "SendFile", "GetFile",    "EditDelete",
                                 "Rename",   "-",          "ExplorerClose"};
const char* const kEditMenu[] = {"EditDelete", "-", "EditSelectAll"};
const char* const kViewMenu[] = {"Explorer_ViewToolbar",
                                 "Explorer_ViewStatusBar",
                                 "-",
                                 "ViewLargeIcons",
                                 "ViewSmallIcons",
                                 "ViewList",
                                 "ViewDetails",
                                 "Refresh"};
const char* const kScriptsMenu[] = {"LoadScript", "ShowLoadedScript", "RunLoadedScript",
                                    "LoadAndRun", "StopScript"};
// Tool bar buttons; "|" is a separator, "*" names a button without an action.
const char* const kToolButtons[] = {"NewFolder",
                                    "NewScript",
                                    "OpenScript",
                                    "|",
                                    "*Cu&t",
                                    "*&Copy",
                                    "*&Paste",
                                    "|",
                                    "ViewLargeIcons",
                                    "ViewSmallIcons",
                                    "ViewList",
                                    "ViewDetails",
                                    "|",
                                    "LoadScript",
                                    "ShowLoadedScript",
                                    "RunLoadedScript",
                                    "LoadAndRun",
                                    "StopScript"};

TExplorerDragDropMaker& DragDropMaker()
{
    static TExplorerDragDropMaker maker;
    return maker;
}

template <size_t N>
void AddEntries(const TDASExplorerForm& form, QMenu* menu, const char* const (&names)[N])
{
    for (const char* name : names) {
        if (name[0] == '-') {
            menu->addSeparator();
        } else {
            menu->addAction(form.Action(QString::fromLatin1(name)));
        }
    }
}

}  // namespace

void SetExplorerDragDropMaker(TExplorerDragDropMaker maker) { DragDropMaker() = std::move(maker); }

void InstallDASExplorer()
{
    SetDASExplorerFormMaker([] { return new TDASExplorerForm; });
}

TDASExplorerForm::TDASExplorerForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("DASExplorer"));
    setWindowFlag(Qt::Window, true);
    setWindowTitle(kExplorerCaption);
    resize(kExplorerWidthPx, kExplorerHeightPx);

    listModel_.setColumnCount(kListColumnCount);
    listModel_.setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"),
                                          QStringLiteral("Type"), QStringLiteral("Modified")});
    listModel_.horizontalHeaderItem(kColSize)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    BrowseFolders = new TBrowseFolders(this);
    BuildActions();
    BuildViews();
    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    SetViewStyle(kExplorerLargeIcons);

    listing_ = std::make_unique<TDirListing>(treeModel_, *TreeView1->selectionModel(), listModel_,
                                             *ListView1->Selection());
    // Set here rather than on the first show, so that a listing that comes before the window
    // was ever shown neither puts placeholders in the current folder nor sorts backwards.
    listing_->CacheDir = GetProgramDataDir() + kCacheFolderName + QLatin1Char('/');
    listing_->hooks.caption = [this](const QString& text) { setWindowTitle(text); };
    listing_->hooks.expandRecursively = [this](const QModelIndex& index) {
        TreeView1->expandRecursively(index);
    };
    listing_->hooks.panel = [this](int panel, const QString& text) {
        panels_[static_cast<size_t>(panel)]->setText(text);
    };
    listing_->hooks.reading = [this](bool reading) {
        TreeView1->setUpdatesEnabled(!reading);
        ListView1->setUpdatesEnabled(!reading);
    };
    listing_->hooks.error = [this](const QString& text) {
        if (pendingErrors_.isEmpty()) {
            QTimer::singleShot(0, this, &TDASExplorerForm::ShowPendingErrors);
        }
        if (!pendingErrors_.contains(text)) {
            pendingErrors_ << text;
        }
    };
    SetShellFileInfo(nullptr);
    SetTransfers(nullptr);
    dragSource_ =
        DragDropMaker() ? DragDropMaker()(*this) : std::make_unique<TExplorerDragDrop>(*this);
}

TDASExplorerForm::~TDASExplorerForm()
{
    // The drag-and-drop layer leaves the views before they go.
    dragSource_.reset();
}

void TDASExplorerForm::BuildActions()
{
    for (const TActionDef& def : kActions) {
        auto* action = new QAction(QString::fromLatin1(def.caption), this);
        action->setObjectName(QString::fromLatin1(def.name));
        const QString hint = QString::fromLatin1(def.hint);
        action->setStatusTip(hint);
        action->setToolTip(hint.isEmpty() ? action->text().remove(QLatin1Char('&')) : hint);
        if (def.shortcut[0] != '\0') {
            action->setShortcut(QKeySequence(QString::fromLatin1(def.shortcut)));
        }
        action->setIcon(ImageListIcon(def.image));
        if (def.run != nullptr) {
            connect(action, &QAction::triggered, this, [this, run = def.run] { (this->*run)(); });
        }
        addAction(action);
    }
    connect(Action(QStringLiteral("ExplorerClose")), &QAction::triggered, this, &QWidget::close);
    for (const char* name : {"Explorer_ViewToolbar", "Explorer_ViewStatusBar"}) {
        QAction* toggle = Action(QString::fromLatin1(name));
        toggle->setCheckable(true);
        toggle->setChecked(true);
    }
    auto* styles = new QActionGroup(this);
    const char* const styleNames[] = {"ViewLargeIcons", "ViewSmallIcons", "ViewList",
                                      "ViewDetails"};
    for (int style = kExplorerLargeIcons; style <= kExplorerDetails; ++style) {
        QAction* action = Action(QString::fromLatin1(styleNames[style]));
        action->setCheckable(true);
        styles->addAction(action);
        viewStyles_[style] = action;
        connect(action, &QAction::triggered, this, [this, style] { SetViewStyle(style); });
    }
}

void TDASExplorerForm::BuildViews()
{
    treeIcons_ = {QIcon(), ThemeIcon(QStringLiteral("folder"), QStyle::SP_DirIcon),
                  ThemeIcon(QStringLiteral("drive-harddisk"), QStyle::SP_DriveHDIcon)};
    treeModel_.SetImages([this](int index) {
        return index >= 0 && index < static_cast<int>(treeIcons_.size())
                   ? treeIcons_[static_cast<size_t>(index)]
                   : QIcon();
    });
    listModel_.SetImages([this](int index) { return shell_ ? shell_->Icon(index) : QIcon(); });

    TreeView1 = new QTreeView(this);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setModel(&treeModel_);
    TreeView1->setHeaderHidden(true);
    TreeView1->setIndentation(kTreeIndentPx);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView1->setUniformRowHeights(true);
    TreeView1->viewport()->installEventFilter(this);

    ListView1 = new TExplorerListView(listModel_, this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    for (QAbstractItemView* view : ListView1->Views()) {
        view->viewport()->installEventFilter(this);
        connect(view, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex&) { ListView1DblClick(); });
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& pos) {
            PopupMenu1->popup(view->viewport()->mapToGlobal(pos));
        });
    }
    connect(ListView1->Report()->header(), &QHeaderView::sectionClicked, this,
            &TDASExplorerForm::ListView1ColumnClick);
    ListView1->onRenameStarted = [this] { SetEditing(true); };
    ListView1->onRenamed = [this](const QString& from, const QString& to) {
        ListView1Edited(from, to);
    };
    ListView1->onRenameEnded = [this] { SetEditing(false); };

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setHandleWidth(kSplitterPx);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(TreeView1);
    splitter->addWidget(ListView1);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kTreeWidthPx, kExplorerWidthPx - kTreeWidthPx - kSplitterPx});
    setCentralWidget(splitter);
}

void TDASExplorerForm::BuildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    QMenu* newMenu = file->addMenu(QStringLiteral("New"));
    newMenu->addAction(Action(QStringLiteral("NewFolder")));
    newMenu->addAction(Action(QStringLiteral("NewScript")));
    AddEntries(*this, file, kFileMenu);
    AddEntries(*this, menuBar()->addMenu(QStringLiteral("Edit")), kEditMenu);
    AddEntries(*this, menuBar()->addMenu(QStringLiteral("View")), kViewMenu);
    AddEntries(*this, menuBar()->addMenu(QStringLiteral("Scripts")), kScriptsMenu);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    // Entries of their own (a caption of their own, or shown only for scripts) that run an
    // action.
    const auto entry = [this](const char* name, const char* action, const char* caption) {
        QAction* target = Action(QString::fromLatin1(action));
        auto* item = new QAction(caption != nullptr ? QString::fromLatin1(caption) : target->text(),
                                 PopupMenu1);
        item->setObjectName(QString::fromLatin1(name));
        item->setIcon(target->icon());
        connect(item, &QAction::triggered, target, &QAction::trigger);
        PopupMenu1->addAction(item);
        return item;
    };
    entry("Popup_GetFile", "GetFile", "&Get File from Pelagrix");
    PopupMenu1->addAction(Action(QStringLiteral("SendFile")));
    entry("Popup_LoadScript", "LoadScript", nullptr)->setVisible(false);
    entry("Popup_LoadAndRun", "LoadAndRun", nullptr)->setVisible(false);
    entry("Popup_OpenScript", "OpenScript", "Open Script in Script Editor");
    entry("Popup_OpenFile", "OpenFile", nullptr);
    PopupMenu1->addAction(Action(QStringLiteral("EditDelete")));
    PopupMenu1->addAction(Action(QStringLiteral("Rename")));
    PopupMenu1->addAction(Action(QStringLiteral("Refresh")));
    connect(PopupMenu1, &QMenu::aboutToShow, this, &TDASExplorerForm::PopupMenu1Popup);
}

void TDASExplorerForm::BuildToolBar()
{
    ToolBar_Explorer = addToolBar(QStringLiteral("Toolbar"));
    ToolBar_Explorer->setObjectName(QStringLiteral("ToolBar_Explorer"));
    ToolBar_Explorer->setMovable(false);
    for (const char* name : kToolButtons) {
        if (name[0] == '|') {
            ToolBar_Explorer->addSeparator();
        } else if (name[0] == '*') {
            // Cut, Copy and Paste stand on the bar without doing anything.
            const QString caption = QString::fromLatin1(name + 1);
            const QString hint = QString(caption).remove(QLatin1Char('&'));
            QAction* button = ToolBar_Explorer->addAction(caption);
            button->setObjectName(QStringLiteral("ToolButton_") + hint);
            button->setToolTip(hint);
            button->setIcon(
                ThemeIconOrOwn(QStringLiteral("edit-") + hint.toLower(), hint.toLower()));
        } else {
            ToolBar_Explorer->addAction(Action(QString::fromLatin1(name)));
        }
    }
    connect(Action(QStringLiteral("Explorer_ViewToolbar")), &QAction::toggled, ToolBar_Explorer,
            &QWidget::setVisible);
}

void TDASExplorerForm::BuildStatusBar()
{
    StatusBar_Explorer = statusBar();
    StatusBar_Explorer->setObjectName(QStringLiteral("StatusBar_Explorer"));
    StatusBar_Explorer->setSizeGripEnabled(true);
    for (int i = 0; i < kExplorerPanelCount; ++i) {
        auto* label = new QLabel(StatusBar_Explorer);
        label->setObjectName(QStringLiteral("Panel%1").arg(i));
        label->setFixedWidth(kExplorerPanelWidths[i]);
        // The panels show the DAS's listing text as it is, never as markup.
        label->setTextFormat(Qt::PlainText);
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        StatusBar_Explorer->addWidget(label);
        panels_[static_cast<size_t>(i)] = label;
    }
    connect(Action(QStringLiteral("Explorer_ViewStatusBar")), &QAction::toggled, StatusBar_Explorer,
            &QWidget::setVisible);
}

QAction* TDASExplorerForm::Action(const QString& name) const
{
    return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

QString TDASExplorerForm::StatusPanelText(int panel) const
{
    return panel >= 0 && panel < kExplorerPanelCount ? panels_[static_cast<size_t>(panel)]->text()
                                                     : QString();
}

// --- Seams ---

namespace {

// The link's transfers on host channel 250.
class TLinkTransfers final : public IExplorerTransfers {
public:
    bool GetFile(const QString& localPath, qint64 size) override
    {
        TMux* mux = MuxArray != nullptr ? MuxArray->GetChannel(kFileChannel) : nullptr;
        return mux != nullptr && mux->GetFile(localPath, size);
    }
    bool SendFile(const QString& localPath, const QString& dasFolder) override
    {
        return Host.SendFile(localPath, dasFolder);
    }
};

}  // namespace

void TDASExplorerForm::SetTransfers(IExplorerTransfers* transfers)
{
    if (transfers == nullptr && linkTransfers_ == nullptr) {
        linkTransfers_ = std::make_unique<TLinkTransfers>();
    }
    transfers_ = transfers != nullptr ? transfers : linkTransfers_.get();
}

IExplorerTransfers& TDASExplorerForm::Transfers() { return *transfers_; }

void TDASExplorerForm::SetShellFileInfo(std::unique_ptr<IShellFileInfo> shell)
{
    shell_ = shell != nullptr ? std::move(shell) : std::make_unique<TMimeFileInfo>();
    listing_->SetShellFileInfo(shell_.get());
}

void TDASExplorerForm::SetDragSource(std::unique_ptr<IExplorerDragSource> source)
{
    dragSource_ = std::move(source);
}

// --- Show and close ---

void TDASExplorerForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    FormShow();
}

void TDASExplorerForm::FormShow()
{
    // Goes in before the last top-level menu.
    AddWindowsMenuOnFirstShow(windowMenu_, this, menuBar());
    // The highest drive keeps what the configuration or the operator set.
    if (firstShowDone_) {
        return;
    }
    firstShowDone_ = true;
    ListView1->AutoSizeColumns();
    SetEditing(false);
    QDir().mkpath(CacheDir());
    internalDrop_ = false;
    listing_->SortColumn = kColName;
    listing_->SortDirection = 1;
    busy_ = false;
}

void TDASExplorerForm::closeEvent(QCloseEvent* event)
{
    // Saved as closed: a window the operator closed stays closed at the next start.
    SaveWindowPlacement(this, kExplorerPlacement, false);
    QMainWindow::closeEvent(event);
}

// --- Listings, view styles and sorting ---

void TDASExplorerForm::RefreshExecute() { SendRaw(QStringLiteral("DIR")); }

void TDASExplorerForm::ReceiveListingData(const char* bytes, int count)
{
    // A piece of a listing still arriving is only kept: the views stay as they are.
    if (listing_->ReceiveListingData(bytes, count) > 0) {
        ListView1->AutoSizeColumns(listing_->ListTexts());
        ListView1->Report()->header()->setSortIndicator(
            SortColumn(), SortDirection() < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
}

void TDASExplorerForm::ShowPendingErrors()
{
    // Taken first: a box runs the event loop, and a listing meanwhile may add more.
    const QStringList errors = pendingErrors_;
    pendingErrors_.clear();
    for (const QString& text : errors) {
        ShowMessage(text);
    }
}

int TDASExplorerForm::ViewStyle() const { return ListView1->ViewStyle(); }

void TDASExplorerForm::SetViewStyle(int style)
{
    ListView1->SetViewStyle(style);
    viewStyles_[ListView1->ViewStyle()]->setChecked(true);
}

void TDASExplorerForm::ListView1ColumnClick(int column)
{
    if (column == listing_->SortColumn) {
        listing_->SortDirection = -listing_->SortDirection;
    } else {
        listing_->SortColumn = column;
        listing_->SortDirection = 1;
    }
    listing_->SortList();
    ListView1->Report()->header()->setSortIndicator(
        SortColumn(), SortDirection() < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

std::vector<TExplorerEntry> TDASExplorerForm::SelectedEntries() const
{
    std::vector<TExplorerEntry> entries;
    for (const int row : ListView1->SelectedRows()) {
        TExplorerEntry entry;
        entry.name = listModel_.item(row, kColName)->text();
        entry.size = listModel_.item(row, kColSize)->text();
        entry.folder = entry.size == QLatin1String("<DIR>");
        entries.push_back(entry);
    }
    return entries;
}

// --- Mouse on the list and the tree ---

bool TDASExplorerForm::eventFilter(QObject* watched, QEvent* event)
{
    const bool onTree = watched == TreeView1->viewport();
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (onTree) {
            TreeView1MouseDown(mouse->position().toPoint());
        } else {
            ListView1MouseDown(mouse->position().toPoint());
        }
    } else if (event->type() == QEvent::MouseButtonRelease && onTree) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        // A click: released on the node it was pressed on.
        if (mouse->button() == Qt::LeftButton && pressNode_.isValid() &&
            TreeView1->indexAt(mouse->position().toPoint()) == QModelIndex(pressNode_)) {
            TreeView1Click();
        }
    } else if (event->type() == QEvent::MouseMove && !onTree) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        ListView1MouseMove(mouse->position().toPoint(), mouse->buttons());
        // A move from a pressed entry belongs to the drag: the view's own drag-selecting
        // would first shrink the selection to the entries under the mouse.
        if (pressOnItem_ && (mouse->buttons() & (Qt::LeftButton | Qt::RightButton))) {
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TDASExplorerForm::ListView1MouseDown(const QPoint& pos)
{
    SetEditing(false);
    pressPoint_ = pos;
    pressOnItem_ = ListView1->RowAt(pos) >= 0;
}

void TDASExplorerForm::SetEditing(bool on)
{
    editing_ = on;
    // While a caption is edited the Delete key belongs to the editor.
    Action(QStringLiteral("EditDelete"))
        ->setShortcut(on ? QKeySequence() : QKeySequence(QKeySequence::Delete));
}

void TDASExplorerForm::PopupMenu1Popup()
{
    bool script = false;
    const std::vector<TExplorerEntry> entries = SelectedEntries();
    if (entries.size() == 1) {
        const QString name = entries.front().name.toLower();
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        const QString ext = dot >= 0 ? name.mid(dot) : QString();
        script = ext == QLatin1String(".scr") || ext == QLatin1String(".pxs") ||
                 ext == QLatin1String(".bat") || ext == QLatin1String(".cmd");
    }
    for (const char* name : {"Popup_LoadScript", "Popup_LoadAndRun", "Popup_OpenScript"}) {
        PopupMenu1->findChild<QAction*>(QString::fromLatin1(name))->setVisible(script);
    }
    PopupMenu1->findChild<QAction*>(QStringLiteral("Popup_OpenFile"))->setVisible(!script);
}

void TDASExplorerForm::TreeView1MouseDown(const QPoint& pos)
{
    internalDrop_ = false;
    const QModelIndex index = TreeView1->indexAt(pos);
    pressNode_ = index;
    // Left of the node's own rectangle lies its expand button (the indentation).
    pressOnButton_ = index.isValid() && pos.x() < TreeView1->visualRect(index).left();
}

void TDASExplorerForm::TreeView1Click()
{
    // The node may have gone with a listing that came between the press and the click.
    if (!pressNode_.isValid() || pressOnButton_) {
        return;
    }
    if (SendPicoDos(QStringLiteral("ChDir ") + GetNodePath(pressNode_))) {
        RefreshExecute();
    }
}

QString TDASExplorerForm::GetNodePath(const QModelIndex& node) const
{
    QString path;
    for (QModelIndex index = node; index.isValid(); index = index.parent()) {
        const QString text = index.data().toString();
        path = index.parent().isValid() ? QLatin1Char('\\') + text + path
                                        : text.left(1) + QLatin1Char(':') + path;
    }
    return path.size() == 2 ? path + QLatin1Char('\\') : path;
}
