// The script wizard's controls: its three pages with their group boxes, and the bottom row.
#include <QButtonGroup>
#include <QCheckBox>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "scripts/Scriptwizard.h"

namespace {

// Space before the controls that belong to a radio button or check box above them.
constexpr int kIndent = 24;
// Rows a list shows before it scrolls.
constexpr int kDeviceRows = 6;
constexpr int kTimeOutRows = 4;
constexpr int kScheduleRows = 6;
constexpr int kCommentRows = 3;

QLineEdit* TimeEdit(QWidget* parent, const QString& text)
{
    auto* edit = new QLineEdit(text, parent);
    const QFontMetrics metrics(edit->font());
    edit->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("00:00:00")) + 20);
    return edit;
}

QListWidget* ListOfRows(QWidget* parent, int rows)
{
    auto* list = new QListWidget(parent);
    const int row = QFontMetrics(list->font()).height() + 4;
    list->setMinimumHeight(rows * row + 2 * list->frameWidth());
    return list;
}

QLabel* Label(const QString& text, QWidget* parent) { return new QLabel(text, parent); }

// One row of widgets, left-aligned, with an optional indent.
QHBoxLayout* Row(std::initializer_list<QWidget*> widgets, int indent = 0)
{
    auto* row = new QHBoxLayout;
    if (indent > 0) {
        row->addSpacing(indent);
    }
    for (QWidget* w : widgets) {
        row->addWidget(w);
    }
    row->addStretch(1);
    return row;
}

void Group(QObject* owner, std::initializer_list<QRadioButton*> radios)
{
    auto* group = new QButtonGroup(owner);
    for (QRadioButton* radio : radios) {
        group->addButton(radio);
    }
}

}  // namespace

QWidget* TScriptWizardForm::BuildPage1()
{
    auto* page = new QWidget;
    GroupBox_ScriptID = new QGroupBox(QStringLiteral("Script Identification"), page);
    Edit_ScriptIDFile = new QLineEdit(QStringLiteral("Untitled.pxs"), GroupBox_ScriptID);
    Button_ScriptIDFile = new QPushButton(QStringLiteral("..."), GroupBox_ScriptID);
    Button_ScriptIDFile->setFixedWidth(
        Button_ScriptIDFile->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    Radio_ScriptIDAutoSave =
        new QRadioButton(QStringLiteral("Auto-Save to PC and DAS"), GroupBox_ScriptID);
    Radio_ScriptIDEditor =
        new QRadioButton(QStringLiteral("Open in Script Editor"), GroupBox_ScriptID);
    Radio_ScriptIDEditor->setChecked(true);
    Group(this, {Radio_ScriptIDAutoSave, Radio_ScriptIDEditor});
    Cb_ScriptIDParse =
        new QCheckBox(QStringLiteral("Load and Parse on Pelagrix"), GroupBox_ScriptID);
    Cb_ScriptIDParse->setEnabled(false);
    Cb_ScriptIDAutoRun =
        new QCheckBox(QStringLiteral("Auto-Run on Pelagrix Power-up"), GroupBox_ScriptID);
    Cb_ScriptIDAutoRun->setEnabled(false);
    auto* id = new QGridLayout(GroupBox_ScriptID);
    id->addWidget(Label(QStringLiteral("Script Name:"), GroupBox_ScriptID), 0, 0);
    auto* name = new QHBoxLayout;
    name->addWidget(Edit_ScriptIDFile, 1);
    name->addWidget(Button_ScriptIDFile);
    id->addLayout(name, 0, 1, 1, 2);
    id->addWidget(Radio_ScriptIDAutoSave, 1, 0, 1, 2);
    id->addWidget(Cb_ScriptIDParse, 1, 2);
    id->addWidget(Radio_ScriptIDEditor, 2, 0, 1, 2);
    id->addWidget(Cb_ScriptIDAutoRun, 2, 2);
    id->setColumnStretch(1, 1);

    GroupBox_Comments = new QGroupBox(QStringLiteral("Script Comments"), page);
    Memo_Comments = new QPlainTextEdit(GroupBox_Comments);
    Memo_Comments->setFixedHeight(kCommentRows * Memo_Comments->fontMetrics().lineSpacing() +
                                  2 * Memo_Comments->frameWidth() + 8);
    (new QVBoxLayout(GroupBox_Comments))->addWidget(Memo_Comments);

    GroupBox_Type = new QGroupBox(QStringLiteral("Script Type"), page);
    Radio_TypeSimple = new QRadioButton(
        QStringLiteral("Simple Script (Samples repeatedly for a set time or until put to sleep)"),
        GroupBox_Type);
    Radio_TypeSimple->setChecked(true);
    Radio_TypeScheduled = new QRadioButton(QStringLiteral("Scheduled Script"), GroupBox_Type);
    Group(this, {Radio_TypeSimple, Radio_TypeScheduled});
    auto* type = new QVBoxLayout(GroupBox_Type);
    type->addWidget(Radio_TypeSimple);
    type->addWidget(Radio_TypeScheduled);

    GroupBox_Devices = new QGroupBox(QStringLiteral("Devices to Use"), page);
    Button_DevicesSelectAll = new QPushButton(QStringLiteral("Select All"), GroupBox_Devices);
    Button_DevicesClearAll = new QPushButton(QStringLiteral("Clear All"), GroupBox_Devices);
    CheckListBox_Devices = ListOfRows(GroupBox_Devices, kDeviceRows);
    auto* devices = new QHBoxLayout(GroupBox_Devices);
    devices->addWidget(CheckListBox_Devices, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(Button_DevicesSelectAll);
    buttons->addWidget(Button_DevicesClearAll);
    buttons->addStretch(1);
    devices->addLayout(buttons);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(GroupBox_ScriptID);
    layout->addWidget(GroupBox_Comments);
    layout->addWidget(GroupBox_Type);
    layout->addWidget(GroupBox_Devices, 1);
    return page;
}

QWidget* TScriptWizardForm::BuildPage2()
{
    auto* page = new QWidget;
    GroupBox_StartUp = new QGroupBox(QStringLiteral("Start-Up Options"), page);
    Edit_StartUpDelay = TimeEdit(GroupBox_StartUp, QStringLiteral("00:00:00"));
    Radio_StartUpRun =
        new QRadioButton(QStringLiteral("Start-up when script is run"), GroupBox_StartUp);
    Radio_StartUpRun->setChecked(true);
    Radio_StartUpWake =
        new QRadioButton(QStringLiteral("Wait for wake switch, then start-up"), GroupBox_StartUp);
    Radio_StartUpWake->hide();
    Group(this, {Radio_StartUpRun, Radio_StartUpWake});
    Cb_Sequence = new QCheckBox(QStringLiteral("Start sequentially"), GroupBox_StartUp);
    Edit_Sequence = new QLineEdit(QStringLiteral("0"), GroupBox_StartUp);
    // Three digits as the operator types; a number set by the program is never cut.
    Edit_Sequence->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,3}")), Edit_Sequence));
    Edit_Sequence->setFixedWidth(
        Edit_Sequence->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 20);
    auto* startUp = new QVBoxLayout(GroupBox_StartUp);
    startUp->addLayout(
        Row({Label(QStringLiteral("Delay sampling for :"), GroupBox_StartUp), Edit_StartUpDelay,
             Label(QStringLiteral("(hour:min:sec) after start-up."), GroupBox_StartUp)}));
    startUp->addWidget(Radio_StartUpRun);
    startUp->addWidget(Radio_StartUpWake);
    startUp->addLayout(
        Row({Cb_Sequence, Label(QStringLiteral("numbered files at:"), GroupBox_StartUp),
             Edit_Sequence}));

    GroupBox_ShutDown = new QGroupBox(QStringLiteral("Shut-Down Options"), page);
    Cb_SleepAtEnd =
        new QCheckBox(QStringLiteral("Go to Sleep at the end of the script"), GroupBox_ShutDown);
    (new QVBoxLayout(GroupBox_ShutDown))->addWidget(Cb_SleepAtEnd);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(GroupBox_StartUp);
    layout->addWidget(GroupBox_ShutDown);
    layout->addWidget(BuildDurationGroup());
    layout->addStretch(1);
    return page;
}

QWidget* TScriptWizardForm::BuildDurationGroup()
{
    GroupBox_Duration = new QGroupBox(QStringLiteral("Sample Duration"));
    QGroupBox* box = GroupBox_Duration;
    Radio_DurationTimed = new QRadioButton(QStringLiteral("Sample for"), box);
    Radio_DurationTimed->setChecked(true);
    Edit_DurationTimed = TimeEdit(box, QStringLiteral("00:00:10"));
    Cb_TimedAgain = new QCheckBox(QStringLiteral("Sample again after external Wake-up"), box);
    Radio_DurationTimeOut = new QRadioButton(
        QStringLiteral(
            "Sample until checked serial instruments have timed-out -- then go to sleep"),
        box);
    CheckListBox_TimeOut = ListOfRows(box, kTimeOutRows);
    Edit_TimeOut = TimeEdit(box, QStringLiteral("00:00:30"));
    Edit_MaxTime = TimeEdit(box, QStringLiteral("00:10:00"));
    Cb_TimeOutAgain = new QCheckBox(QStringLiteral("Sample again after external Wake-up"), box);

    continuousPart_ = new QWidget(box);
    Radio_DurationContinuous =
        new QRadioButton(QStringLiteral("Sample Continiuously"), continuousPart_);
    Edit_ShutDownDelay = new QLineEdit(QStringLiteral("100"), continuousPart_);
    Edit_ShutDownDelay->setFixedWidth(
        Edit_ShutDownDelay->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 20);
    auto* continuous = new QVBoxLayout(continuousPart_);
    continuous->setContentsMargins(0, 0, 0, 0);
    continuous->addWidget(Radio_DurationContinuous);
    continuous->addLayout(
        Row({Label(QStringLiteral("Before Shuttng Down Ports, pause for "), continuousPart_),
             Edit_ShutDownDelay,
             Label(QStringLiteral("(100ths/sec) to empty queues"), continuousPart_)}));
    Group(this, {Radio_DurationTimed, Radio_DurationTimeOut, Radio_DurationContinuous});

    auto* times = new QGridLayout;
    times->addWidget(Label(QStringLiteral("Time Out:"), box), 0, 0);
    times->addWidget(Edit_TimeOut, 0, 1);
    times->addWidget(Label(QStringLiteral("Maximum time:"), box), 1, 0);
    times->addWidget(Edit_MaxTime, 1, 1);
    times->addWidget(Cb_TimeOutAgain, 2, 0, 1, 2);
    times->setRowStretch(3, 1);
    auto* timeOut = new QHBoxLayout;
    timeOut->addSpacing(kIndent);
    timeOut->addWidget(CheckListBox_TimeOut, 1);
    timeOut->addLayout(times);

    auto* layout = new QVBoxLayout(box);
    layout->addLayout(Row({Radio_DurationTimed, Edit_DurationTimed,
                           Label(QStringLiteral("(hour:min:sec), then go to sleep"), box)}));
    layout->addLayout(Row({Cb_TimedAgain}, kIndent));
    layout->addWidget(Radio_DurationTimeOut);
    layout->addLayout(Row(
        {Label(QStringLiteral("(Pelagrix will only request data from checked devices once)"), box)},
        kIndent));
    layout->addLayout(timeOut);
    layout->addWidget(continuousPart_);
    return box;
}

QWidget* TScriptWizardForm::BuildPage3()
{
    auto* page = new QWidget;
    GroupBox_SleepSwitch =
        new QGroupBox(QStringLiteral("Sleep Switch Options (Sleep switch must be enabled)"), page);
    Radio_SleepEnd = new QRadioButton(QStringLiteral("End Script"), GroupBox_SleepSwitch);
    Radio_SleepEnd->setChecked(true);
    Radio_SleepPause = new QRadioButton(QStringLiteral("Pause Script"), GroupBox_SleepSwitch);
    Group(this, {Radio_SleepEnd, Radio_SleepPause});
    Button_SystemVariables =
        new QPushButton(QStringLiteral("Check if Sleep switch is enabled"), GroupBox_SleepSwitch);
    auto* sleep = new QHBoxLayout(GroupBox_SleepSwitch);
    sleep->addWidget(Radio_SleepEnd);
    sleep->addWidget(Radio_SleepPause);
    sleep->addStretch(1);
    sleep->addWidget(Button_SystemVariables);

    GroupBox_Blackout = new QGroupBox(QStringLiteral("Blackout Times"), page);
    Cb_Blackout =
        new QCheckBox(QStringLiteral("Do Not sample between the hours of "), GroupBox_Blackout);
    Edit_BlackoutFrom = TimeEdit(GroupBox_Blackout, QStringLiteral("20:00:00"));
    Edit_BlackoutTo = TimeEdit(GroupBox_Blackout, QStringLiteral("04:00:00"));
    auto* blackout = new QHBoxLayout(GroupBox_Blackout);
    blackout->addWidget(Cb_Blackout);
    blackout->addWidget(Edit_BlackoutFrom);
    blackout->addWidget(Label(QStringLiteral("and"), GroupBox_Blackout));
    blackout->addWidget(Edit_BlackoutTo);
    blackout->addStretch(1);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(GroupBox_SleepSwitch);
    layout->addWidget(BuildScheduleGroup());
    layout->addWidget(GroupBox_Blackout);
    layout->addStretch(1);
    return page;
}

QWidget* TScriptWizardForm::BuildScheduleGroup()
{
    GroupBox_Schedule = new QGroupBox(QStringLiteral("Sampling Schedule"));
    QGroupBox* box = GroupBox_Schedule;
    Radio_ScheduleEvery = new QRadioButton(QStringLiteral("Sample Every"), box);
    Radio_ScheduleEvery->setChecked(true);
    Edit_ScheduleEvery = TimeEdit(box, QStringLiteral("00:30:00"));
    Edit_ScheduleFrom = TimeEdit(box, QStringLiteral("06:00:00"));
    Edit_ScheduleUntil = TimeEdit(box, QStringLiteral("20:00:00"));
    Radio_ScheduleAt = new QRadioButton(QStringLiteral("Sample At specific times:"), box);
    Group(this, {Radio_ScheduleEvery, Radio_ScheduleAt});
    Edit_ScheduleAt = TimeEdit(box, QStringLiteral("08:00:00"));
    Button_ScheduleAdd = new QPushButton(QStringLiteral("Add Time -->"), box);
    Button_ScheduleRemove = new QPushButton(QStringLiteral("<---Remove Time(s)"), box);
    ListBox_Schedule = ListOfRows(box, kScheduleRows);
    ListBox_Schedule->setSelectionMode(QAbstractItemView::ExtendedSelection);

    const QString format = QStringLiteral("(hour:min:sec) ");
    auto* every = new QGridLayout;
    every->addWidget(Radio_ScheduleEvery, 0, 0);
    every->addWidget(Edit_ScheduleEvery, 0, 1);
    every->addWidget(Label(format, box), 0, 2);
    every->addWidget(Label(QStringLiteral("From:"), box), 1, 0, Qt::AlignRight);
    every->addWidget(Edit_ScheduleFrom, 1, 1);
    every->addWidget(Label(format, box), 1, 2);
    every->addWidget(Label(QStringLiteral("Until:"), box), 2, 0, Qt::AlignRight);
    every->addWidget(Edit_ScheduleUntil, 2, 1);
    every->addWidget(Label(format, box), 2, 2);
    every->setColumnStretch(3, 1);

    auto* atButtons = new QVBoxLayout;
    atButtons->addWidget(Edit_ScheduleAt);
    atButtons->addWidget(Button_ScheduleAdd);
    atButtons->addWidget(Button_ScheduleRemove);
    atButtons->addStretch(1);
    auto* at = new QHBoxLayout;
    at->addSpacing(kIndent);
    at->addLayout(atButtons);
    at->addWidget(ListBox_Schedule, 1);

    auto* layout = new QVBoxLayout(box);
    layout->addLayout(every);
    layout->addWidget(Radio_ScheduleAt);
    layout->addLayout(at);
    return box;
}

void TScriptWizardForm::BuildButtons()
{
    ScrWizHelpButton = new QPushButton(QStringLiteral("Help"), this);
    // There is no help to show: the button stands greyed rather than look alive.
    ScrWizHelpButton->setEnabled(false);
    ScrWizBackButton = new QPushButton(QStringLiteral("<--- Back"), this);
    ScrWizNextButton = new QPushButton(QStringLiteral("Next -->"), this);
    ScrWizDoneButton = new QPushButton(QStringLiteral("Make Script"), this);
    QFont bold = ScrWizDoneButton->font();
    bold.setBold(true);
    ScrWizDoneButton->setFont(bold);
    ScrWizCancelButton = new QPushButton(QStringLiteral("Cancel"), this);

    PageControl = new QTabWidget(this);
    parked_ = new QStackedWidget(this);
    parked_->hide();
    pages_ = {BuildPage1(), BuildPage2(), BuildPage3()};
    for (QWidget* page : pages_) {
        parked_->addWidget(page);
    }

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ScrWizHelpButton);
    bottom->addStretch(1);
    bottom->addWidget(ScrWizBackButton);
    bottom->addWidget(ScrWizNextButton);
    bottom->addWidget(ScrWizDoneButton);
    bottom->addWidget(ScrWizCancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl, 1);
    layout->addLayout(bottom);
}

// The width of the widest page: the window can change its height only, and the one tab
// spans the page control.
void TScriptWizardForm::FixWidth()
{
    int width = 0;
    int height = 0;
    for (QWidget* page : pages_) {
        width = std::max(width, page->sizeHint().width());
        height = std::max(height, page->sizeHint().height());
    }
    const int frame = 2 * PageControl->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 8;
    PageControl->setMinimumSize(width + frame,
                                height + PageControl->tabBar()->sizeHint().height() + frame);
    PageControl->tabBar()->setStyleSheet(
        QStringLiteral("QTabBar::tab { width: %1px; }").arg(width + frame - 4));
    setFixedWidth(sizeHint().width());
    resize(width, sizeHint().height());
}
