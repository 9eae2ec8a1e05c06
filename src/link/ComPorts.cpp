// COM port numbers and the devices behind them.

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "link/Serial.h"
#include "platform/Registry.h"

namespace {

const QString kSerialPortsKey = QStringLiteral("\\SerialPorts");

QString ComValueName(int n) { return QStringLiteral("COM") + QString::number(n); }

// Unix98 pseudo-terminal slaves use these majors and are not listed with the other
// terminals of the system.
bool IsPtySlaveMajor(unsigned major) { return major >= 136 && major <= 143; }

bool IsTerminalDevice(dev_t device)
{
    const unsigned maj = major(device);
    if (IsPtySlaveMajor(maj)) {
        return true;
    }
    const QString subsystem =
        QStringLiteral("/sys/dev/char/%1:%2/subsystem").arg(maj).arg(minor(device));
    return QFileInfo(subsystem).canonicalFilePath().endsWith(QLatin1String("/class/tty"));
}

// The classic serial ports are all listed whether hardware answers behind them or not; only
// those whose driver found a UART count.
bool SerialUartPresent(const QString& name)
{
    const QString base = QStringLiteral("/sys/class/tty/") + name;
    if (!QFileInfo::exists(base + QStringLiteral("/device"))) {
        return false;
    }
    QFile type(base + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly)) {
        return true;
    }
    return type.readAll().trimmed() != "0";
}

}  // namespace

QString ComPortDevicePath(int n)
{
    if (n < 1) {
        return {};
    }
    TRegDef reg;
    if (reg.OpenKeyReadOnly(kSerialPortsKey)) {
        const QString path = reg.ReadStringDef(ComValueName(n), QString());
        if (!path.isEmpty()) {
            return path;
        }
    }
    return QStringLiteral("/dev/ttyS") + QString::number(n - 1);
}

void SetComPortDevicePath(int n, const QString& path)
{
    TRegistry reg;
    if (!reg.OpenKey(kSerialPortsKey, true)) {
        return;
    }
    if (path.isEmpty()) {
        reg.DeleteValue(ComValueName(n));
    } else {
        reg.WriteString(ComValueName(n), path);
    }
}

bool ComPortExists(int n)
{
    // Looked up without opening: an open raises DTR, which resets some instruments.
    const QString path = ComPortDevicePath(n);
    if (path.isEmpty()) {
        return false;
    }
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISCHR(st.st_mode)) {
        return false;
    }
    if (!IsTerminalDevice(st.st_rdev)) {
        return false;
    }
    const QString name = QFileInfo(QFileInfo(path).canonicalFilePath()).fileName();
    if (name.startsWith(QLatin1String("ttyS"))) {
        return SerialUartPresent(name);
    }
    return true;
}
