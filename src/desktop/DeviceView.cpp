// The main window's device list: the report and the icon views on one sorted model, the
// four view styles, hints, in-place rename, sorting by column and double clicks; and the
// device actions that work on the list's selection.
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <algorithm>
#include <array>
#include <memory>

#include "desktop/Dasdesktop.h"
#include "desktop/DeviceImages.h"
#include "desktop/Forms.h"
#include "desktop/ModalResult.h"
#include "link/MuxClasses.h"
#include "platform/Prompt.h"
#include "station/DeviceSequences.h"
#include "station/DeviceSetupRules.h"

namespace {

// Icon sizes of the large and small icon styles: those of the device pictures.
constexpr int kLargeIconPx = kLargeDeviceIconPx;
constexpr int kSmallIconPx = kSmallDeviceIconPx;

// Labels of the hint's lines, one per column after the caption.
const std::array<const char*, kDeviceSubItemCount> kTipLabels = {
    "\nPower: ",     "\nPort: ",      "\nData: ",      "\nCapture: ",
    "\nCapture File: ", "\nEcho: ",   "\nEcho Port: ", "\nPower Seq: ",
    "\nData Seq: ",  "\nPort#: ",     "\nConnector#: ", "\nChannel#: ",
};

// The rows as the views show them: sorted on demand by one column's text without regard to
// case, with each row's hint while hints are on.
class TDeviceSortModel final : public QSortFilterProxyModel {
public:
    TDeviceSortModel(TDeviceListModel& source, QObject* parent)
        : QSortFilterProxyModel(parent), source_(source)
    {
        setSourceModel(&source);
        setSortCaseSensitivity(Qt::CaseInsensitive);
        setSortLocaleAware(false);
        // Rows move only when the operator sorts, not whenever a column's text changes.
        setDynamicSortFilter(false);
    }
    void SetHints(bool on) { hints_ = on; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::ToolTipRole) {
            return QSortFilterProxyModel::data(index, role);
        }
        const TDeviceListItem* item = source_.Item(mapToSource(index).row());
        return hints_ && item != nullptr ? QVariant(DeviceInfoTip(*item)) : QVariant();
    }

private:
    TDeviceListModel& source_;
    bool hints_ = false;
};

// Draws the device column (with its state image in the report) and hands the operator's
// in-place rename to the main window instead of writing the caption itself.
class TCaptionDelegate final : public QStyledItemDelegate {
public:
    TCaptionDelegate(TDASDesktopForm& form, bool stateImages, QObject* parent)
        : QStyledItemDelegate(parent), form_(form), state_(stateImages ? new TStateImageDelegate(this) : nullptr)
    {
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        if (state_ != nullptr) {
            state_->paint(painter, option, index);
        } else {
            QStyledItemDelegate::paint(painter, option, index);
        }
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return state_ != nullptr ? state_->sizeHint(option, index)
                                 : QStyledItemDelegate::sizeHint(option, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* /*model*/,
                      const QModelIndex& index) const override
    {
        const auto* line = qobject_cast<QLineEdit*>(editor);
        if (line != nullptr) {
            form_.DeviceViewRename(form_.ItemAtViewRow(index.row()), line->text());
        }
    }

private:
    TDASDesktopForm& form_;
    TStateImageDelegate* state_;
};

}  // namespace

QString DeviceInfoTip(const TDeviceListItem& item)
{
    QString tip = item.Caption();
    for (int i = 0; i < item.SubItemCount() && i < kDeviceSubItemCount; ++i) {
        tip += QString::fromLatin1(kTipLabels[static_cast<size_t>(i)]) + item.SubItem(i);
    }
    return tip;
}

void TDASDesktopForm::BuildDeviceView()
{
    auto* proxy = new TDeviceSortModel(*deviceModel_, this);
    sortProxy_ = proxy;
    auto* viewSelection = new QItemSelectionModel(sortProxy_, this);

    DeviceView = new QTreeView(this);
    DeviceView->setObjectName(QStringLiteral("DeviceView"));
    DeviceView->setModel(sortProxy_);
    DeviceView->setSelectionModel(viewSelection);
    DeviceView->setRootIsDecorated(false);
    // The report shows the small device pictures, the icon style the large ones.
    DeviceView->setIconSize(QSize(kSmallIconPx, kSmallIconPx));
    DeviceView->setItemsExpandable(false);
    DeviceView->setAllColumnsShowFocus(true);
    DeviceView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    DeviceView->setSelectionBehavior(QAbstractItemView::SelectRows);
    DeviceView->setEditTriggers(QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::SelectedClicked);
    DeviceView->setItemDelegateForColumn(kColDevice, new TCaptionDelegate(*this, true, DeviceView));
    DeviceView->header()->setSectionsClickable(true);
    connect(DeviceView->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { SortDevices(column); });
    connect(DeviceView, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { DeviceViewDblClick(index.row(), index.column()); });

    DeviceIcons = new QListView(this);
    DeviceIcons->setObjectName(QStringLiteral("DeviceIcons"));
    DeviceIcons->setModel(sortProxy_);
    DeviceIcons->setSelectionModel(viewSelection);
    DeviceIcons->setModelColumn(kColDevice);
    DeviceIcons->setSelectionMode(QAbstractItemView::ExtendedSelection);
    DeviceIcons->setEditTriggers(QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::SelectedClicked);
    DeviceIcons->setItemDelegate(new TCaptionDelegate(*this, false, DeviceIcons));
    connect(DeviceIcons, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex&) { ShowDeviceWindowExecute(); });

    deviceViews_ = new QStackedWidget(this);
    deviceViews_->addWidget(DeviceView);
    deviceViews_->addWidget(DeviceIcons);
    setCentralWidget(deviceViews_);

    // The views select on the sorted rows; the device list keeps its own selection, and each
    // follows the other.
    QItemSelectionModel* rows = deviceModel_->SelectionModel();
    auto syncing = std::make_shared<bool>(false);
    connect(viewSelection, &QItemSelectionModel::selectionChanged, this,
            [this, viewSelection, rows, syncing] {
                if (*syncing) {
                    return;
                }
                *syncing = true;
                rows->select(sortProxy_->mapSelectionToSource(viewSelection->selection()),
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                *syncing = false;
                UpdateActions();
            });
    connect(rows, &QItemSelectionModel::selectionChanged, this,
            [this, viewSelection, rows, syncing] {
                if (*syncing) {
                    return;
                }
                *syncing = true;
                viewSelection->select(sortProxy_->mapSelectionFromSource(rows->selection()),
                                      QItemSelectionModel::ClearAndSelect |
                                          QItemSelectionModel::Rows);
                *syncing = false;
                UpdateActions();
            });
    SetViewStyle(viewStyle_);
}

void TDASDesktopForm::SetDeviceListColor(const QColor& color)
{
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(DeviceView),
                                    static_cast<QAbstractItemView*>(DeviceIcons)}) {
        QPalette palette = view->palette();
        palette.setColor(QPalette::Base, color);
        view->setPalette(palette);
    }
}

void TDASDesktopForm::SetViewStyle(int style)
{
    viewStyle_ = std::clamp(style, static_cast<int>(kViewLargeIcons), static_cast<int>(kViewDetails));
    static_cast<TDeviceSortModel*>(sortProxy_)->SetHints(HintsOn());
    if (viewStyle_ == kViewDetails) {
        deviceViews_->setCurrentWidget(DeviceView);
        return;
    }
    const bool large = viewStyle_ == kViewLargeIcons;
    DeviceIcons->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    DeviceIcons->setIconSize(QSize(large ? kLargeIconPx : kSmallIconPx,
                                   large ? kLargeIconPx : kSmallIconPx));
    DeviceIcons->setFlow(viewStyle_ == kViewList ? QListView::TopToBottom
                                                 : QListView::LeftToRight);
    DeviceIcons->setWrapping(true);
    DeviceIcons->setResizeMode(QListView::Adjust);
    // Icons may be moved freely in the icon styles; the list style keeps its columns.
    DeviceIcons->setMovement(viewStyle_ == kViewList ? QListView::Static : QListView::Free);
    deviceViews_->setCurrentWidget(DeviceIcons);
}

void TDASDesktopForm::SortDevices(int column)
{
    sortColumn_ = std::clamp(column, 0, kDeviceColumnCount - 1);
    sortProxy_->sort(sortColumn_, Qt::AscendingOrder);
}

QAbstractItemModel* TDASDesktopForm::ViewModel() const { return sortProxy_; }

TDeviceListItem* TDASDesktopForm::ItemAtViewRow(int viewRow) const
{
    const QModelIndex index = sortProxy_->index(viewRow, 0);
    return index.isValid() ? deviceModel_->Item(sortProxy_->mapToSource(index).row()) : nullptr;
}

void TDASDesktopForm::AutoSizeColumns()
{
    QHeaderView* header = DeviceView->header();
    for (int column = 0; column < kDeviceColumnCount; ++column) {
        const int widest =
            std::max(static_cast<QAbstractItemView*>(DeviceView)->sizeHintForColumn(column),
                     header->sectionSizeHint(column));
        DeviceView->setColumnWidth(column, widest + kColumnPaddingPx);
    }
}

void TDASDesktopForm::DeviceViewDblClick(int viewRow, int column)
{
    TDeviceListItem* item = ItemAtViewRow(viewRow);
    if (item == nullptr || Devices == nullptr) {
        return;
    }
    if (column <= kColDevice) {
        ShowDeviceWindowExecute();
        return;
    }
    TDevice* device = Devices->DeviceOfItem(item);
    if (device == nullptr || column >= kDeviceColumnCount) {
        return;
    }
    // The cell's action works on its row alone, which becomes the selection.
    deviceModel_->SelectionModel()->clearSelection();
    item->SetSelected(true);
    RunCellAction(*device, column);
}

void TDASDesktopForm::RunCellAction(TDevice& device, int column)
{
    const QString text = device.GetListItem() != nullptr
                             ? device.GetListItem()->SubItem(column - 1)
                             : QString();
    switch (column) {
    case kColPower:
        if (text == QStringLiteral("ON")) {
            SendPowerOffSequence(device, true, true, false);
        } else {
            SendPowerOnSequence(device, true, true, true, 0);
        }
        break;
    case kColPort:
        if (text == QStringLiteral("OPEN")) {
            SendPowerOffSequence(device, false, false, true);
        } else {
            SendPowerOnSequence(device, false, false, true, 0);
        }
        break;
    case kColData:
        if (device.GetDataOn()) {
            SendDataStop(device);
        } else {
            SendDataStart(device);
        }
        break;
    case kColCapture:
        if (device.GetCaptureOn()) {
            Desktop_StopCaptureExecute();
        } else {
            Desktop_StartCaptureExecute();
        }
        break;
    case kColCaptureTo:
        ExecuteDeviceSetupPage(device, kSetupPageCapture);
        break;
    case kColEcho:
        if (TMux* mux = device.GetMux()) {
            mux->ToggleEcho();
        }
        UpdateActions();
        break;
    case kColPSeq:
    case kColDSeq:
        ExecuteDeviceSetupPage(device, kSetupPageSequences);
        break;
    default:
        ExecuteDeviceSetupPage(device, kSetupPagePort);
        break;
    }
}

void TDASDesktopForm::DeviceViewRename(TDeviceListItem* item, const QString& caption)
{
    if (item == nullptr || Devices == nullptr || renaming_ || caption == item->Caption()) {
        return;
    }
    TDevice* device = Devices->DeviceOfItem(item);
    if (device == nullptr) {
        return;
    }
    renaming_ = true;
    item->SetCaption(caption);
    if (Devices->IsDuplicateName(caption)) {
        ShowMessage(DuplicateNameMessage(caption));
        device->RestoreItemCaption();
    } else if (!UsableDeviceName(caption) && !TDevices::IsReservedName(caption)) {
        ShowMessage(UnusableNameMessage(caption));
        device->RestoreItemCaption();
    } else {
        // Refuses a model's name itself; an accepted new name marks the configuration
        // changed, so the next save keeps it.
        device->SetName();
    }
    renaming_ = false;
    AutoSizeColumns();
    UpdateActions();
}

// --- Devices ---

QString TDASDesktopForm::AskNewDeviceName()
{
    QString name;
    QString title = QStringLiteral("New Device Name");
    for (;;) {
        if (!Prompt().InputQuery(title, QStringLiteral("Name of New Device:"), name) ||
            name.isEmpty()) {
            return QString();
        }
        if (deviceModel_->FindCaption(name) != nullptr) {
            title = QStringLiteral("Duplicate Device Name");
        } else if (!UsableDeviceName(name)) {
            // A model's name would merge the device into the unit's section of the file.
            ShowMessage(UnusableNameMessage(name));
            title = QStringLiteral("New Device Name");
        } else {
            return name;
        }
        name.clear();
    }
}

void TDASDesktopForm::Desktop_NewDeviceExecute()
{
    if (Devices == nullptr || PortArray == nullptr || PortArray->FirstFreePort() == nullptr) {
        ShowMessage(QStringLiteral("Can Not Create Device -- No More Ports Available"));
        return;
    }
    const QString name = AskNewDeviceName();
    if (name.isEmpty()) {
        return;
    }
    // Building the device's window marks the configuration changed; a cancelled device
    // leaves it as it was.
    const bool changedBefore = ConfigurationChanged;
    TDevice* device = Devices->Add(name);
    if (device == nullptr) {
        return;
    }
    if (!ExecuteDeviceSetup(*device)) {
        Devices->Delete(device);
        ConfigurationChanged = changedBefore;
        UpdateActions();
        return;
    }
    ConfigurationChanged = true;
    PlaceDeviceWindow(*device, Devices->IndexOf(device));
    Timer_StatTimer();
    AutoSizeColumns();
    UpdateActions();
}

void TDASDesktopForm::Desktop_DeleteDeviceExecute()
{
    // Taken before anything is deleted: deleting rows changes the selection being walked.
    for (TDevice* device : SelectedDevices()) {
        if (Devices == nullptr || Devices->IndexOf(device) < 0) {
            continue;
        }
        const QString name = device->GetName();
        if (MessageDlg(QStringLiteral("Delete Devices"),
                       QStringLiteral("Delete the ") + name +
                           QStringLiteral(" from the current configuration?"),
                       TMsgButtons::YesNo, TMsgIcon::Question) != TMsgResult::Yes) {
            continue;
        }
        const TMsgResult exportFirst =
            MessageDlg(QStringLiteral("Delete Devices"),
                       QStringLiteral("Export the ") + name +
                           QStringLiteral(" settings before deleting?"),
                       TMsgButtons::YesNoCancel, TMsgIcon::Question);
        if (exportFirst != TMsgResult::Yes && exportFirst != TMsgResult::No) {
            continue;
        }
        if (exportFirst == TMsgResult::Yes) {
            ExecuteDeviceSetup(*device);
        }
        // The setup window may have deleted the device itself.
        if (Devices->IndexOf(device) >= 0) {
            ConfigurationChanged = true;
            Devices->Delete(device);
        }
    }
    UpdateActions();
}

void TDASDesktopForm::Desktop_DeviceSetupExecute()
{
    if (ScriptWizardForm != nullptr) {
        ScriptWizardForm->Window()->close();
    }
    if (Devices != nullptr) {
        Devices->EditSelected();
    }
    UpdateActions();
}

bool TDASDesktopForm::ExecuteDeviceSetupPage(TDevice& device, int page)
{
    if (DeviceSetupForm == nullptr) {
        return false;
    }
    DeviceSetupForm->LoadFromDevice(device, page);
    const bool finished = RunModal(*DeviceSetupForm) == kModalOk;
    DeviceSetupForm->DropWorkingCopy();
    return finished;
}

void TDASDesktopForm::PowerSelected(bool on)
{
    if (Devices == nullptr) {
        return;
    }
    // Several devices on one switch switch it once, at the first of them in power order.
    std::array<bool, kPowerSwitchCount> used{};
    int start = 0;
    for (TDevice* d = Devices->First(true, false); d != nullptr;
         d = Devices->Next(d, true, false)) {
        const int sw = d->GetPort() != nullptr ? d->GetPort()->GetPowerSwitch() : -1;
        const bool known = sw >= 0 && sw < kPowerSwitchCount;
        const bool power = !known || !used[static_cast<size_t>(sw)];
        if (on) {
            SendPowerOnSequence(*d, power, true, true, start);
            start += d->GetPowerOnDelay();
        } else {
            SendPowerOffSequence(*d, power, true, true);
        }
        if (known) {
            used[static_cast<size_t>(sw)] = true;
        }
    }
}

void TDASDesktopForm::Desktop_DeviceOnExecute() { PowerSelected(true); }

void TDASDesktopForm::Desktop_DeviceOffExecute() { PowerSelected(false); }

void TDASDesktopForm::Desktop_StartDataExecute()
{
    for (TDevice* d : SelectedDevices()) {
        SendDataStart(*d);
    }
}

void TDASDesktopForm::Desktop_StopDataExecute()
{
    for (TDevice* d : SelectedDevices()) {
        SendDataStop(*d);
    }
}

void TDASDesktopForm::Desktop_StartCaptureExecute()
{
    if (Devices != nullptr) {
        Devices->StartCapture(nullptr);
    }
}

void TDASDesktopForm::Desktop_StopCaptureExecute()
{
    if (Devices != nullptr) {
        Devices->StopCapture(nullptr);
    }
}

void TDASDesktopForm::Desktop_StartAllExecute()
{
    if (Devices == nullptr) {
        return;
    }
    if (SelectedDevices().empty()) {
        Devices->SelectAll();
    }
    Devices->StartData(nullptr);
}

void TDASDesktopForm::Desktop_StopAllExecute()
{
    if (Devices == nullptr) {
        return;
    }
    if (SelectedDevices().empty()) {
        Devices->SelectAll();
    }
    Devices->StopData(nullptr);
}

void TDASDesktopForm::Desktop_OpenSerialEchoExecute()
{
    for (TDevice* d : SelectedDevices()) {
        TMux* mux = d->GetMux();
        if (mux != nullptr && !mux->IsEchoOpen()) {
            mux->ToggleEcho();
        }
    }
    UpdateActions();
}

void TDASDesktopForm::Desktop_CloseSerialEchoExecute()
{
    for (TDevice* d : SelectedDevices()) {
        TMux* mux = d->GetMux();
        if (mux != nullptr && mux->IsEchoOpen()) {
            mux->ToggleEcho();
        }
    }
    UpdateActions();
}

