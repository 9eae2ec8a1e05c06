#include "desktop/Masterpathform.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "desktop/Browsefolders.h"
#include "desktop/ModalResult.h"
#include "link/Global.h"
#include "platform/WindowPlacement.h"
#include "station/DeviceClasses.h"

namespace {

constexpr int kMasterPathWidth = 457;
constexpr int kMasterPathHeight = 162;
constexpr int kPickerButtonPadding = 16;

const QString kChooseTitle = QStringLiteral("Choose Master Directory for Captured Data...");

}  // namespace

TMasterPath::TMasterPath(QWidget* parent)
    : QDialog(parent, Qt::Tool), browse_(new TBrowseFolders(this))
{
    setWindowTitle(QStringLiteral("Master Directory"));

    RadioGroup_Destination =
        new QGroupBox(QStringLiteral("Data Destination for Captured Data"), this);
    Radio_Host = new QRadioButton(QStringLiteral("Save Data to Host"), RadioGroup_Destination);
    Radio_DAS = new QRadioButton(QStringLiteral("Save Data to DAS"), RadioGroup_Destination);
    Radio_Host->setChecked(true);
    auto* radios = new QHBoxLayout(RadioGroup_Destination);
    radios->addWidget(Radio_Host);
    radios->addWidget(Radio_DAS);
    connect(Radio_Host, &QRadioButton::toggled, this, [this] { RadioGroup_DestinationClick(); });

    auto* pathLabel = new QLabel(QStringLiteral("Host Master Directory:"), this);
    Edit_MasterPath = new QLineEdit(this);
    Edit_MasterPath->setObjectName(QStringLiteral("Edit_MasterPath"));
    pathLabel->setBuddy(Edit_MasterPath);
    Button_ChoosePath = new QPushButton(QStringLiteral("..."), this);
    Button_ChoosePath->setObjectName(QStringLiteral("Button_ChoosePath"));
    Button_ChoosePath->setFixedWidth(Button_ChoosePath->fontMetrics().horizontalAdvance(
                                         QStringLiteral("....")) +
                                     kPickerButtonPadding);
    Button_Default = new QPushButton(QStringLiteral("Default"), this);
    Button_OK = new QPushButton(QStringLiteral("OK"), this);
    Button_OK->setDefault(true);
    Button_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(Button_ChoosePath, &QPushButton::clicked, this, [this] { Button_ChoosePathClick(); });
    connect(Button_Default, &QPushButton::clicked, this, [this] { Button_DefaultClick(); });
    connect(Button_OK, &QPushButton::clicked, this, [this] { done(kModalOk); });
    connect(Button_Cancel, &QPushButton::clicked, this, [this] { done(kModalCancel); });

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(Edit_MasterPath, 1);
    pathRow->addWidget(Button_ChoosePath);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button_Default);
    buttons->addStretch(1);
    buttons->addWidget(Button_OK);
    buttons->addWidget(Button_Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RadioGroup_Destination);
    layout->addWidget(pathLabel);
    layout->addLayout(pathRow);
    layout->addStretch(1);
    layout->addLayout(buttons);
    resize(kMasterPathWidth, kMasterPathHeight);
}

int TMasterPath::DestinationIndex() const { return Radio_Host->isChecked() ? 0 : 1; }

void TMasterPath::SetDestinationIndex(int index)
{
    (index == 0 ? Radio_Host : Radio_DAS)->setChecked(true);
    RadioGroup_DestinationClick();
}

void TMasterPath::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TMasterPath::FormShow()
{
    CentreOnScreen(this);
    if (Devices != nullptr) {
        Edit_MasterPath->setText(NativePath(Devices->GetCaptureDir()));
        SetDestinationIndex(Devices->GetCaptureToHost() ? 0 : 1);
    }
    RadioGroup_DestinationClick();
}

void TMasterPath::RadioGroup_DestinationClick()
{
    const bool host = DestinationIndex() == 0;
    Edit_MasterPath->setEnabled(host);
    Button_ChoosePath->setEnabled(host);
}

void TMasterPath::Button_ChoosePathClick()
{
    browse_->Title = kChooseTitle;
    browse_->Folder = Edit_MasterPath->text();
    if (browse_->Execute(this)) {
        Edit_MasterPath->setText(browse_->Folder);
    }
}

void TMasterPath::Button_DefaultClick()
{
    Edit_MasterPath->setText(GetProgramDataDir() + QStringLiteral("Data/"));
}

void TMasterPath::done(int result)
{
    // The folder is taken as the operator typed it, also while the DAS is chosen.
    if (result == kModalOk && Devices != nullptr) {
        Devices->SetCaptureDir(Edit_MasterPath->text());
        Devices->SetCaptureToHost(DestinationIndex() == 0);
        // The "Capture To" column names the new place ("Host:" or "DAS:") at once.
        Devices->UpdateAllItems();
    }
    QDialog::done(result);
}

void TMasterPath::reject() { done(kModalCancel); }
