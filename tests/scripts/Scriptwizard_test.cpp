// The script wizard in the running program with the sample station, its link on the DAS
// stand-in: its pages and their dependencies, its refusals, and scripts saved and sent to the
// DAS.

#include "scripts/Scriptwizard.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "desktop/DesktopFixture.h"
#include "link/Das.h"
#include "scripts/ScriptEditForm.h"
#include "support/TestFiles.h"
#include "support/das/DasFiles.h"
#include "support/das/DasSystem.h"

// Readable failures.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

struct TEntry {
    QString text;
    bool checked = false;
    bool enabled = true;
    bool operator==(const TEntry& o) const
    {
        return text == o.text && checked == o.checked && enabled == o.enabled;
    }
};

void PrintTo(const TEntry& e, std::ostream* os)
{
    *os << e.text.toStdString() << (e.checked ? " [x]" : " [ ]") << (e.enabled ? "" : " (off)");
}

std::vector<TEntry> Entries(const QListWidget* list)
{
    std::vector<TEntry> out;
    for (int i = 0; i < list->count(); ++i) {
        const QListWidgetItem* item = list->item(i);
        out.push_back({item->text(), item->checkState() == Qt::Checked,
                       (item->flags() & Qt::ItemIsEnabled) != 0});
    }
    return out;
}

QStringList Texts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i) {
        out << list->item(i)->text();
    }
    return out;
}

QListWidgetItem* EntryNamed(QListWidget* list, const QString& text)
{
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
}

class ScriptWizardTest : public DesktopFixture {
protected:
    void SetUp() override
    {
        InstallScriptWizard();
        DesktopFixture::SetUp();
        InstallScriptEditing();
    }
    void TearDown() override
    {
        // Closing the program asks no editor's question.
        for (int i = 0; i < EditorCount(); ++i) {
            Editors().Items(i)->Modified = false;
        }
        DesktopFixture::TearDown();
        SetScriptWizardFormMaker({});
        SetScriptEditFormsMaker({});
    }

    static TScriptEditForms& Editors() { return *dynamic_cast<TScriptEditForms*>(ScriptEditForms); }
    static int EditorCount() { return ScriptEditForms != nullptr ? Editors().Count() : 0; }

    TScriptWizardForm& Wizard() const
    {
        return *dynamic_cast<TScriptWizardForm*>(ScriptWizardForm);
    }

    // The wizard as the main window's action shows it.
    TScriptWizardForm& ShowWizard()
    {
        Trigger("Desktop_ScriptWizard");
        EXPECT_TRUE(WaitUntil([this] { return Wizard().isVisible(); }));
        return Wizard();
    }

    // Saving to the DAS, to `name` in the data folder's Scripts folder.
    void AutoSaveTo(const QString& path)
    {
        Wizard().Radio_ScriptIDAutoSave->setChecked(true);
        Wizard().Edit_ScriptIDFile->setText(path);
    }

    QString ScriptsFolder() const { return GetProgramDataDir() + QStringLiteral("Scripts/"); }

    QStringList Messages() const { return prompt.Messages(); }

    TDasFiles files{das, console};
    TDasSystem system{console};
};

TEST_F(ScriptWizardTest, ListsTheDevicesTheDasReachesAndStartsOnPageOne)
{
    Start();
    TDevice* gps = Devices->Add(QStringLiteral("GPS"));
    ASSERT_NE(gps, nullptr);
    gps->SetPort(PortArray->AddPCPort(9));
    TDevice* loose = Devices->Add(QStringLiteral("Loose"));
    ASSERT_NE(loose, nullptr);
    loose->SetPort(nullptr);
    SelectOnly({"CTD", "GPS"});
    form->SetSeqNum(7);

    TScriptWizardForm& w = ShowWizard();

    EXPECT_EQ(w.windowTitle(), QStringLiteral("Script Wizard "));
    EXPECT_EQ(Entries(w.CheckListBox_Devices),
              (std::vector<TEntry>{{QStringLiteral("CTD"), true},
                                   {QStringLiteral("Oxygen"), false},
                                   {QStringLiteral("Current Meter"), false}}));
    EXPECT_EQ(Entries(w.CheckListBox_TimeOut),
              (std::vector<TEntry>{{QStringLiteral("CTD"), false}}));
    EXPECT_EQ(w.Edit_Sequence->text(), QStringLiteral("7"));
    EXPECT_EQ(w.ShownPage(), 1);
    EXPECT_FALSE(w.ScrWizBackButton->isEnabled());
    EXPECT_TRUE(w.ScrWizNextButton->isEnabled());

    // A device's time-out entry follows its check on page 1, and never comes back checked.
    w.CheckListBox_TimeOut->item(0)->setCheckState(Qt::Checked);
    EntryNamed(w.CheckListBox_Devices, QStringLiteral("CTD"))->setCheckState(Qt::Unchecked);
    EXPECT_EQ(Entries(w.CheckListBox_TimeOut),
              (std::vector<TEntry>{{QStringLiteral("CTD"), false, false}}));
    EntryNamed(w.CheckListBox_Devices, QStringLiteral("CTD"))->setCheckState(Qt::Checked);
    EXPECT_EQ(Entries(w.CheckListBox_TimeOut),
              (std::vector<TEntry>{{QStringLiteral("CTD"), false, true}}));
    w.ScrWizCancelButton->click();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ScriptWizardTest, PagesAndGroupsFollowTheChoices)
{
    Start();
    TScriptWizardForm& w = ShowWizard();

    w.ScrWizNextButton->click();
    EXPECT_EQ(w.ShownPage(), 2);
    EXPECT_TRUE(w.ScrWizBackButton->isEnabled());
    EXPECT_TRUE(w.ScrWizNextButton->isEnabled());
    w.ScrWizNextButton->click();
    EXPECT_EQ(w.ShownPage(), 3);
    EXPECT_FALSE(w.ScrWizNextButton->isEnabled());
    w.ScrWizBackButton->click();
    w.ScrWizBackButton->click();
    EXPECT_EQ(w.ShownPage(), 1);

    EXPECT_FALSE(w.Cb_ScriptIDAutoRun->isEnabled());
    w.Radio_ScriptIDAutoSave->click();
    EXPECT_TRUE(w.Cb_ScriptIDAutoRun->isEnabled());
    EXPECT_FALSE(w.Cb_ScriptIDParse->isEnabled());

    w.Radio_TypeScheduled->click();
    EXPECT_TRUE(w.GroupBox_ShutDown->isHidden());
    EXPECT_TRUE(w.GroupBox_Blackout->isHidden());
    EXPECT_FALSE(w.GroupBox_Schedule->isHidden());
    EXPECT_FALSE(w.Radio_DurationContinuous->isVisibleTo(w.GroupBox_Duration));
    EXPECT_TRUE(w.Radio_DurationContinuous->isHidden());
    EXPECT_FALSE(w.Edit_ShutDownDelay->isVisibleTo(w.GroupBox_Duration));
    EXPECT_TRUE(w.Cb_TimedAgain->isHidden());
    EXPECT_TRUE(w.Cb_TimeOutAgain->isHidden());
    w.Radio_TypeSimple->click();
    EXPECT_FALSE(w.GroupBox_ShutDown->isHidden());
    EXPECT_FALSE(w.GroupBox_Blackout->isHidden());
    EXPECT_TRUE(w.GroupBox_Schedule->isHidden());
    EXPECT_TRUE(w.Radio_DurationContinuous->isVisibleTo(w.GroupBox_Duration));
    EXPECT_FALSE(w.Radio_DurationContinuous->isHidden());
    EXPECT_FALSE(w.Cb_TimedAgain->isHidden());

    EXPECT_FALSE(w.Cb_TimedAgain->isEnabled());
    w.Cb_SleepAtEnd->click();
    EXPECT_TRUE(w.Cb_TimedAgain->isEnabled());
    EXPECT_FALSE(w.Cb_TimeOutAgain->isEnabled());
    w.Radio_DurationTimeOut->click();
    EXPECT_FALSE(w.Edit_DurationTimed->isEnabled());
    EXPECT_TRUE(w.Edit_TimeOut->isEnabled());
    EXPECT_TRUE(w.Cb_TimeOutAgain->isEnabled());
    EXPECT_FALSE(w.Edit_Sequence->isEnabled());
    w.Cb_Sequence->click();
    EXPECT_TRUE(w.Edit_Sequence->isEnabled());
    EXPECT_FALSE(w.Edit_BlackoutFrom->isEnabled());
    w.Cb_Blackout->click();
    EXPECT_TRUE(w.Edit_BlackoutTo->isEnabled());
}

TEST_F(ScriptWizardTest, SpecificTimesAreKeptSortedOnceEach)
{
    Start();
    TScriptWizardForm& w = ShowWizard();
    w.Radio_TypeScheduled->click();
    w.Radio_ScheduleAt->click();
    EXPECT_FALSE(w.Edit_ScheduleEvery->isEnabled());
    EXPECT_TRUE(w.Button_ScheduleAdd->isEnabled());

    // One time typed two ways is one entry, kept as "hh:mm:ss"; a text that is no time is
    // refused and stays in the field to be mended.
    prompt.shown.clear();
    for (const char* time :
         {"08:00:00", "08:00:00", "7:30:00", "12:00", " 12:00", "99:99:99", "-1:00:00"}) {
        w.Edit_ScheduleAt->setText(QString::fromLatin1(time));
        w.Button_ScheduleAdd->click();
    }
    EXPECT_EQ(Texts(w.ListBox_Schedule),
              QStringList({QStringLiteral("07:30:00"), QStringLiteral("08:00:00"),
                           QStringLiteral("12:00:00")}));
    EXPECT_EQ(Messages(), QStringList({QStringLiteral("Wendrok: '99:99:99' is not a valid time"),
                                       QStringLiteral("Wendrok: '-1:00:00' is not a valid time")}));
    EXPECT_EQ(w.Edit_ScheduleAt->text(), QStringLiteral("-1:00:00"));
    w.ListBox_Schedule->item(0)->setSelected(true);
    w.Button_ScheduleRemove->click();
    EXPECT_EQ(Texts(w.ListBox_Schedule),
              QStringList({QStringLiteral("08:00:00"), QStringLiteral("12:00:00")}));
    EXPECT_EQ(w.ScheduleList(),
              QStringList({QStringLiteral("08:00:00"), QStringLiteral("12:00:00")}));
}

// Every seven minutes is spelled out: the wizard then shows the times it made, and removing
// some of them leaves the operator's own list alone.
TEST_F(ScriptWizardTest, AScheduleSpelledOutShowsItsTimesAndCanBeEditedSafely)
{
    Start();
    SelectOnly({"CTD"});
    TScriptWizardForm& w = ShowWizard();
    w.Radio_TypeScheduled->click();
    w.Edit_ScheduleEvery->setText(QStringLiteral("00:07:00"));
    w.Radio_ScheduleAt->click();
    w.Edit_ScheduleAt->setText(QStringLiteral("09:00:00"));
    w.Button_ScheduleAdd->click();
    w.Radio_ScheduleEvery->click();
    AutoSaveTo(QStringLiteral("Every7.pxs"));

    w.GenerateScript(ScriptsFolder() + QStringLiteral("Every7.pxs"), nullptr);

    EXPECT_TRUE(w.Radio_ScheduleAt->isChecked());
    ASSERT_EQ(w.ListBox_Schedule->count(), 121);
    EXPECT_EQ(w.ListBox_Schedule->item(120)->text(), QStringLiteral("20:00:00"));
    for (int i = 100; i < 121; ++i) {
        w.ListBox_Schedule->item(i)->setSelected(true);
    }
    w.Button_ScheduleRemove->click();
    EXPECT_EQ(Texts(w.ListBox_Schedule), QStringList({QStringLiteral("09:00:00")}));
}

TEST_F(ScriptWizardTest, AScheduledScriptNeedsALengthOfSample)
{
    StartQuiet();
    TScriptWizardForm& w = ShowWizard();
    w.Radio_TypeScheduled->click();
    w.Radio_DurationContinuous->setChecked(true);
    w.ShowPage(3);
    prompt.shown.clear();

    w.ScrWizDoneButton->click();

    EXPECT_EQ(w.ShownPage(), 2);
    EXPECT_TRUE(Messages().contains(
        QStringLiteral("Wendrok: In Scheduled Mode, Must Specify Length of Sample")))
        << Messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(TakeCommands(), QStringList());
}

// Data that goes to PC files cannot be written there by a script: the operator is told once
// per Make Script, until the warning is turned off.
TEST_F(ScriptWizardTest, WarnsThatScriptsWriteFilesOnTheDas)
{
    StartQuiet();
    Devices->SetCaptureToHost(true);
    Device("Oxygen")->SetCaptureDest(3);
    QStringList warnings;
    bool showAgain = true;
    TDASDesktopForm::SetModalRunner([&](QDialog& dialog) {
        warnings << dialog.windowTitle() + QStringLiteral(": ") +
                        WarningForm->Label_Warning->text();
        WarningForm->CheckBox_WarnAgain->setChecked(showAgain);
        dialog.done(1);
        return 1;
    });
    TScriptWizardForm& w = ShowWizard();
    w.Radio_TypeScheduled->click();
    w.Radio_DurationContinuous->setChecked(true);

    w.ScrWizDoneButton->click();
    showAgain = false;
    w.ScrWizDoneButton->click();
    w.ScrWizDoneButton->click();

    const QString warning = QStringLiteral(
        "Script Wizard Warning: Please note: the Master Data Directory is set to save data to PC "
        "files, but scripts cannot normally open files on the PC.  This script will save data in "
        "files in the Pelagrix\u2019s flash memory.");
    EXPECT_EQ(warnings, QStringList({warning, warning}));
}

// An existing file is overwritten only when the operator agrees, and a name longer than 8.3
// only when the DAS's shorter name is agreed too; the script then reaches the DAS, which is set
// to run it at power-up.
TEST_F(ScriptWizardTest, SavesAnExistingScriptAndSendsItToRunAtPowerUp)
{
    Start();
    const QString path = ScriptsFolder() + QStringLiteral("LongName1.pxs");
    QDir().mkpath(ScriptsFolder());
    WriteFile(path, "; old\r\n");
    SelectOnly({"CTD"});
    TScriptWizardForm& w = ShowWizard();
    AutoSaveTo(path);
    w.Cb_ScriptIDAutoRun->setChecked(true);
    prompt.shown.clear();

    prompt.QueueMessageAnswer(TMsgResult::No);
    w.ScrWizDoneButton->click();
    EXPECT_EQ(Messages(), QStringList({QStringLiteral("Confirm: ") + path +
                                       QStringLiteral(" Exists.  OverWrite?")}));

    prompt.shown.clear();
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    w.ScrWizDoneButton->click();

    EXPECT_EQ(Messages(), QStringList({QStringLiteral("Confirm: ") + path +
                                           QStringLiteral(" Exists.  OverWrite?"),
                                       QStringLiteral("Confirm: DAS File Names must be 8.3 format. "
                                                      "LongName1.pxs will be renamed LongName.pxs. "
                                                      "Continue?")}));
    ASSERT_TRUE(files.WaitForFile(QStringLiteral("LongName.pxs")));
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    EXPECT_TRUE(bytes.startsWith("; LongName1.pxs -- "));
    EXPECT_TRUE(bytes.endsWith("ScriptDone:\r\n  EndScript:\r\n"));
    EXPECT_EQ(files.File(QStringLiteral("LongName.pxs")), bytes);
    EXPECT_TRUE(WaitUntil([this] {
        return system.Variable(QStringLiteral("INITSCRIPT")) == QStringLiteral("LongName.pxs");
    }));
    EXPECT_EQ(system.Variable(QStringLiteral("AUTORUN")), QStringLiteral("1"));
    const QStringList sent = console.Texts();
    const qsizetype dir = sent.lastIndexOf(QStringLiteral("DIR"));
    ASSERT_GE(dir, 0);
    EXPECT_EQ(sent.mid(dir, 3),
              QStringList({QStringLiteral("DIR"), QStringLiteral("PicoDos \"Set AUTORUN=1 \""),
                           QStringLiteral("PicoDos \"Set INITSCRIPT=LongName.pxs \"")}));
    // Making the script set the main list's selection to the devices checked here.
    EXPECT_TRUE(Device("CTD")->IsSelected());
}

TEST_F(ScriptWizardTest, AScriptThatCannotBeWrittenIsNotSent)
{
    StartQuiet();
    const QString blocker = settingsDir.filePath(QStringLiteral("blocker"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString path = blocker + QStringLiteral("/Script.pxs");
    SelectOnly({"CTD"});
    TScriptWizardForm& w = ShowWizard();
    AutoSaveTo(path);
    w.Cb_ScriptIDAutoRun->setChecked(true);
    prompt.shown.clear();

    w.ScrWizDoneButton->click();

    EXPECT_TRUE(Messages().contains(QStringLiteral("Wendrok: Error Saving File ") + path +
                                    QStringLiteral(" -- File Not Saved.")));
    EXPECT_EQ(TakeCommands(), QStringList());
}

TEST_F(ScriptWizardTest, RefusalsShowTheirPageAndSendNothing)
{
    StartQuiet();
    TScriptWizardForm& w = ShowWizard();
    AutoSaveTo(QStringLiteral("Refused.pxs"));
    w.Button_DevicesClearAll->click();
    w.ShowPage(3);
    prompt.shown.clear();

    w.ScrWizDoneButton->click();

    EXPECT_EQ(w.ShownPage(), 1);
    EXPECT_TRUE(Messages().contains(QStringLiteral("Wendrok: No Devices Selected")));
    EXPECT_FALSE(Device("CTD")->IsSelected());

    w.Button_DevicesSelectAll->click();
    w.Edit_DurationTimed->setText(QStringLiteral("25:00:00"));
    prompt.shown.clear();
    w.ScrWizDoneButton->click();
    EXPECT_TRUE(Messages().contains(QStringLiteral("Wendrok: '25:00:00' is not a valid time")));
    EXPECT_TRUE(Device("Oxygen")->IsSelected());
    EXPECT_EQ(TakeCommands(), QStringList());
    EXPECT_FALSE(QFileInfo::exists(ScriptsFolder() + QStringLiteral("Refused.pxs")));
}

TEST_F(ScriptWizardTest, ADeviceGoneSinceTheWizardOpenedIsNamed)
{
    Start();
    SelectOnly({"CTD"});
    TScriptWizardForm& w = ShowWizard();
    AutoSaveTo(QStringLiteral("Gone.pxs"));
    Devices->Delete(Device("Oxygen"));
    prompt.shown.clear();

    w.ScrWizDoneButton->click();

    EXPECT_TRUE(Messages().contains(
        QStringLiteral("Wendrok: Missing Instrument: 1 -- Oxygen selected = 0")));
    EXPECT_TRUE(QFileInfo::exists(ScriptsFolder() + QStringLiteral("Gone.pxs")));
}

TEST_F(ScriptWizardTest, AsksTheDasForItsSleepSwitchSetting)
{
    StartQuiet();
    TScriptWizardForm& w = ShowWizard();
    w.Button_SystemVariables->click();

    EXPECT_EQ(TakeCommands(),
              QStringList({QStringLiteral("SetConOut Host 249"), QStringLiteral("PicoDos \"Set \""),
                           QStringLiteral("SetConOut Serial 0")}));
}

TEST_F(ScriptWizardTest, TheScriptNameIsChosenInTheScriptsFolder)
{
    Start();
    TScriptWizardForm& w = ShowWizard();
    prompt.QueueFile(QStringLiteral("/data/Mooring.pxs"));

    w.Button_ScriptIDFile->click();

    EXPECT_EQ(w.Edit_ScriptIDFile->text(), QStringLiteral("/data/Mooring.pxs"));
    EXPECT_EQ(prompt.lastFileOptions.title,
              QStringLiteral("Select FileName for Script Wizard Script"));
    EXPECT_EQ(prompt.lastFileOptions.folder, ScriptsFolder());
    EXPECT_EQ(prompt.lastFileOptions.fileName, QStringLiteral("Untitled.pxs"));
    EXPECT_EQ(prompt.lastFileOptions.filter,
              QStringLiteral("DAS Scripts (*.pxs;*.scr)|*.PXS;*.SCR|Text Files (*.txt)|*.TXT"));
}

// By default the script opens in a new script editor under its file name, with its names
// coloured as variables; nothing is written or sent until the operator saves it there.
TEST_F(ScriptWizardTest, OpensTheScriptInANewEditor)
{
    StartQuiet();
    SelectOnly({"CTD", "Oxygen"});
    TScriptWizardForm& w = ShowWizard();
    // A final Enter in the comments makes no comment line of its own.
    w.Memo_Comments->setPlainText(QStringLiteral("Mooring 3\nDeployed by the wizard\n"));
    const QString path = ScriptsFolder() + QStringLiteral("Untitled.pxs");
    QFile::remove(path);
    prompt.shown.clear();

    w.ScrWizDoneButton->click();

    ASSERT_EQ(EditorCount(), 1);
    TScriptEditForm* editor = Editors().Items(0);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->FileName, path);
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Script Editor - ") + path);
    const QStringList lines = editor->Editor->Lines();
    EXPECT_TRUE(lines.value(0).startsWith(QStringLiteral("; Untitled.pxs -- ")));
    EXPECT_EQ(lines.mid(1, 4),
              QStringList({QString(), QStringLiteral("; Mooring 3"),
                           QStringLiteral("; Deployed by the wizard"), QString()}));
    EXPECT_TRUE(lines.contains(QStringLiteral("define Power_CTD 1")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Collect_Oxygen:")));
    EXPECT_EQ(lines.last(), QStringLiteral("  EndScript:"));
    for (const char* name : {"On", "Power_CTD", "Data_Oxygen", "PowerOn", "Collect_Oxygen"}) {
        EXPECT_TRUE(editor->Editor->IsVariable(QString::fromLatin1(name))) << name;
    }
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(TakeCommands(), QStringList());
    EXPECT_EQ(Messages(), QStringList());

    // A refused script leaves its new editor open and empty.
    w.Edit_DurationTimed->setText(QStringLiteral("10 s"));
    w.ScrWizDoneButton->click();
    ASSERT_EQ(EditorCount(), 2);
    EXPECT_TRUE(Editors().Items(1)->Editor->GetText().isEmpty());
    EXPECT_TRUE(Messages().contains(QStringLiteral("Wendrok: '10 s' is not a valid time")));
}

}  // namespace
