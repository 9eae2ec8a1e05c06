#include "desktop/Commsetup.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/IniFile.h"
#include "platform/WindowPlacement.h"
#include "station/DeviceSetupRules.h"

namespace {

// What Defaults selects: 9600 baud, no parity, 8 data bits, 1 stop bit, no flow control.
constexpr int kDefaultBaudIndex = 5;
constexpr int kDefaultParityIndex = 2;
constexpr int kDefaultBitsIndex = 3;
constexpr int kDefaultStopIndex = 0;
constexpr int kDefaultFlowIndex = 0;
constexpr int kFallbackBaud = 9600;

QStringList BaudRates()
{
    QStringList rates;
    for (int baud = 300; baud <= 9600; baud *= 2) {
        rates << QString::number(baud);
    }
    for (int baud : {14400, 19200, 28800, 38400}) {
        rates << QString::number(baud);
    }
    for (int baud = 57600; baud <= 230400; baud *= 2) {
        rates << QString::number(baud);
    }
    return rates;
}

QComboBox* DropDownList(QWidget* parent, const QStringList& items)
{
    auto* combo = new QComboBox(parent);
    combo->setEditable(false);
    combo->addItems(items);
    return combo;
}

// The selected item's text, empty when nothing is selected.
QString Selected(const QComboBox* combo)
{
    return combo->currentIndex() >= 0 ? combo->currentText() : QString();
}

}  // namespace

TCommSetupForm::TCommSetupForm(QWidget* parent) : QDialog(parent)
{
    setWindowFlag(Qt::Window, true);
    setWindowTitle(QStringLiteral("Setup Communications"));

    Label_Baud = new QLabel(QStringLiteral("Bits Per Second (Baud):"), this);
    ComboBox_Baud = DropDownList(this, BaudRates());
    Label_Parity = new QLabel(QStringLiteral("Parity:"), this);
    ComboBox_Parity =
        DropDownList(this, {QStringLiteral("Even"), QStringLiteral("Odd"), QStringLiteral("None"),
                            QStringLiteral("Space"), QStringLiteral("Mark")});
    Label_Bits = new QLabel(QStringLiteral("Data Bits:"), this);
    ComboBox_Bits = DropDownList(
        this, {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")});
    Label_StopBits = new QLabel(QStringLiteral("Stop Bits:"), this);
    ComboBox_StopBits =
        DropDownList(this, {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")});
    Label_Flow = new QLabel(QStringLiteral("Flow Control"), this);
    ComboBox_Flow = DropDownList(
        this, {QStringLiteral("None"), QStringLiteral("XonXoff"), QStringLiteral("Hardware")});
    Button_Defaults = new QPushButton(QStringLiteral("Defaults"), this);
    Button_OK = new QPushButton(QStringLiteral("OK"), this);
    Button_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    Button_OK->setDefault(true);

    auto* grid = new QGridLayout;
    const std::pair<QLabel*, QComboBox*> rows[] = {
        {Label_Baud, ComboBox_Baud}, {Label_Parity, ComboBox_Parity},
        {Label_Bits, ComboBox_Bits}, {Label_StopBits, ComboBox_StopBits},
        {Label_Flow, ComboBox_Flow},
    };
    int row = 0;
    for (const auto& [label, combo] : rows) {
        label->setBuddy(combo);
        grid->addWidget(label, row, 0);
        grid->addWidget(combo, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button_Defaults);
    buttons->addStretch(1);
    buttons->addWidget(Button_OK);
    buttons->addWidget(Button_Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);

    connect(Button_Defaults, &QPushButton::clicked, this, [this] { Button_DefaultsClick(); });
    connect(Button_OK, &QPushButton::clicked, this, [this] { Button_OKClick(); });
    connect(Button_Cancel, &QPushButton::clicked, this, [this] { Button_CancelClick(); });

    FitWindowTitle(this);
    adjustSize();
    CentreOnScreen(this);
}

void TCommSetupForm::SetSettings(int baud, const QString& settings, int flow)
{
    ShowSettings(baud, settings);
    ComboBox_Flow->setCurrentIndex(flow >= 0 && flow < ComboBox_Flow->count() ? flow : -1);
    flow_ = flow;
    ShowFlow(true);
}

void TCommSetupForm::SetSettingsNoFlow(int baud, const QString& settings)
{
    ShowSettings(baud, settings);
    ShowFlow(false);
}

void TCommSetupForm::ShowSettings(int baud, const QString& settings)
{
    const TSettingsFields fields = SplitSettingsText(settings);
    ComboBox_Baud->setCurrentIndex(ComboBox_Baud->findText(QString::number(baud)));
    ComboBox_Parity->setCurrentIndex(FindParityIndex(fields.parity));
    ComboBox_Bits->setCurrentIndex(
        fields.dataBits.isEmpty() ? -1 : ComboBox_Bits->findText(fields.dataBits));
    ComboBox_StopBits->setCurrentIndex(
        fields.stopBits.isEmpty() ? -1 : ComboBox_StopBits->findText(fields.stopBits));
    baud_ = baud;
    settings_ = settings;
}

void TCommSetupForm::ShowFlow(bool shown)
{
    Label_Flow->setVisible(shown);
    ComboBox_Flow->setVisible(shown);
}

int TCommSetupForm::FindParityIndex(const QString& letter) const
{
    if (letter.isEmpty()) {
        return -1;
    }
    for (int i = 0; i < ComboBox_Parity->count(); ++i) {
        if (ComboBox_Parity->itemText(i).startsWith(letter.left(1))) {
            return i;
        }
    }
    return -1;
}

int TCommSetupForm::ReadBaud() const
{
    if (ComboBox_Baud->currentIndex() < 0) {
        return baud_;
    }
    return ParseIntegerText(ComboBox_Baud->currentText()).value_or(kFallbackBaud);
}

QString TCommSetupForm::ReadSettings() const
{
    // A list without a choice keeps what the dialog was given.
    const TSettingsFields given = SplitSettingsText(settings_);
    TSettingsFields fields;
    fields.parity = ComboBox_Parity->currentIndex() >= 0 ? Selected(ComboBox_Parity) : given.parity;
    fields.dataBits = ComboBox_Bits->currentIndex() >= 0 ? Selected(ComboBox_Bits) : given.dataBits;
    fields.stopBits =
        ComboBox_StopBits->currentIndex() >= 0 ? Selected(ComboBox_StopBits) : given.stopBits;
    return JoinSettingsText(fields);
}

void TCommSetupForm::GetSettings(int& baud, QString& settings, int& flow) const
{
    GetSettingsNoFlow(baud, settings);
    flow = ComboBox_Flow->currentIndex() >= 0 ? ComboBox_Flow->currentIndex() : flow_;
}

void TCommSetupForm::GetSettingsNoFlow(int& baud, QString& settings) const
{
    baud = ReadBaud();
    settings = ReadSettings();
}

void TCommSetupForm::Button_DefaultsClick()
{
    ComboBox_Baud->setCurrentIndex(kDefaultBaudIndex);
    ComboBox_Parity->setCurrentIndex(kDefaultParityIndex);
    ComboBox_Bits->setCurrentIndex(kDefaultBitsIndex);
    ComboBox_StopBits->setCurrentIndex(kDefaultStopIndex);
    ComboBox_Flow->setCurrentIndex(kDefaultFlowIndex);
}

void TCommSetupForm::Button_OKClick() { accept(); }

void TCommSetupForm::Button_CancelClick()
{
    SetSettings(baud_, settings_, flow_);
    QDialog::reject();
}

void TCommSetupForm::reject() { Button_CancelClick(); }
