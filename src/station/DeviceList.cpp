// The station's device list: devices in data priority order, walks, saving and polling.
#include <QDir>
#include <algorithm>

#include "link/Global.h"
#include "platform/IniFile.h"
#include "platform/Prompt.h"
#include "station/DeviceClasses.h"

TDevices* Devices = nullptr;

TDevices::TDevices(TDeviceListModel* view, IDeviceListHost* host) : view_(view), host_(host)
{
    captureDir_ = StoredPath(GetProgramDataDir()) + QStringLiteral("Data\\");
    QDir().mkpath(NativePath(captureDir_));
}

TDevices::~TDevices() { Clear(); }

TDevice* TDevices::Add(const QString& name)
{
    if (view_ == nullptr || PortArray == nullptr || !AcceptName(name)) {
        return nullptr;
    }
    TPort* port = PortArray->FirstFreePort();
    if (port == nullptr) {
        return nullptr;
    }
    TDeviceListItem* item = view_->AddItem(name);
    auto* device = new TDevice(port, item, this);
    list_.push_back(device);
    // The device was not in the list while it was being built: its row is filled now.
    device->UpdateListItem();
    return device;
}

void TDevices::Delete(TDevice* device)
{
    const auto it = std::find(list_.begin(), list_.end(), device);
    if (it == list_.end()) {
        return;
    }
    list_.erase(it);
    TDeviceListItem* item = device->GetListItem();
    delete device;
    if (item != nullptr && view_ != nullptr) {
        view_->DeleteItem(item);
    }
    UpdateAllItems();
}

void TDevices::Clear()
{
    while (!list_.empty()) {
        Delete(list_.back());
    }
}

TDevice* TDevices::Items(int index) const
{
    if (index < 0 || index >= Count()) {
        return nullptr;
    }
    return list_[static_cast<size_t>(index)];
}

int TDevices::IndexOf(const TDevice* device) const
{
    const auto it = std::find(list_.begin(), list_.end(), device);
    return it == list_.end() ? -1 : static_cast<int>(it - list_.begin());
}

void TDevices::Move(TDevice* device, int index)
{
    const int from = IndexOf(device);
    if (from < 0 || index < 0 || index >= Count()) {
        return;
    }
    list_.erase(list_.begin() + from);
    list_.insert(list_.begin() + index, device);
}

TDevice* TDevices::FindByName(const QString& name) const
{
    return view_ != nullptr ? DeviceOfItem(view_->FindCaption(name)) : nullptr;
}

TDevice* TDevices::DeviceOfItem(const TDeviceListItem* item) const
{
    return item != nullptr ? item->Data() : nullptr;
}

bool TDevices::IsDuplicateName(const QString& name) const
{
    if (view_ == nullptr) {
        return false;
    }
    const TDeviceListItem* first = view_->FindCaption(name);
    return first != nullptr && view_->FindCaption(name, first->Index() + 1) != nullptr;
}

bool TDevices::IsReservedName(const QString& name)
{
    return std::any_of(std::begin(kModelSectionNames), std::end(kModelSectionNames),
                       [&name](const char* model) {
                           return name.compare(QLatin1String(model), Qt::CaseInsensitive) == 0;
                       });
}

bool TDevices::AcceptName(const QString& name)
{
    if (IsReservedName(name)) {
        ShowMessage(QStringLiteral("The name \"") + name +
                    QStringLiteral("\" is reserved for the DAS model. Please choose another "
                                   "device name."));
        return false;
    }
    if (name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n'))) {
        ShowMessage(QStringLiteral("A device name may not contain a line break."));
        return false;
    }
    // The configuration files are Latin-1, so that they stay readable at other stations: a
    // name beyond it would come back as other characters, and two such names as one section.
    if (std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() > 0xFF; })) {
        ShowMessage(QStringLiteral("The name \"") + name +
                    QStringLiteral("\" holds characters a configuration file cannot hold. "
                                   "Please use letters, digits and signs of Western European "
                                   "languages only."));
        return false;
    }
    return true;
}

void TDevices::SelectAll()
{
    for (TDevice* device : list_) {
        device->SetSelected(true);
    }
}

void TDevices::EditSelected()
{
    // The wizard may delete devices, so each one is looked up again before it is edited.
    const std::vector<TDevice*> devices = list_;
    for (TDevice* device : devices) {
        if (IndexOf(device) >= 0 && device->IsSelected()) {
            ExecuteDeviceSetup(device);
        }
    }
}

void TDevices::SyncSelectedNames()
{
    for (TDevice* device : list_) {
        if (device->IsSelected()) {
            device->SetName();
        }
    }
}

void TDevices::UpdateAllItems()
{
    for (TDevice* device : list_) {
        device->UpdateListItem();
    }
}

void TDevices::SetCaptureDir(const QString& folder)
{
    captureDir_ = folder.isEmpty() ? QString() : IncludeTrailingBackslash(StoredPath(folder));
}

bool TDevices::ExecuteDeviceSetup(TDevice* device)
{
    return device != nullptr && host_ != nullptr && host_->ExecuteDeviceSetup(*device);
}

TDevice* TDevices::NextInList(int index, bool selectedOnly) const
{
    for (int i = std::max(index, 0); i < Count(); ++i) {
        TDevice* device = Items(i);
        if (!selectedOnly || device->IsSelected()) {
            return device;
        }
    }
    return nullptr;
}

TDevice* TDevices::DeviceFromPort(TPort* port, bool selectedOnly) const
{
    for (; port != nullptr; port = port->GetOwner().NextInPowerOrder(port)) {
        TDevice* device = port->GetDevice();
        if (device != nullptr && IndexOf(device) >= 0 && (!selectedOnly || device->IsSelected())) {
            return device;
        }
    }
    return nullptr;
}

TDevice* TDevices::First(bool selectedOnly, bool listOrder) const
{
    if (listOrder) {
        return NextInList(0, selectedOnly);
    }
    return PortArray != nullptr ? DeviceFromPort(PortArray->FirstInPowerOrder(), selectedOnly)
                                : nullptr;
}

TDevice* TDevices::Next(const TDevice* device, bool selectedOnly, bool listOrder) const
{
    if (device == nullptr) {
        return nullptr;
    }
    if (listOrder) {
        const int index = IndexOf(device);
        return index < 0 ? nullptr : NextInList(index + 1, selectedOnly);
    }
    TPort* port = device->GetPort();
    if (port == nullptr) {
        ShowMessage(QStringLiteral("Error: Device does not have a port!"));
        return nullptr;
    }
    return DeviceFromPort(port->GetOwner().NextInPowerOrder(port), selectedOnly);
}

bool TDevices::SaveSettings(const QString& fileName)
{
    TMemIniFile ini(fileName);
    // The model sections stay in any letter case: the INI object finds them so, and no device
    // may carry their names.
    for (const QString& section : ini.ReadSections()) {
        if (!IsReservedName(section) && FindByName(section) == nullptr) {
            ini.EraseSection(section);
        }
    }
    // The device sections follow in list order, the data priority a load gives the devices,
    // each under its device's present name.
    for (const TDevice* device : list_) {
        ini.MoveSectionToEnd(device->GetName(), device->GetName());
        device->SaveSettings(ini);
    }
    if (!ini.UpdateFile()) {
        return false;
    }
    ConfigurationChanged = false;
    return true;
}

bool TDevices::SaveWindowSettings(const QString& fileName)
{
    TMemIniFile ini(fileName);
    for (const QString& section : ini.ReadSections()) {
        if (IsReservedName(section)) {
            continue;
        }
        if (const TDevice* device = FindByName(section)) {
            device->SaveWindowSettings(ini);
        }
    }
    return ini.UpdateFile();
}

bool TDevices::PollAll(double now)
{
    if (polling_) {
        return false;
    }
    struct TGuard {
        bool& flag;
        ~TGuard() { flag = false; }
    } guard{polling_};
    polling_ = true;
    bool polled = false;
    // A poll may show a message box whose nested loop deletes devices: walk a copy and skip
    // any device that is no longer in the list.
    const std::vector<TDevice*> devices = list_;
    for (TDevice* device : devices) {
        if (IndexOf(device) >= 0 && poll_ && poll_(*device, now)) {
            polled = true;
        }
    }
    return polled;
}
