// The unit's internal configuration file: the DAS unit and its ports.
#include <QFileInfo>

#include "link/Das.h"
#include "platform/IniFile.h"
#include "platform/Prompt.h"
#include "station/ConfigFiles.h"
#include "station/DeviceClasses.h"
#include "station/PortClasses.h"

namespace {

void ReadUnitSection(const TMemIniFile& ini, const QString& section)
{
    if (Das == nullptr) {
        return;
    }
    auto flag = [&](const char* key, bool def) -> uint8_t {
        return ini.ReadBool(section, QLatin1String(key), def) ? 1 : 0;
    };
    Das->ID = ini.ReadString(section, QStringLiteral("ID"), QStringLiteral("PX000000"));
    Das->Name = ini.ReadString(section, QStringLiteral("Name"), QStringLiteral("New ") + section);
    Das->Temperature = flag("Temp", true);
    Das->Voltage = flag("Voltage", true);
    Das->Current = flag("Current", true);
    Das->Depth = flag("Depth", false);
    Das->U4S1 = flag("U4S1", false);
    Das->U4S2 = flag("U4S2", false);
    Das->AD16 = flag("AD16", false);
    Das->Model = section;
    // Date and time, then one value per sensor the status line carries.
    Das->Panels =
        static_cast<uint8_t>(2 + Das->Temperature + Das->Voltage + Das->Current + Das->Depth);
}

void AddDasPort(TPortArray& ports, const TMemIniFile& ini, const QString& section)
{
    auto integer = [&](const char* key) { return ini.ReadInteger(section, QLatin1String(key), 0); };
    ports.AddPort(section,
                  ini.ReadString(section, QStringLiteral("Connector"), QStringLiteral("None.")),
                  integer("MuxChannel"), integer("DataChannel"), integer("AuxPowerChannel"),
                  integer("PowerChannel"),
                  ini.ReadString(section, QStringLiteral("PortType"), QStringLiteral("NoPort")));
}

}  // namespace

TFileDialogOptions InternalConfigDialogOptions(const QString& fileName)
{
    TFileDialogOptions options;
    options.title = QStringLiteral("Select a Pelagrix/Corvane Internal Configuration File");
    options.folder = DataSubFolder(QStringLiteral("InternalConfig"));
    options.filter = kInternalConfigFileFilter;
    options.fileName = fileName;
    return options;
}

bool TStationConfig::PickInternalConfiguration()
{
    // Without a unit description there is no port table: the operator must pick one, or
    // cancel, which leaves the configuration unloaded rather than asking forever.
    if (!FileExists(InternalConfigFileName)) {
        const std::optional<QString> chosen =
            Prompt().OpenFile(InternalConfigDialogOptions(InternalConfigFileName));
        if (!chosen) {
            return false;
        }
        InternalConfigFileName = *chosen;
    }
    return true;
}

bool TStationConfig::ReadInternalConfiguration()
{
    if (!PickInternalConfiguration()) {
        return false;
    }

    const TMemIniFile ini(InternalConfigFileName);
    const QStringList sections = ini.ReadSections();
    {
        const TRebuildGuard guard(*this);
        if (Devices != nullptr && Devices->Count() > 0) {
            Devices->Clear();
        }
        delete PortArray;
        PortArray = new TPortArray(static_cast<int>(sections.size()));
        for (const QString& section : sections) {
            if (section == kModelPelagrix || section == kModelCorvane) {
                ReadUnitSection(ini, section);
            } else {
                AddDasPort(*PortArray, ini, section);
            }
        }
    }
    host_.InternalConfigurationRead();
    return true;
}
