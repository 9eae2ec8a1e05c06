#include "support/das/DasStation.h"

#include <QStringList>

#include "link/Global.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"

namespace {

const QString kDesktopKey = QStringLiteral("DasDesktop");
const QString kIniFileValue = QStringLiteral("INIFile");
// The newest version whose keys the program reads first.
constexpr int kNewestKey = 126;

// Opens the newest version's main window key that exists.
bool OpenRememberedKey(TRegistry& reg)
{
    for (int key = kNewestKey; key > 0; --key) {
        if (reg.KeyExists(VersionedKeyPath(key / 100.0, kDesktopKey))) {
            return reg.OpenKeyReadOnly(VersionedKeyPath(key / 100.0, kDesktopKey));
        }
    }
    return false;
}

}  // namespace

void RememberStation(const QString& stored)
{
    TRegistry reg;
    if (OpenRememberedKey(reg)) {
        return;
    }
    if (reg.OpenKey(VersionedKeyPath(RegistryWriteVersion(), kDesktopKey), true)) {
        reg.WriteString(kIniFileValue, stored);
    }
}

int RememberedStationProtocol()
{
    TRegistry reg;
    if (!OpenRememberedKey(reg)) {
        return 0;
    }
    const QString stored = reg.ReadString(kIniFileValue);
    if (stored.isEmpty()) {
        return 0;
    }
    const TMemIniFile ini(ExpandDataRelativePath(stored));
    for (const QString& section : ini.ReadSections()) {
        const int level = ini.ReadInteger(section, QStringLiteral("UseProtocol"), 0);
        if (level == 1 || level == 2) {
            return level;
        }
    }
    return 0;
}
