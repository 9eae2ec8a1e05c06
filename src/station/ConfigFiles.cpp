// The configuration file: choosing, creating, loading and saving it.
#include "station/ConfigFiles.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <utility>
#include <vector>

#include "link/Das.h"
#include "link/Global.h"
#include "platform/IniFile.h"
#include "platform/Prompt.h"
#include "station/DeviceClasses.h"
#include "station/PortClasses.h"

namespace {

const QString kConfigFolder = QStringLiteral("Config");
const QString kConfirmTitle = QStringLiteral("Confirm");
const QString kWarningTitle = QStringLiteral("Warning");

// PC COM ports 1..15 can be device ports.
constexpr int kHighestDevicePort = 15;
// Range of the stored settings that index tables or drive timers.
constexpr int kHighestViewStyle = 3;
constexpr int kHighestSortColumn = 12;
constexpr int kHighestSeqNum = 999;
constexpr int kHighestPartition = 23;
constexpr int kHighestCommPort = 255;
constexpr int kLeastIntervalMs = 100;

// Sections read as a model section on load: exact names only.
bool IsExactModelSection(const QString& section)
{
    return section == kModelPelagrix || section == kModelCorvane;
}

QString CurrentModel() { return Das != nullptr ? Das->Model : kModelPelagrix; }

// A value inside [low, high], else `fallback`.
int InRangeOr(int value, int low, int high, int fallback)
{
    return value >= low && value <= high ? value : fallback;
}

TFileDialogOptions ConfigDialogOptions(const QString& title, const QString& fileName)
{
    TFileDialogOptions options;
    options.title = title;
    options.folder = DataSubFolder(kConfigFolder);
    options.filter = kConfigFileFilter;
    options.fileName = fileName;
    return options;
}

}  // namespace

QString DataSubFolder(const QString& name)
{
    const QString folder = GetProgramDataDir() + name + QLatin1Char('/');
    QDir().mkpath(folder);
    return folder;
}

TStationConfig::TStationConfig(IStationConfigHost& host)
    : ConfigFileName(ExpandDataRelativePath(kDefaultConfigFile)), host_(host)
{
}

bool TStationConfig::FileExists(const QString& path)
{
    return !path.isEmpty() && !IsNoFileName(path) && QFileInfo(path).isFile();
}

bool TStationConfig::ChooseConfigurationFile()
{
    const std::optional<QString> chosen = Prompt().OpenFile(ConfigDialogOptions(
        QStringLiteral("Open Pelagrix/Corvane Configuration File"), ConfigFileName));
    bool create = false;
    if (!chosen || !FileExists(*chosen)) {
        if (MessageDlg(kConfirmTitle,
                       QStringLiteral("No Files Selected, Create New Configuration?"),
                       TMsgButtons::YesNo, TMsgIcon::Question) != TMsgResult::Yes) {
            return false;
        }
        create = true;
    }
    if (chosen) {
        ConfigFileName = *chosen;
    }
    return create ? CreateNewConfiguration() : true;
}

bool TStationConfig::CreateNewConfiguration()
{
    TFileDialogOptions options = ConfigDialogOptions(
        QStringLiteral("Create new Pelagrix/Corvane Configuration File"), ConfigFileName);
    options.defaultExt = QStringLiteral("das");
    QString taken;
    if (const std::optional<QString> name = Prompt().SaveFile(options)) {
        if (!QFileInfo::exists(*name) ||
            MessageDlg(QStringLiteral("File Exists"), QStringLiteral("Overwrite file?"),
                       TMsgButtons::YesNo, TMsgIcon::Warning) == TMsgResult::Yes) {
            taken = *name;
        }
    }

    QString icf;
    for (;;) {
        const std::optional<QString> chosen =
            Prompt().OpenFile(InternalConfigDialogOptions(InternalConfigFileName));
        if (chosen && QFileInfo(*chosen).suffix().toLower() == QLatin1String("icf")) {
            icf = *chosen;
            break;
        }
        if (MessageDlg(kWarningTitle, QStringLiteral("Internal Configuration File Not Selected"),
                       TMsgButtons::RetryCancel, TMsgIcon::Warning) != TMsgResult::Retry) {
            return false;
        }
    }
    // A picked unit file that does not exist is asked for again; giving that up too leaves the
    // station and both names as they were.
    const QString previousIcf = InternalConfigFileName;
    InternalConfigFileName = icf;
    if (!ReadInternalConfiguration()) {
        InternalConfigFileName = previousIcf;
        return false;
    }
    if (!taken.isEmpty()) {
        ConfigFileName = taken;
    }
    return true;
}

bool TStationConfig::LoadConfiguration()
{
    if (!FileExists(ConfigFileName)) {
        ChooseConfigurationFile();
    }
    if (!FileExists(ConfigFileName)) {
        // A new configuration whose ".icf" was read waits for its first save.
        return FileExists(InternalConfigFileName);
    }

    const TMemIniFile ini(ConfigFileName);
    // The unit file is found (or asked for) before anything is torn down: giving up the
    // question leaves the running station, and the unit file name, as they were.
    const QString previousIcf = InternalConfigFileName;
    InternalConfigFileName = StoredInternalConfigName(ini);
    if (!PickInternalConfiguration()) {
        InternalConfigFileName = previousIcf;
        return false;
    }
    {
        // Complaints about the device sections come in one box, however many there are.
        const TMessageGroup messages;
        const TRebuildGuard guard(*this);
        if (Devices != nullptr) {
            Devices->Clear();
        }
        if (!ReadInternalConfiguration()) {
            return false;
        }
        AddDevicePorts(ReadModelKey(ini, "DevicePorts", QString()));
        AddDevices(ini);
    }
    ConfigurationChanged = false;
    host_.ConfigurationLoaded();
    return true;
}

QString TStationConfig::ReadModelKey(const TMemIniFile& ini, const char* key, const QString& def)
{
    QString model;
    if (ini.SectionExists(kModelPelagrix)) {
        model = kModelPelagrix;
    } else if (ini.SectionExists(kModelCorvane)) {
        model = kModelCorvane;
    }
    return model.isEmpty() ? def : ini.ReadString(model, QLatin1String(key), def);
}

QString TStationConfig::StoredInternalConfigName(const TMemIniFile& ini)
{
    const QString icf = ReadModelKey(ini, "InternalConfigFile", kDefaultInternalConfigFile);
    // Relative to the data folder, as a save writes it (a unit file in the data folder itself
    // is stored as its bare name). One that would leave the data folder counts as none
    // chosen, so the operator is asked.
    const QString path = ExpandStoredDataPath(icf, kDefaultInternalConfigFile);
    // A bare name, or none, that names no file there is looked for in the internal
    // configuration folder.
    const bool bareName = !icf.contains(QLatin1Char('\\')) && !icf.contains(QLatin1Char('/'));
    if (bareName && !FileExists(path)) {
        return ExpandStoredDataPath(QStringLiteral("InternalConfig\\") + icf,
                                    kDefaultInternalConfigFile);
    }
    return path;
}

void TStationConfig::AddDevicePorts(const QString& text)
{
    if (PortArray == nullptr) {
        return;
    }
    for (int n = 1; n <= kHighestDevicePort; ++n) {
        if (text.contains(QStringLiteral("COM%1:").arg(n))) {
            PortArray->AddPCPort(n);
        }
    }
}

void TStationConfig::AddDevices(const TMemIniFile& ini)
{
    AddDeviceSections(ini);
    // Each device set its switch's position as it was read, so a later device could push an
    // earlier one's switch away from the position it stored. The stored positions are put
    // in place once more, together, so that a load gives back the order that was saved.
    if (Devices == nullptr || PortArray == nullptr) {
        return;
    }
    std::vector<std::pair<const TPort*, int>> positions;
    for (int i = 0; i < Devices->Count(); ++i) {
        const TDevice* device = Devices->Items(i);
        positions.emplace_back(device->GetPort(),
                               ini.ReadInteger(device->GetName(), QStringLiteral("PowerOnPriority"),
                                               device->GetPowerOnPriority()));
    }
    PortArray->ApplyPowerOnPositions(positions);
    Devices->UpdateAllItems();
}

void TStationConfig::AddDeviceSections(const TMemIniFile& ini)
{
    for (const QString& section : ini.ReadSections()) {
        if (IsExactModelSection(section)) {
            ReadModelSection(ini, section);
            continue;
        }
        if (Devices == nullptr) {
            continue;
        }
        if (PortArray == nullptr || PortArray->FirstFreePort() == nullptr) {
            ShowMessage(QStringLiteral("Insufficient Ports Available to Add Device ") + section);
            continue;
        }
        // A refused name is reported by Add; a device without its stored port is reported
        // and deleted by LoadSettings.
        if (TDevice* device = Devices->Add(section)) {
            device->LoadSettings(ini, false);
        }
    }
}

void TStationConfig::ReadModelSection(const TMemIniFile& ini, const QString& section)
{
    auto integer = [&](const char* key, int def) {
        return ini.ReadInteger(section, QLatin1String(key), def);
    };
    auto boolean = [&](const char* key, bool def) {
        return ini.ReadBool(section, QLatin1String(key), def);
    };

    if (Devices != nullptr) {
        const QString dir =
            ini.ReadString(section, QStringLiteral("CaptureDir"), Devices->GetCaptureDir());
        Devices->SetCaptureDir(ExpandStoredDataPath(dir, Devices->GetCaptureDir()));
        Devices->SetCaptureToHost(boolean("CaptureToHost", Devices->GetCaptureToHost()));
    }

    const TConfigSettings current = host_.CurrentSettings();
    const TConfigSettings def;
    TConfigSettings s;
    s.useProtocol = std::clamp(integer("UseProtocol", def.useProtocol), 1, 2);
    s.viewStyle = std::clamp(integer("ViewStyle", def.viewStyle), 0, kHighestViewStyle);
    s.commPort = InRangeOr(integer("CommPort", def.commPort), 1, kHighestCommPort, def.commPort);
    const int baud = integer("BaudRate", def.baudRate);
    s.baudRate = baud > 0 ? baud : def.baudRate;
    s.sortColumn =
        InRangeOr(integer("SortColumn", def.sortColumn), 0, kHighestSortColumn, def.sortColumn);
    s.seqNum = InRangeOr(integer("SeqNum", def.seqNum), 0, kHighestSeqNum, def.seqNum);
    s.statusInterval = std::max(integer("StatusInterval", def.statusInterval), kLeastIntervalMs);
    s.requestStatus = boolean("RequestStatus", def.requestStatus);
    s.statisticsInterval =
        std::max(integer("StatisticsInterval", def.statisticsInterval), kLeastIntervalMs);
    s.preXmitPause = std::max(integer("PreXmitPause", def.preXmitPause), 0);
    s.postXmitPause = std::max(integer("PostXmitPause", def.postXmitPause), 0);
    s.explorerViewStyle =
        std::clamp(integer("ExplorerViewStyle", current.explorerViewStyle), 0, kHighestViewStyle);
    s.maxPartition =
        std::clamp(integer("MaxPartition", current.maxPartition), 0, kHighestPartition);
    host_.ApplySettings(s);
}

QString TStationConfig::DevicePortsText() const
{
    QStringList names;
    for (int n = 1; PortArray != nullptr && n <= kHighestDevicePort; ++n) {
        const QString name = QStringLiteral("COM%1:").arg(n);
        if (PortArray->FindPort(name) != nullptr) {
            names << name;
        }
    }
    return names.join(QLatin1Char(','));
}

bool TStationConfig::WriteModelSection()
{
    TMemIniFile ini(ConfigFileName);
    const QString section = CurrentModel();
    const TConfigSettings s = host_.CurrentSettings();
    auto text = [&](const char* key, const QString& value) {
        ini.WriteString(section, QLatin1String(key), value);
    };
    auto integer = [&](const char* key, int value) {
        ini.WriteInteger(section, QLatin1String(key), value);
    };
    auto boolean = [&](const char* key, bool value) {
        ini.WriteBool(section, QLatin1String(key), value);
    };

    text("Warning", kConfigWarningText);
    text("InternalConfigFile", StoredPath(MakeDataRelativePath(InternalConfigFileName)));
    text("DevicePorts", DevicePortsText());
    text("CaptureDir", Devices != nullptr
                           ? StoredPath(MakeDataRelativePath(Devices->GetCaptureDir()))
                           : QStringLiteral("Data\\"));
    boolean("CaptureToHost", Devices == nullptr || Devices->GetCaptureToHost());
    integer("UseProtocol", s.useProtocol);
    integer("ViewStyle", s.viewStyle);
    integer("CommPort", s.commPort);
    integer("BaudRate", s.baudRate);
    integer("SortColumn", s.sortColumn);
    integer("SeqNum", s.seqNum);
    integer("StatusInterval", s.statusInterval);
    boolean("RequestStatus", s.requestStatus);
    integer("StatisticsInterval", s.statisticsInterval);
    integer("PreXmitPause", s.preXmitPause);
    integer("PostXmitPause", s.postXmitPause);
    integer("ExplorerViewStyle", s.explorerViewStyle);
    integer("MaxPartition", s.maxPartition);
    return ini.UpdateFile();
}

bool TStationConfig::SaveDevices()
{
    return Devices == nullptr || Devices->SaveSettings(ConfigFileName);
}

bool TStationConfig::SaveWindowKeys()
{
    return Devices == nullptr || Devices->SaveWindowSettings(ConfigFileName);
}

bool TStationConfig::ReportWriteFailure(bool ok) const
{
    if (!ok) {
        MessageDlg(QStringLiteral("Error"),
                   QStringLiteral("Error Saving Configuration File ") + ConfigFileName +
                       QStringLiteral(" -- File Not Saved."),
                   TMsgButtons::Ok, TMsgIcon::Error);
    }
    return ok;
}

bool TStationConfig::StoreConfiguration(bool force)
{
    // "*" stands for no file chosen; a file literally named so is never made.
    if (ConfigFileName.isEmpty() || IsNoFileName(ConfigFileName)) {
        return ReportWriteFailure(false);
    }
    if (!ReportWriteFailure(WriteModelSection())) {
        return false;
    }
    if (ConfigurationChanged || force) {
        const bool save =
            force ||
            MessageDlg(kConfirmTitle,
                       QStringLiteral("Save Configuration to ") + ConfigFileName + QLatin1Char('?'),
                       TMsgButtons::YesNo, TMsgIcon::Question) == TMsgResult::Yes;
        if (save && !ReportWriteFailure(SaveDevices())) {
            return false;
        }
    }
    return ReportWriteFailure(SaveWindowKeys());
}

void TStationConfig::OpenConfigurationExecute()
{
    const QString previousConfig = ConfigFileName;
    const QString previousIcf = InternalConfigFileName;
    if (ChooseConfigurationFile() && !LoadConfiguration()) {
        // Nothing was loaded: the station stays the one of the previous file, and a later
        // save must go there, not into the file that was given up.
        ConfigFileName = previousConfig;
        InternalConfigFileName = previousIcf;
    }
}

void TStationConfig::NewConfgurationExecute() { CreateNewConfiguration(); }

void TStationConfig::SaveConfigurationExecute()
{
    // A name holding "*" would make a file literally named so: ask for a real name instead.
    if (ConfigFileName.isEmpty() || IsNoFileName(ConfigFileName)) {
        SaveConfigurationAsExecute();
        return;
    }
    StoreConfiguration(false);
}

bool TStationConfig::SaveConfigurationAsExecute()
{
    const QString model = CurrentModel();
    TFileDialogOptions options = ConfigDialogOptions(
        QStringLiteral("Save ") + model + QStringLiteral(" Configuration File"), ConfigFileName);
    options.filter = model + QStringLiteral(" Configuration Files (*.das)|*.das");
    options.defaultExt = QStringLiteral("das");
    const std::optional<QString> name = Prompt().SaveFile(options);
    if (!name) {
        return false;
    }
    if (QFileInfo::exists(*name) &&
        MessageDlg(kConfirmTitle, QStringLiteral("File Exists. OverWrite?"), TMsgButtons::YesNo,
                   TMsgIcon::Question) != TMsgResult::Yes) {
        return false;
    }
    ConfigFileName = *name;
    return StoreConfiguration(true);
}

void TStationConfig::SaveOnShutdown()
{
    if (!FileExists(ConfigFileName)) {
        SaveConfigurationAsExecute();
    } else {
        SaveConfigurationExecute();
    }
}
