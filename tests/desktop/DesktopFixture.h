#pragma once
// The main window on the offscreen platform with the sample station, its link on a pseudo-
// terminal to the DAS stand-in (whose console records the commands), a settings file of its
// own, the scripted prompt service and modal windows that answer at once: the fixture of the
// window tests that run the whole program.

#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QSize>
#include <QStringList>
#include <QTemporaryDir>
#include <initializer_list>
#include <memory>

#include "QueuedCommands.h"
#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "link/Global.h"
#include "link/Host.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/Registry.h"
#include "platform/WindowPlacement.h"
#include "station/ConfigFiles.h"
#include "station/DeviceClasses.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"
#include "support/das/DasConsole.h"
#include "support/das/DasStandIn.h"

// The surroundings every window test starts the program in: a settings file of its own, an
// 800 x 600 screen and COM1 on the running DAS stand-in.
inline void EnterTestStation(const QTemporaryDir& settingsDir, TDasStandIn& das)
{
    SetSettingsFilePath(settingsDir.filePath(QStringLiteral("Wendrok.ini")));
    SetPlacementScreenSize(QSize(800, 600));
    das.Start();
    SetComPortDevicePath(1, das.SlavePath());
}

inline void LeaveTestStation()
{
    SetSettingsFilePath(QString());
    SetPlacementScreenSize(QSize());
}

class DesktopFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settingsDir.isValid());
        ASSERT_TRUE(das.IsOpen());
        EnterTestStation(settingsDir, das);
        TDASDesktopForm::SetTerminateHandler([] {});
        TDASDesktopForm::SetModalRunner([this](QDialog& dialog) {
            modalShown << dialog.windowTitle();
            return modalResult;
        });
        ConfigurationChanged = false;
        CreateToolForms();
        ASSERT_FALSE(InstallSampleStation().isEmpty());
    }

    void TearDown() override
    {
        // Nothing a test changed is saved into the sample station.
        ConfigurationChanged = false;
        form.reset();
        DeleteToolForms();
        TDASDesktopForm::SetModalRunner({});
        TDASDesktopForm::SetResetWait({});
        TDASDesktopForm::SetTerminateHandler({});
        LeaveTestStation();
    }

    // The program started on the sample station, its link connected to the stand-in.
    TDASDesktopForm& Start()
    {
        TRegistry reg;
        EXPECT_TRUE(reg.OpenKey(VersionedKeyPath(1.26, QStringLiteral("DasDesktop")), true));
        reg.WriteString(QStringLiteral("INIFile"), QStringLiteral("Config\\Demo.das"));
        reg.CloseKey();
        form = std::make_unique<TDASDesktopForm>();
        form->show();
        EXPECT_TRUE(WaitUntil([this] { return form->FirstShowDone(); }));
        EXPECT_TRUE(form->IsConfigurationLoaded());
        return *form;
    }

    // Started with the link thread parked, so the queued commands stay to be read.
    TDASDesktopForm& StartQuiet()
    {
        TDASDesktopForm& f = Start();
        Host.Pause();
        TakeCommands();
        return f;
    }

    // The console commands queued in TimedQueue, taken out of it.
    static QStringList TakeCommands() { return TakeQueuedCommands(); }

    void Trigger(const char* name) { form->Action(QString::fromLatin1(name))->trigger(); }

    static TDevice* Device(const char* name) { return Devices->FindByName(QString::fromLatin1(name)); }

    // The device's instrument streams between the lines "GO" and "STOP" sent to it.
    static void StreamBetweenGoAndStop(TDevice* device)
    {
        device->SetCollectionType(2);
        device->SetCmdStart({QStringLiteral("GO")});
        device->SetCmdStop({QStringLiteral("STOP")});
    }

    static void SelectOnly(std::initializer_list<const char*> names)
    {
        for (int i = 0; i < Devices->Count(); ++i) {
            Devices->Items(i)->SetSelected(false);
        }
        for (const char* name : names) {
            Device(name)->SetSelected(true);
        }
    }

    QTemporaryDir settingsDir;
    TFakePrompt prompt;
    TDasStandIn das;
    TDasConsole console{das};
    QStringList modalShown;
    int modalResult = QDialog::Rejected;
    std::unique_ptr<TDASDesktopForm> form;
};
