#pragma once
// The program as benchmarks run it: a station of serial instruments on device channels 1 up,
// the main window connected to the DAS stand-in on COM1, the instruments' terminal windows
// shown side by side, and a prompt service that never waits for an operator.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "desktop/Terminal.h"
#include "link/Global.h"
#include "link/Host.h"
#include "link/MuxClasses.h"
#include "link/Serial.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "station/DeviceClasses.h"
#include "support/QtHelpers.h"
#include "support/das/DasStandIn.h"

// No dialog waits for an operator: a file dialog gets `file` (Cancel while it is empty), the
// question of a playback's pace Yes when `realTime`, else No; every other dialog is printed
// and answered No or Cancel.
class TBenchPrompt final : public IPrompt {
public:
    QString file;
    bool realTime = false;

    TMsgResult MessageBox(const QString& title, const QString& text, TMsgButtons buttons,
                          TMsgIcon) override
    {
        if (buttons == TMsgButtons::YesNoCancel && !file.isEmpty()) {
            return realTime ? TMsgResult::Yes : TMsgResult::No;
        }
        std::fprintf(stderr, "dialog: %s: %s\n", qPrintable(title), qPrintable(text));
        return TMsgResult::No;
    }
    bool InputQuery(const QString& title, const QString&, QString&) override
    {
        std::fprintf(stderr, "input: %s\n", qPrintable(title));
        return false;
    }
    std::optional<QString> OpenFile(const TFileDialogOptions&) override { return Chosen(); }
    std::optional<QString> SaveFile(const TFileDialogOptions&) override { return Chosen(); }
    std::optional<QString> BrowseFolder(const QString&, const QString&) override
    {
        return std::nullopt;
    }

private:
    std::optional<QString> Chosen() const
    {
        return file.isEmpty() ? std::nullopt : std::optional<QString>(file);
    }
};

// Writes a station of `devices` serial instruments on channels 1 to `devices` under `dataDir`.
inline void WriteStation(const QString& dataDir, int devices = 4)
{
    QDir().mkpath(dataDir + QStringLiteral("/InternalConfig"));
    QDir().mkpath(dataDir + QStringLiteral("/Config"));
    QByteArray icf = "[Pelagrix]\nID=PX000001\nName=Bench\nTemp=1\nVoltage=1\nCurrent=1\n"
                     "Depth=0\nU4S1=0\nU4S2=0\nAD16=0\n";
    QByteArray das = "[Pelagrix]\nWarning=This is a Wendrok Generated File... DO NOT EDIT!\n"
                     "InternalConfigFile=InternalConfig\\Bench.icf\nCaptureToHost=1\n"
                     "UseProtocol=1\nViewStyle=3\nCommPort=1\nBaudRate=115200\nSortColumn=0\n"
                     "RequestStatus=0\n";
    for (int i = 1; i <= devices; ++i) {
        const QByteArray n = QByteArray::number(i);
        icf += "[Serial " + n + "]\nPortType=Serial\nPowerChannel=" + n +
               "\nAuxPowerChannel=0\nDataChannel=" + n + "\nMuxChannel=" + n + "\nConnector=J" +
               n + "\n";
        das += "[S" + n + "]\nPort=Serial " + n + "\nPortBaud=9600\nPortSettings=N,8,1\n" +
               "PowerOnPriority=" + n + "\nCollectionType=2\n";
    }
    QFile icfFile(dataDir + QStringLiteral("/InternalConfig/Bench.icf"));
    QFile dasFile(dataDir + QStringLiteral("/Config/Bench.das"));
    if (icfFile.open(QIODevice::WriteOnly)) {
        icfFile.write(icf);
    }
    if (dasFile.open(QIODevice::WriteOnly)) {
        dasFile.write(das);
    }
}

// Writes the station, makes it the one the program opens, starts the main window on the
// stand-in (running) and waits until the link is up. Null when it did not come up.
inline TDASDesktopForm* StartBenchDesktop(TDasStandIn& das, int devices = 4,
                                          int timeoutMs = 20000)
{
    SetComPortDevicePath(1, das.SlavePath());
    WriteStation(GetProgramDataDir(), devices);
    {
        TRegistry reg;
        reg.OpenKey(VersionedKeyPath(kRegistryVersionKey / 100.0, QStringLiteral("DasDesktop")),
                    true);
        reg.WriteString(QStringLiteral("INIFile"), QStringLiteral("Config\\Bench.das"));
    }
    TDASDesktopForm::SetTerminateHandler([] {});
    auto* desktop = new TDASDesktopForm;
    CreateToolForms();
    desktop->show();
    if (!WaitUntil([&] { return desktop->FirstShowDone(); }, timeoutMs) ||
        !desktop->IsConfigurationLoaded() ||
        !WaitUntil([] { return !Host.Thread().LinkLost(); }, timeoutMs)) {
        return nullptr;
    }
    return desktop;
}

// A device's terminal window, shown, and its host channel.
struct TBenchWindow {
    TTerminalForm* window = nullptr;
    uint8_t channel = 0;
};

// Gives each of the first `devices` devices a window with its text and hex panes side by side,
// shown in a row.
inline std::vector<TBenchWindow> ShowDeviceWindows(int devices)
{
    std::vector<TBenchWindow> windows;
    for (int i = 0; i < Devices->Count() && i < devices; ++i) {
        TDevice* device = Devices->Items(i);
        TMux* mux = device->GetMux();
        auto* window = new TTerminalForm(*mux, *device);
        mux->SetWindow(window);
        window->SetViewSplit(0.5);
        window->setGeometry(20 + 300 * i, 20, 290, 400);
        window->show();
        windows.push_back({window, static_cast<uint8_t>(device->GetHostChannel())});
    }
    return windows;
}
