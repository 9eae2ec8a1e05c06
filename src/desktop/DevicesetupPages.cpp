// The device setup wizard's six pages and bottom row. The group boxes of the pages that
// collapse boxes are placed by hand, so their heights and the 8-pixel gaps between them hold;
// the controls in a box stand in rows at fixed heights.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <array>
#include <functional>

#include "desktop/DeviceImages.h"
#include "desktop/Devicesetup.h"
#include "platform/WindowPlacement.h"

namespace {

constexpr int kSetupWidth = 640;
constexpr int kPageHeight = 500;
constexpr int kBoxMargin = 8;
constexpr int kRowHeight = 24;
constexpr int kRowIndent = 10;
constexpr int kSubRowIndent = 30;
constexpr int kNumberFieldWidth = 72;
constexpr int kIconFramePx = kLargeDeviceIconPx + 4;

// Design heights of the boxes the pages stack, and of the other boxes placed by hand.
constexpr int kPowerOnHeight = 90;
constexpr int kPowerOffHeight = 61;
constexpr int kDataOutputHeight = 220;
constexpr int kPriorityHeight = 84;
constexpr int kStartCaptureHeight = 221;
constexpr int kStopCaptureHeight = 221;
constexpr int kLabelBoxHeight = 60;
constexpr int kCaptureToHeight = 202;
constexpr int kAveragingHeight = 110;
constexpr int kFrequencyHeight = 60;

const char* const kRowProperty = "setupRow";

// A page whose group boxes span its width, with a margin on each side.
class TSetupPage final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        for (QGroupBox* box : findChildren<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly)) {
            box->resize(event->size().width() - 2 * kBoxMargin, box->height());
        }
        QWidget::resizeEvent(event);
    }
};

// A group box whose rows span its width.
class TStackBox final : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        for (QWidget* row : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (row->property(kRowProperty).toBool()) {
                row->resize(event->size().width() - row->x() - kBoxMargin, row->height());
            }
        }
        QGroupBox::resizeEvent(event);
    }
};

// Text fields and lists without a width of their own take the room a row has left.
bool Widens(const QWidget* widget)
{
    return (qobject_cast<const QLineEdit*>(widget) != nullptr ||
            qobject_cast<const QComboBox*>(widget) != nullptr) &&
           widget->maximumWidth() == QWIDGETSIZE_MAX;
}

// A row of controls in a box at height `y`; `nullptr` in the list stands for the stretch.
QWidget* Row(QWidget* box, int y, std::initializer_list<QWidget*> widgets, int indent = kRowIndent)
{
    auto* row = new QWidget(box);
    row->setProperty(kRowProperty, true);
    row->setGeometry(indent, y, box->width() - indent - kBoxMargin, kRowHeight);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    bool stretched = false;
    for (QWidget* widget : widgets) {
        if (widget == nullptr) {
            layout->addStretch(1);
            stretched = true;
        } else if (Widens(widget)) {
            layout->addWidget(widget, 1);
            stretched = true;
        } else {
            layout->addWidget(widget);
        }
    }
    if (!stretched) {
        layout->addStretch(1);
    }
    return row;
}

QLabel* Label(const QString& text, QWidget* parent = nullptr) { return new QLabel(text, parent); }

QLineEdit* NumberField(QWidget* parent = nullptr)
{
    auto* edit = new QLineEdit(parent);
    edit->setFixedWidth(kNumberFieldWidth);
    return edit;
}

QPushButton* Button(const QString& text, QWidget* parent = nullptr)
{
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    return button;
}

// Labels of one column of rows share the widest one's width, so the fields line up.
void SameWidth(std::initializer_list<QLabel*> labels)
{
    int width = 0;
    for (const QLabel* label : labels) {
        width = std::max(width, label->sizeHint().width());
    }
    for (QLabel* label : labels) {
        label->setFixedWidth(width);
    }
}

QString Hundredths() { return QStringLiteral("(100th/sec)"); }

// A labelled row of a grid: the label, the field and, when given, a button after it; the
// field's column takes the room that is left.
void GridRow(QGridLayout* grid, int row, const QString& label, QWidget* field,
             QWidget* button = nullptr)
{
    grid->addWidget(new QLabel(label), row, 0);
    grid->addWidget(field, row, 1, 1, button != nullptr ? 1 : 2);
    if (button != nullptr) {
        grid->addWidget(button, row, 2);
    }
    grid->setColumnStretch(1, 1);
}

// One radio button per text, a row each from `y` on; returns the height below the last.
int RadioRows(QWidget* box, int y, const std::array<const char*, 6>& texts,
              const std::function<QRadioButton*(const QString&)>& make)
{
    for (const char* text : texts) {
        Row(box, y, {make(QString::fromLatin1(text))});
        y += kRowHeight;
    }
    return y;
}

}  // namespace

QGroupBox* TDeviceSetupForm::StackBox(QWidget* page, const QString& title, int fullHeight)
{
    auto* box = new TStackBox(title, page);
    box->setGeometry(kBoxMargin, kBoxMargin, kSetupWidth - 4 * kBoxMargin, fullHeight);
    fullHeights_.emplace_back(box, fullHeight);
    return box;
}

QRadioButton* TDeviceSetupForm::Radio(TRadioSet& set, QWidget* box, const QString& caption)
{
    auto* radio = new QRadioButton(caption, box);
    set.Add(radio);
    return radio;
}

void TDeviceSetupForm::BuildPages()
{
    HiddenPages = new QWidget(this);
    HiddenPages->hide();
    Pages = {BuildBasicPage(),  BuildPowerPage(),       BuildCapturePage(),
             BuildLabelsPage(), BuildDestinationPage(), BuildAnalogPage()};
    for (QWidget* page : Pages) {
        page->setParent(HiddenPages);
        page->setMinimumSize(kSetupWidth - 4 * kBoxMargin, kPageHeight);
    }
    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    // The one tab spans the control and reads as the page's title.
    PageControl->setDocumentMode(true);
    PageControl->tabBar()->setExpanding(true);
    BuildBottomRow();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(DevSetupCancelButton);
    buttons->addWidget(DevSetupHelpButton);
    buttons->addStretch(1);
    buttons->addWidget(DevSetupBackButton);
    buttons->addWidget(DevSetupNextButton);
    buttons->addSpacing(kBoxMargin);
    buttons->addWidget(DevSetupDoneButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl, 1);
    layout->addLayout(buttons);

    setFixedWidth(kSetupWidth);
    ShowPage(1);
    adjustSize();
}

QWidget* TDeviceSetupForm::BuildBasicPage()
{
    auto* page = new QWidget;

    GroupBox_Identification = new QGroupBox(QStringLiteral("Identification"), page);
    Edit_Name = new QLineEdit;
    Edit_Icon_File = new QLineEdit;
    Button_Icon_File = Button(QStringLiteral("..."));
    Button_Icon_File->setToolTip(QStringLiteral("Choose the device's picture"));
    IconImage = new QLabel;
    IconImage->setFixedSize(kIconFramePx, kIconFramePx);
    IconImage->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    IconImage->setAlignment(Qt::AlignCenter);
    auto* identity = new QGridLayout(GroupBox_Identification);
    GridRow(identity, 0, QStringLiteral("Name:"), Edit_Name);
    GridRow(identity, 1, QStringLiteral("Icon File:"), Edit_Icon_File, Button_Icon_File);
    identity->addWidget(IconImage, 0, 3, 2, 1);

    GroupBox_Connection = new QGroupBox(QStringLiteral("Connnection"), page);
    ComboBox_Connection = new QComboBox;
    ComboBox_Ports = new QComboBox;
    Label_Mux = new QLabel;
    Serial_Settings = new QLineEdit;
    Serial_Settings->setReadOnly(true);
    Button_Serial_Setup = Button(QStringLiteral("Setup..."));
    auto* connection = new QGridLayout(GroupBox_Connection);
    GridRow(connection, 0, QStringLiteral("DAS Connector:"), ComboBox_Connection);
    GridRow(connection, 1, QStringLiteral("OR...       DAS Port:"), ComboBox_Ports);
    GridRow(connection, 2, QStringLiteral("MUX Port:"), Label_Mux);
    GridRow(connection, 3, QStringLiteral("Device Serial Settings:"), Serial_Settings,
            Button_Serial_Setup);

    GroupBox_Echo = new QGroupBox(QStringLiteral("Echo Data to PC Serial Port Options"), page);
    ComboBox_Echo_Serial = new QComboBox;
    Echo_Settings = new QLineEdit;
    Echo_Settings->setReadOnly(true);
    Button_Echo_Setup = Button(QStringLiteral("Setup..."));
    auto* echo = new QGridLayout(GroupBox_Echo);
    GridRow(echo, 0, QStringLiteral("PC Serial Port:"), ComboBox_Echo_Serial);
    GridRow(echo, 1, QStringLiteral("Echo Serial Settings:"), Echo_Settings, Button_Echo_Setup);

    ImportSettingsButton = Button(QStringLiteral("Import Settings"));
    ExportSettingsButton = Button(QStringLiteral("Export Settings"));
    auto* files = new QHBoxLayout;
    files->addStretch(1);
    files->addWidget(ImportSettingsButton);
    files->addWidget(ExportSettingsButton);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(GroupBox_Identification);
    layout->addWidget(GroupBox_Connection);
    layout->addWidget(GroupBox_Echo);
    layout->addStretch(1);
    layout->addLayout(files);
    return page;
}

QWidget* TDeviceSetupForm::BuildPowerPage()
{
    auto* page = new TSetupPage;

    GroupBox_PowerOn = StackBox(page, QStringLiteral("Power-On Options"), kPowerOnHeight);
    Edit_PowerOnDelay = NumberField();
    Cb_PowerOnCmd = new QCheckBox(QStringLiteral("Send Power-On Commands, waiting"));
    Edit_PowerOnCmdWait = NumberField();
    Button_CmdPowerOn = Button(QStringLiteral("Power-On Commands..."));
    Row(GroupBox_PowerOn, 22,
        {Label(QStringLiteral("Power-On Delay:")), Edit_PowerOnDelay, Label(Hundredths())});
    Row(GroupBox_PowerOn, 54,
        {Cb_PowerOnCmd, Edit_PowerOnCmdWait, Label(Hundredths()), nullptr, Button_CmdPowerOn});

    GroupBox_PowerOff = StackBox(page, QStringLiteral("Power-Off Options"), kPowerOffHeight);
    Cb_PowerOffCmd = new QCheckBox(QStringLiteral("Send Power-Off Commands, then wait"));
    Edit_PowerOffCmdWait = NumberField();
    Button_CmdPowerOff = Button(QStringLiteral("Power-Off Commands..."));
    Row(GroupBox_PowerOff, 24,
        {Cb_PowerOffCmd, Edit_PowerOffCmdWait, Label(Hundredths()), nullptr, Button_CmdPowerOff});

    GroupBox_DataOutput = StackBox(page, QStringLiteral("Data Output Style"), kDataOutputHeight);
    Radio_OnDemandData = Radio(collectionRadios_, nullptr,
                               QStringLiteral("Pelagrix must request each data packet from the "
                                              "device"));
    Label_PacketPause = Label(QStringLiteral("Time between packets:"));
    Edit_PacketPause = NumberField();
    Button_CmdGetData = Button(QStringLiteral("Get Data Commands..."));
    Radio_AutomaticData =
        Radio(collectionRadios_, nullptr,
              QStringLiteral("Instrument Sends Serial Data Automatically and Continiously"));
    Radio_StartStopData =
        Radio(collectionRadios_, nullptr,
              QStringLiteral("Pelagrix Tells Instrument to Start/Stop Continous Serial Data"));
    Button_CmdStart = Button(QStringLiteral("Start Data Commands..."));
    Edit_CmdStartDelay = NumberField();
    Button_CmdStop = Button(QStringLiteral("Stop Data Commands..."));
    Edit_CmdStopDelay = NumberField();
    StartStopLabels = {Label(QStringLiteral("at least")),
                       Label(Hundredths()),
                       Label(QStringLiteral("after power-on")),
                       Label(QStringLiteral("at least")),
                       Label(Hundredths()),
                       Label(QStringLiteral("before power-off"))};
    SameWidth({StartStopLabels[0], StartStopLabels[3]});
    Button_CmdStart->setMinimumWidth(Button_CmdStop->sizeHint().width());
    Row(GroupBox_DataOutput, 22, {Radio_OnDemandData});
    Row(GroupBox_DataOutput, 48,
        {Label_PacketPause, Edit_PacketPause, Label(Hundredths()), nullptr, Button_CmdGetData},
        kSubRowIndent);
    Row(GroupBox_DataOutput, 80, {Radio_AutomaticData});
    Row(GroupBox_DataOutput, 108, {Radio_StartStopData});
    Row(GroupBox_DataOutput, 136,
        {Button_CmdStart, StartStopLabels[0], Edit_CmdStartDelay, StartStopLabels[1],
         StartStopLabels[2]},
        kSubRowIndent);
    Row(GroupBox_DataOutput, 168,
        {Button_CmdStop, StartStopLabels[3], Edit_CmdStopDelay, StartStopLabels[4],
         StartStopLabels[5]},
        kSubRowIndent);

    GroupBox_Priority = StackBox(page, QStringLiteral("Priority Options"), kPriorityHeight);
    Edit_PowerOnPriority = new TOrdinalSpinBox;
    Edit_DataPriority = new TOrdinalSpinBox;
    QLabel* powerOnLabel = Label(QStringLiteral("Power-On Priority:"));
    QLabel* dataLabel = Label(QStringLiteral("Data Priority:"));
    SameWidth({powerOnLabel, dataLabel});
    Row(GroupBox_Priority, 22, {powerOnLabel, Edit_PowerOnPriority});
    Row(GroupBox_Priority, 52, {dataLabel, Edit_DataPriority});
    return page;
}

QWidget* TDeviceSetupForm::BuildCapturePage()
{
    auto* page = new TSetupPage;

    GroupBox_StartCapture =
        StackBox(page, QStringLiteral("Automatic Start Data Capture:"), kStartCaptureHeight);
    const int startEnd =
        RadioRows(GroupBox_StartCapture, 22,
                  {"Start immediately before power is turned on.",
                   "Start immediately before sending \"Power-On\" commands.",
                   "Start after power is turned on, and any power-on commands are sent.",
                   "Start immediately before sending \"Start Data\" or \"Get Data\" Commands",
                   "Start after sending \"Start Data\" or \"Get Data\" commands",
                   "Start after sending \"Get Saved Data\" command at the end of data collection."},
                  [this](const QString& text) { return Radio(startRadios_, nullptr, text); });
    Radio_StartBeforePower = startRadios_.At(0);
    Radio_StartBeforePowerCmd = startRadios_.At(1);
    Radio_StartAfterPower = startRadios_.At(2);
    Radio_StartBeforeDataCmd = startRadios_.At(3);
    Radio_StartAfterDataCmd = startRadios_.At(4);
    Radio_StartAfterRetrieve = startRadios_.At(5);
    Edit_StartAfterDelay = NumberField();
    StartAfterDelayLabels = {Label(QStringLiteral("Wait at least")), Label(Hundredths())};
    Button_CmdGetSavedData = Button(QStringLiteral("Get Saved Data Commands..."));
    Row(GroupBox_StartCapture, startEnd + 8,
        {StartAfterDelayLabels[0], Edit_StartAfterDelay, StartAfterDelayLabels[1], nullptr,
         Button_CmdGetSavedData});

    GroupBox_StopCapture =
        StackBox(page, QStringLiteral("Automatic Stop Data Capture:"), kStopCaptureHeight);
    const int stopEnd =
        RadioRows(GroupBox_StopCapture, 22,
                  {"Stop immediately before sending \"Stop Data\" Commands.",
                   "Stop after sending \"Stop Data\" commands",
                   "Stop immediately before sending \"Power-Off\" commands.",
                   "Stop after sending \"Power-Off\" commands.",
                   "Stop immediately before power is turned off.",
                   "Stop after sending \"Get Saved Data\" command at the end of data collection."},
                  [this](const QString& text) { return Radio(stopRadios_, nullptr, text); });
    Radio_StopBeforeDataCmd = stopRadios_.At(0);
    Radio_StopAfterDataCmd = stopRadios_.At(1);
    Radio_StopBeforePowerCmd = stopRadios_.At(2);
    Radio_StopAfterPowerCmd = stopRadios_.At(3);
    Radio_StopBeforePower = stopRadios_.At(4);
    Radio_StopAfterRetrieve = stopRadios_.At(5);
    Edit_StopAfterDelay = NumberField();
    StopAfterDelayLabels = {Label(QStringLiteral("Wait at least")), Label(Hundredths())};
    Row(GroupBox_StopCapture, stopEnd + 8,
        {StopAfterDelayLabels[0], Edit_StopAfterDelay, StopAfterDelayLabels[1]});
    PlaceBelow(GroupBox_StartCapture, GroupBox_StopCapture);
    return page;
}

QWidget* TDeviceSetupForm::BuildLabelsPage()
{
    auto* page = new TSetupPage;

    GroupBox_StartLabels =
        StackBox(page, QStringLiteral("Start of Captured Data Labels"), kLabelBoxHeight);
    Edit_StartPrefix = new QLineEdit;
    QLabel* startLabel = Label(QStringLiteral("Label:"));
    Row(GroupBox_StartLabels, 24, {startLabel, Edit_StartPrefix});

    GroupBox_DataLabels = StackBox(page, QStringLiteral("Data Packet Labels"), kLabelBoxHeight);
    Edit_Prefix = new QLineEdit;
    Edit_Suffix = new QLineEdit;
    QLabel* prefixLabel = Label(QStringLiteral("Prefix:"));
    Row(GroupBox_DataLabels, 24,
        {prefixLabel, Edit_Prefix, Label(QStringLiteral("Suffix:")), Edit_Suffix});

    GroupBox_EndLabels =
        StackBox(page, QStringLiteral("End of Captured Data Labels"), kLabelBoxHeight);
    Edit_StopSuffix = new QLineEdit;
    QLabel* endLabel = Label(QStringLiteral("Label:"));
    Row(GroupBox_EndLabels, 24, {endLabel, Edit_StopSuffix});

    GroupBox_DateStamps = StackBox(page, QStringLiteral("Date Stamp Format"), kLabelBoxHeight);
    ComboBox_DateStampFormat = new QComboBox;
    const QStringList dates = {"MM/DD/YYYY", "MM/DD/YY", "DD/MM/YYYY", "DD/MM/YY",
                               "JJJ/YYYY",   "JJJ/YY",   "YYYY/JJJ",   "YY/JJJ"};
    ComboBox_DateStampFormat->addItems(dates);
    for (const QString& date : dates) {
        ComboBox_DateStampFormat->addItem(date + QStringLiteral(" HH:MM:SS"));
    }
    Edit_DateStampInfix = NumberField();
    QLabel* formatLabel = Label(QStringLiteral("Format:"));
    Row(GroupBox_DateStamps, 24,
        {formatLabel, ComboBox_DateStampFormat, Label(QStringLiteral("Separator:")),
         Edit_DateStampInfix});

    GroupBox_TimeStamps = StackBox(page, QStringLiteral("Time Stamp Format"), kLabelBoxHeight);
    Edit_TimeStampInfix = NumberField();
    QLabel* timeLabel = Label(QStringLiteral("HH:MM:SS"));
    Row(GroupBox_TimeStamps, 24,
        {timeLabel, Label(QStringLiteral("Separator:")), Edit_TimeStampInfix});
    SameWidth({startLabel, prefixLabel, endLabel, formatLabel, timeLabel});
    return page;
}

QWidget* TDeviceSetupForm::BuildDestinationPage()
{
    auto* page = new TSetupPage;

    GroupBox_CaptureTo = StackBox(page, QStringLiteral("Data is Captured to:"), kCaptureToHeight);
    Radio_CaptureHost = Radio(destinationRadios_, nullptr, QStringLiteral("Default Host Channel"));
    Radio_CaptureOther = Radio(destinationRadios_, nullptr, QStringLiteral("Other Host Channel"));
    ComboBox_CaptureDestOther = new QComboBox;
    ComboBox_CaptureDestOther->setMinimumContentsLength(16);
    Radio_CaptureSeq =
        Radio(destinationRadios_, nullptr, QStringLiteral("Sequentially Numbered File"));
    Radio_CaptureFile = Radio(destinationRadios_, nullptr, QStringLiteral("Non-Sequential File"));
    Edit_CaptureDest = new QLineEdit;
    Cb_CaptureDestAppend = new QCheckBox(QStringLiteral("Append to an existing file"));
    Edit_MasterDirectory = new QLineEdit;
    Edit_MasterDirectory->setReadOnly(true);
    Btn_ChangeMasterDir = Button(QStringLiteral("Change Master Directory"));
    // The master folder the file destinations lie in closes the box.
    Row(GroupBox_CaptureTo, 20, {Radio_CaptureHost});
    Row(GroupBox_CaptureTo, 44, {Radio_CaptureOther, ComboBox_CaptureDestOther});
    Row(GroupBox_CaptureTo, 70, {Radio_CaptureSeq});
    Row(GroupBox_CaptureTo, 94, {Radio_CaptureFile});
    Row(GroupBox_CaptureTo, 118, {Label(QStringLiteral("Folder\\File Name:")), Edit_CaptureDest},
        kSubRowIndent);
    Row(GroupBox_CaptureTo, 144,
        {Cb_CaptureDestAppend, nullptr,
         Label(QStringLiteral("Folder Name(s) will be ignored if saving to DAS."))},
        kSubRowIndent);
    Row(GroupBox_CaptureTo, 172, {Edit_MasterDirectory, Btn_ChangeMasterDir});
    return page;
}

QWidget* TDeviceSetupForm::BuildAnalogPage()
{
    auto* page = new TSetupPage;

    GroupBox_Averaging =
        StackBox(page, QStringLiteral("Analog/Frequency Averaging Options - Scripted Mode Only!"),
                 kAveragingHeight);
    Cb_DoAveraging = new QCheckBox(QStringLiteral("Average the samples"));
    Edit_AvgNumSamples = NumberField();
    Edit_AvgPause = NumberField();
    QLabel* samplesLabel = Label(QStringLiteral("Number of samples:"));
    QLabel* pauseLabel = Label(QStringLiteral("Pause between samples:"));
    SameWidth({samplesLabel, pauseLabel});
    Row(GroupBox_Averaging, 22, {Cb_DoAveraging});
    Row(GroupBox_Averaging, 50, {samplesLabel, Edit_AvgNumSamples}, kSubRowIndent);
    Row(GroupBox_Averaging, 78, {pauseLabel, Edit_AvgPause, Label(Hundredths())}, kSubRowIndent);

    GroupBox_Frequency = StackBox(page, QStringLiteral("Frequency Options"), kFrequencyHeight);
    Edit_FreqDuration = new QLineEdit;
    Edit_FreqDuration->setFixedWidth(2 * kNumberFieldWidth);
    Row(GroupBox_Frequency, 24,
        {Label(QStringLiteral("Minimum measurement duration:")), Edit_FreqDuration});
    return page;
}

void TDeviceSetupForm::BuildBottomRow()
{
    DevSetupCancelButton = Button(QStringLiteral("Cancel"), this);
    DevSetupHelpButton = Button(QStringLiteral("Help"), this);
    // There is no help to show: the button stands greyed rather than look alive.
    DevSetupHelpButton->setEnabled(false);
    DevSetupBackButton = Button(QStringLiteral("<--- Back"), this);
    DevSetupNextButton = Button(QStringLiteral("Next -->"), this);
    DevSetupDoneButton = Button(QStringLiteral("Finished"), this);
}
