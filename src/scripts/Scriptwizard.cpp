#include "scripts/Scriptwizard.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTabWidget>

#include "desktop/Warndialog.h"
#include "link/Das.h"
#include "link/Global.h"
#include "platform/Clocks.h"
#include "platform/DateTimeText.h"
#include "platform/Prompt.h"
#include "platform/WindowPlacement.h"
#include "scripts/ScriptDelivery.h"
#include "scripts/ScriptEditForm.h"
#include "station/ConfigFiles.h"
#include "station/DeviceClasses.h"
#include "station/PortClasses.h"

namespace {

const QString kPageCaptions[3] = {QStringLiteral("Basic Options"), QStringLiteral("Sample Options"),
                                  QStringLiteral("Scheduling")};
const QString kScriptFilter =
    QStringLiteral("DAS Scripts (*.pxs;*.scr)|*.PXS;*.SCR|Text Files (*.txt)|*.TXT");
const QString kConfirmTitle = QStringLiteral("Confirm");
// "SetConOut Serial 0" follows the variable listing's request after this long.
constexpr int kConsoleBackMs = 50;

bool Checked(const QListWidgetItem* item) { return item->checkState() == Qt::Checked; }

void SetItemEnabled(QListWidgetItem* item, bool enabled)
{
    item->setFlags(enabled ? item->flags() | Qt::ItemIsEnabled
                           : item->flags() & ~Qt::ItemIsEnabled);
}

QListWidgetItem* CheckItem(QListWidget* list, const QString& text, bool checked)
{
    auto* item = new QListWidgetItem(text, list);
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    return item;
}

}  // namespace

TScriptWizardForm::TScriptWizardForm(QWidget* parent) : QWidget(parent)
{
    SetLongTimeFormat(QStringLiteral("hh:mm:ss"));
    setWindowFlag(Qt::Window, true);
    setWindowTitle(QStringLiteral("Script Wizard "));
    BuildButtons();
    ConnectDependencies();
    ShowPage(1);
    FixWidth();
    CentreOnScreen(this);
}

TScriptWizardForm::~TScriptWizardForm() = default;

void TScriptWizardForm::ConnectDependencies()
{
    for (QRadioButton* radio : {Radio_ScriptIDAutoSave, Radio_ScriptIDEditor, Radio_TypeSimple,
                                Radio_TypeScheduled, Radio_DurationTimed, Radio_DurationTimeOut,
                                Radio_DurationContinuous, Radio_ScheduleEvery, Radio_ScheduleAt}) {
        // Checked by the operator or by the program alike.
        connect(radio, &QRadioButton::toggled, this, [this](bool on) {
            if (on) {
                UpdateDependencies();
            }
        });
    }
    for (QCheckBox* box : {Cb_Sequence, Cb_SleepAtEnd, Cb_Blackout}) {
        connect(box, &QCheckBox::toggled, this, [this] { UpdateDependencies(); });
    }
    connect(CheckListBox_Devices, &QListWidget::itemChanged, this,
            [this] { UpdateDependencies(); });
    connect(ScrWizBackButton, &QPushButton::clicked, this, [this] { ScrWizNextButtonClick(true); });
    connect(ScrWizNextButton, &QPushButton::clicked, this,
            [this] { ScrWizNextButtonClick(false); });
    connect(ScrWizDoneButton, &QPushButton::clicked, this,
            &TScriptWizardForm::ScrWizDoneButtonClick);
    connect(ScrWizCancelButton, &QPushButton::clicked, this,
            &TScriptWizardForm::ScrWizCancelButtonClick);
    connect(Button_DevicesSelectAll, &QPushButton::clicked, this,
            &TScriptWizardForm::Button_DevicesSelectAllClick);
    connect(Button_DevicesClearAll, &QPushButton::clicked, this,
            &TScriptWizardForm::Button_DevicesClearAllClick);
    connect(Button_ScheduleAdd, &QPushButton::clicked, this,
            &TScriptWizardForm::Button_ScheduleAddClick);
    connect(Button_ScheduleRemove, &QPushButton::clicked, this,
            &TScriptWizardForm::Button_ScheduleRemoveClick);
    connect(Button_ScriptIDFile, &QPushButton::clicked, this,
            &TScriptWizardForm::Button_ScriptIDFileClick);
    connect(Button_SystemVariables, &QPushButton::clicked, this,
            &TScriptWizardForm::Button_SystemVariablesClick);
}

// --- Showing and pages ---

void TScriptWizardForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TScriptWizardForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    QWidget::closeEvent(event);
}

void TScriptWizardForm::FormShow()
{
    ShowPage(1);
    FillDeviceLists();
    if (Devices != nullptr) {
        Edit_Sequence->setText(QString::number(Devices->FileSeqNum()));
    }
    UpdateDependencies();
}

void TScriptWizardForm::FormClose() { SaveWindowPlacement(this, QStringLiteral("ScriptWizard")); }

// Every device the DAS reaches, in list order; the serial ones may also be collected until
// they time out.
void TScriptWizardForm::FillDeviceLists()
{
    const QSignalBlocker block(CheckListBox_Devices);
    CheckListBox_Devices->clear();
    CheckListBox_TimeOut->clear();
    if (Devices == nullptr) {
        return;
    }
    for (int i = 0; i < Devices->Count(); ++i) {
        const TDevice* device = Devices->Items(i);
        const TPort* port = device->GetPort();
        if (port == nullptr || port->IsPCSerial()) {
            continue;
        }
        CheckItem(CheckListBox_Devices, device->GetName(), device->IsSelected());
        if (port->GetType() == TPortType::Serial) {
            CheckItem(CheckListBox_TimeOut, device->GetName(), false);
        }
    }
}

void TScriptWizardForm::ShowPage(int page)
{
    page = std::clamp(page, 1, 3);
    while (PageControl->count() > 0) {
        QWidget* shown = PageControl->widget(0);
        PageControl->removeTab(0);
        parked_->addWidget(shown);
    }
    PageControl->addTab(pages_[static_cast<size_t>(page - 1)], kPageCaptions[page - 1]);
    shownPage_ = page;
    ScrWizBackButton->setEnabled(page != 1);
    ScrWizNextButton->setEnabled(page != 3);
}

void TScriptWizardForm::ScrWizNextButtonClick(bool back)
{
    switch (shownPage_) {
    case 1:
        ShowPage(2);
        break;
    case 2:
        ShowPage(back ? 1 : 3);
        break;
    default:
        ShowPage(2);
        break;
    }
}

void TScriptWizardForm::ScrWizCancelButtonClick() { close(); }

// --- Dependencies ---

void TScriptWizardForm::UpdateDependencies()
{
    const bool scheduled = Radio_TypeScheduled->isChecked();
    const bool timed = Radio_DurationTimed->isChecked();
    const bool timeOut = Radio_DurationTimeOut->isChecked();
    Cb_ScriptIDAutoRun->setEnabled(Radio_ScriptIDAutoSave->isChecked());

    for (int i = 0; i < CheckListBox_TimeOut->count(); ++i) {
        QListWidgetItem* entry = CheckListBox_TimeOut->item(i);
        const QList<QListWidgetItem*> same =
            CheckListBox_Devices->findItems(entry->text(), Qt::MatchFixedString);
        const bool enabled = !same.isEmpty() && Checked(same.first());
        SetItemEnabled(entry, enabled);
        if (!enabled) {
            entry->setCheckState(Qt::Unchecked);
        }
    }
    Edit_Sequence->setEnabled(Cb_Sequence->isChecked());

    GroupBox_ShutDown->setVisible(!scheduled);
    continuousPart_->setVisible(!scheduled);
    // Hidden themselves too, so that each says so when asked.
    Radio_DurationContinuous->setVisible(!scheduled);
    Edit_ShutDownDelay->setVisible(!scheduled);
    Edit_DurationTimed->setEnabled(timed);
    Cb_TimedAgain->setVisible(!scheduled);
    Cb_TimedAgain->setEnabled(timed && Cb_SleepAtEnd->isChecked());
    CheckListBox_TimeOut->setEnabled(timeOut);
    Edit_TimeOut->setEnabled(timeOut);
    Edit_MaxTime->setEnabled(timeOut);
    Cb_TimeOutAgain->setVisible(!scheduled);
    Cb_TimeOutAgain->setEnabled(timeOut && Cb_SleepAtEnd->isChecked());

    GroupBox_Schedule->setVisible(scheduled);
    const bool every = Radio_ScheduleEvery->isChecked();
    for (QWidget* w :
         {static_cast<QWidget*>(Edit_ScheduleEvery), static_cast<QWidget*>(Edit_ScheduleFrom),
          static_cast<QWidget*>(Edit_ScheduleUntil)}) {
        w->setEnabled(every);
    }
    for (QWidget* w :
         {static_cast<QWidget*>(Edit_ScheduleAt), static_cast<QWidget*>(Button_ScheduleAdd),
          static_cast<QWidget*>(Button_ScheduleRemove), static_cast<QWidget*>(ListBox_Schedule)}) {
        w->setEnabled(Radio_ScheduleAt->isChecked());
    }
    ListBox_Schedule->clear();
    ListBox_Schedule->addItems(schedule_);

    GroupBox_Blackout->setVisible(!scheduled);
    Edit_BlackoutFrom->setEnabled(Cb_Blackout->isChecked());
    Edit_BlackoutTo->setEnabled(Cb_Blackout->isChecked());
}

// --- Devices and schedule ---

void TScriptWizardForm::SetAllDevices(bool checked)
{
    {
        const QSignalBlocker block(CheckListBox_Devices);
        for (int i = 0; i < CheckListBox_Devices->count(); ++i) {
            CheckListBox_Devices->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        }
    }
    UpdateDependencies();
}

void TScriptWizardForm::Button_DevicesSelectAllClick() { SetAllDevices(true); }

void TScriptWizardForm::Button_DevicesClearAllClick() { SetAllDevices(false); }

// A time is kept in one form, so that one time typed two ways is still listed once and
// names one routine of the script.
void TScriptWizardForm::Button_ScheduleAddClick()
{
    QString time;
    try {
        time = NormalTimeText(Edit_ScheduleAt->text());
    } catch (const TScriptRefused& refused) {
        ShowMessage(refused.Message());
        return;
    }
    const auto at = std::lower_bound(schedule_.begin(), schedule_.end(), time);
    if (at == schedule_.end() || *at != time) {
        schedule_.insert(at, time);
    }
    UpdateDependencies();
}

// The list may show times spelled out from "Sample Every": the operator's times are matched
// by their text, so nothing is read past either list.
void TScriptWizardForm::Button_ScheduleRemoveClick()
{
    for (const QListWidgetItem* item : ListBox_Schedule->selectedItems()) {
        schedule_.removeAll(item->text());
    }
    UpdateDependencies();
}

void TScriptWizardForm::ApplyExpandedTimes(const QStringList& times)
{
    Radio_ScheduleAt->setChecked(true);
    UpdateDependencies();
    ListBox_Schedule->clear();
    ListBox_Schedule->addItems(times);
}

// --- Buttons ---

void TScriptWizardForm::Button_ScriptIDFileClick()
{
    TFileDialogOptions options;
    options.title = QStringLiteral("Select FileName for Script Wizard Script");
    options.folder = DataSubFolder(QStringLiteral("Scripts"));
    options.filter = kScriptFilter;
    options.fileName = Edit_ScriptIDFile->text();
    // The name of a script still to be made: any name, existing or not, with no overwrite
    // question here (Make Script asks its own).
    if (const std::optional<QString> chosen = Prompt().SaveFile(options)) {
        Edit_ScriptIDFile->setText(*chosen);
    }
}

void TScriptWizardForm::Button_SystemVariablesClick()
{
    if (Das == nullptr) {
        return;
    }
    Das->SendCommand(QStringLiteral("SetConOut Host 249"));
    Das->PicoDos(QStringLiteral("Set"));
    Das->SendCommandAt(QStringLiteral("SetConOut Serial 0"), kConsoleBackMs);
}

// --- Make Script ---

void TScriptWizardForm::WarnOfDasFiles()
{
    if (Devices == nullptr || !Devices->GetCaptureToHost()) {
        return;
    }
    for (int i = 0; i < CheckListBox_Devices->count(); ++i) {
        const TDevice* device = Devices->FindByName(CheckListBox_Devices->item(i)->text());
        if (device != nullptr && (device->GetCaptureDest() == 2 || device->GetCaptureDest() == 3)) {
            const QString model = Das != nullptr ? Das->Model : kModelPelagrix;
            ShowWarning(QStringLiteral("Script Wizard Warning"),
                        QStringLiteral("Please note: the Master Data Directory is set to save data "
                                       "to PC files, but scripts cannot normally open files on "
                                       "the PC.  This script will save data in files in the ") +
                            model + QChar(0x2019) + QStringLiteral("s flash memory."));
            return;
        }
    }
}

bool TScriptWizardForm::ConfirmAutoSave(const QString& path)
{
    if (!QFileInfo::exists(NativePath(path))) {
        return true;
    }
    if (MessageDlg(kConfirmTitle, path + QStringLiteral(" Exists.  OverWrite?"),
                   TMsgButtons::YesNoCancel, TMsgIcon::Question) != TMsgResult::Yes) {
        return false;
    }
    const QString name = QFileInfo(NativePath(path)).fileName();
    const QString dasName = ToDasFileName(name);
    if (dasName == name) {
        return true;
    }
    return MessageDlg(kConfirmTitle,
                      QStringLiteral("DAS File Names must be 8.3 format. ") + name +
                          QStringLiteral(" will be renamed ") + dasName +
                          QStringLiteral(". Continue?"),
                      TMsgButtons::YesNoCancel, TMsgIcon::Question) == TMsgResult::Yes;
}

void TScriptWizardForm::ScrWizDoneButtonClick()
{
    WarnOfDasFiles();
    if (Radio_TypeScheduled->isChecked() && Radio_DurationContinuous->isChecked()) {
        ShowPage(2);
        ShowMessage(QStringLiteral("In Scheduled Mode, Must Specify Length of Sample"));
        return;
    }
    const QString path = ScriptPathOf(Edit_ScriptIDFile->text());
    MakeScriptFolder(path);
    TScriptEditForm* editor = nullptr;
    if (Radio_ScriptIDEditor->isChecked()) {
        editor = ScriptEditForms != nullptr ? ScriptEditForms->NewEditor() : nullptr;
        if (editor == nullptr) {
            return;
        }
        editor->NewFile(path);
    } else if (!ConfirmAutoSave(path)) {
        return;
    }
    GenerateScript(path, editor);
}

TWizardChoices TScriptWizardForm::Choices(const QString& path) const
{
    TWizardChoices c;
    c.path = path;
    // The memo's lines: a last line left empty by a final Enter is none.
    QString comments = Memo_Comments->toPlainText();
    if (comments.endsWith(QLatin1Char('\n'))) {
        comments.chop(1);
    }
    if (!Memo_Comments->toPlainText().isEmpty()) {
        c.comments = comments.split(QLatin1Char('\n'));
    }
    c.scheduled = Radio_TypeScheduled->isChecked();
    c.startSequence = Cb_Sequence->isChecked();
    c.sequenceText = Edit_Sequence->text();
    c.startUpDelay = Edit_StartUpDelay->text();
    c.sleepAtEnd = Cb_SleepAtEnd->isChecked();
    c.duration = Radio_DurationTimed->isChecked()     ? TSampleDuration::Timed
                 : Radio_DurationTimeOut->isChecked() ? TSampleDuration::TimeOut
                                                      : TSampleDuration::Continuous;
    c.durationTimed = Edit_DurationTimed->text();
    c.timedAgain = Cb_TimedAgain->isChecked();
    for (int i = 0; i < CheckListBox_TimeOut->count(); ++i) {
        const QListWidgetItem* entry = CheckListBox_TimeOut->item(i);
        if ((entry->flags() & Qt::ItemIsEnabled) && Checked(entry)) {
            c.timeOutDevices << entry->text();
        }
    }
    c.timeOut = Edit_TimeOut->text();
    c.maxTime = Edit_MaxTime->text();
    c.timeOutAgain = Cb_TimeOutAgain->isChecked();
    c.sleepSwitch = Radio_SleepPause->isChecked() ? TSleepSwitchAction::PauseScript
                                                  : TSleepSwitchAction::EndScript;
    c.scheduleEvery = Radio_ScheduleEvery->isChecked();
    c.every = Edit_ScheduleEvery->text();
    c.from = Edit_ScheduleFrom->text();
    c.until = Edit_ScheduleUntil->text();
    for (int i = 0; i < ListBox_Schedule->count(); ++i) {
        c.scheduleTimes << ListBox_Schedule->item(i)->text();
    }
    c.blackout = Cb_Blackout->isChecked();
    c.blackoutFrom = Edit_BlackoutFrom->text();
    c.blackoutTo = Edit_BlackoutTo->text();
    return c;
}

void TScriptWizardForm::GenerateScript(const QString& path, TScriptEditForm* editor)
{
    if (Devices == nullptr) {
        return;
    }
    // The script is made for the devices checked here: the main list's selection follows.
    for (int i = 0; i < CheckListBox_Devices->count(); ++i) {
        const QListWidgetItem* entry = CheckListBox_Devices->item(i);
        TDevice* device = Devices->FindByName(entry->text());
        if (device != nullptr) {
            device->SetSelected(Checked(entry));
        } else {
            ShowMessage(QStringLiteral("Missing Instrument: ") + QString::number(i) +
                        QStringLiteral(" -- ") + entry->text() + QStringLiteral(" selected = ") +
                        (Checked(entry) ? QLatin1Char('1') : QLatin1Char('0')));
        }
    }
    TGeneratedScript script;
    try {
        script = GenerateScriptLines(Choices(path), SelectedStation(*Devices), NowDateTime());
    } catch (const TScriptRefused& refused) {
        if (refused.Page() > 0) {
            ShowPage(refused.Page());
        }
        ShowMessage(refused.Message());
        return;
    }
    if (script.expandedTimes) {
        ApplyExpandedTimes(*script.expandedTimes);
    }
    if (editor == nullptr) {
        SaveAndSendScript(path, script.lines, Cb_ScriptIDAutoRun->isChecked());
        return;
    }
    editor->Editor->ClearVariables();
    for (const QString& name : script.variables) {
        editor->Editor->AddVariable(name);
    }
    editor->Editor->SetText(script.lines.join(QStringLiteral("\r\n")));
    editor->show();
}

void InstallScriptWizard()
{
    SetScriptWizardFormMaker([]() -> IScriptWizardForm* { return new TScriptWizardForm; });
}
