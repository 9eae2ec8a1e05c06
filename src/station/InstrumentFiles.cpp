#include "station/InstrumentFiles.h"

#include <QFileInfo>

#include "link/Global.h"
#include "platform/IniFile.h"
#include "station/ConfigFiles.h"
#include "station/DeviceClasses.h"
#include "station/DeviceSetupRules.h"

TFileDialogOptions InstrumentDialogOptions(const QString& title, const QString& fileName)
{
    TFileDialogOptions options;
    options.title = title;
    options.folder = DataSubFolder(QStringLiteral("Config"));
    options.filter = kInstrumentFileFilter;
    options.fileName = fileName;
    return options;
}

bool IsInstrumentFile(const QString& path)
{
    const QFileInfo file(path);
    return file.isFile() && file.suffix().toLower() == QLatin1String("ins");
}

bool ExportInstrument(const TDevice& device, const QString& fileName,
                      std::optional<int> powerOnDelay)
{
    TMemIniFile ini(fileName);
    device.SaveSettings(ini);
    if (powerOnDelay && device.GetPort() != nullptr) {
        ini.WriteInteger(device.GetName(), QStringLiteral("PowerOnDelay"), *powerOnDelay);
    }
    if (!ini.UpdateFile()) {
        ShowMessage(QStringLiteral("Could not write the instrument file ") + fileName);
        return false;
    }
    return true;
}

bool ImportInstrument(TDevice& device, const TDevice* edited, const QString& fileName)
{
    const TMemIniFile ini(fileName);
    const QStringList sections = ini.ReadSections();
    if (sections.isEmpty()) {
        return false;
    }
    const QString& section = sections.first();
    // The rename happens at once and outlives Cancel, so it passes the same test as Finished:
    // a name another device carries would merge the two devices' sections in the station's
    // file, a model's name would hide the device in the unit's section, and a blank or
    // bracketed name could not be read back as a section at all.
    if (AcceptDeviceName(device.GetOwner(), section, edited)) {
        device.SetName(section);
    }
    device.LoadSettings(ini, true, section);
    return true;
}
