#include "desktop/Editcommand.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/WindowPlacement.h"
#include "station/CommandBlocks.h"

namespace {

constexpr int kEditorWidth = 560;
constexpr int kEditorHeight = 380;
constexpr int kDelayFieldChars = 8;

}  // namespace

TEditCommandForm::TEditCommandForm(QWidget* parent) : QDialog(parent)
{
    setWindowFlag(Qt::Window, true);
    setWindowTitle(QStringLiteral("Edit Commands"));

    RichEdit = new QPlainTextEdit(this);
    RichEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    RichEdit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Panel1 = new QWidget(this);
    Cb_SupCR = new QCheckBox(QStringLiteral("Supress Carriage Returns in the above lines"), Panel1);
    Label_CharDelay = new QLabel(QStringLiteral("Delay between each character:"), Panel1);
    Edit_CharDelay = new QLineEdit(QStringLiteral("0"), Panel1);
    Edit_CharDelay->setMaximumWidth(Edit_CharDelay->fontMetrics().horizontalAdvance(
                                        QString(kDelayFieldChars, QLatin1Char('0'))) +
                                    12);
    Label_CharDelay->setBuddy(Edit_CharDelay);
    Label_CharDelay2 = new QLabel(QStringLiteral("(100th/sec)"), Panel1);
    Label1 = new QLabel(QStringLiteral("Embed Date with \\D, time with \\T"), Panel1);
    DevSetupOKButton = new QPushButton(QStringLiteral("OK"), Panel1);
    DevSetupCancelButton = new QPushButton(QStringLiteral("Cancel"), Panel1);
    DevSetupHelpButton = new QPushButton(QStringLiteral("Help"), Panel1);
    // There is no help to show: the button stands greyed rather than look alive.
    DevSetupHelpButton->setEnabled(false);
    DevSetupOKButton->setAutoDefault(false);

    auto* delayRow = new QHBoxLayout;
    delayRow->addWidget(Label_CharDelay);
    delayRow->addWidget(Edit_CharDelay);
    delayRow->addWidget(Label_CharDelay2);
    delayRow->addStretch(1);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(Label1);
    buttonRow->addStretch(1);
    buttonRow->addWidget(DevSetupOKButton);
    buttonRow->addWidget(DevSetupCancelButton);
    buttonRow->addWidget(DevSetupHelpButton);
    auto* panel = new QVBoxLayout(Panel1);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->addWidget(Cb_SupCR);
    panel->addLayout(delayRow);
    panel->addLayout(buttonRow);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RichEdit, 1);
    layout->addWidget(Panel1);

    connect(DevSetupOKButton, &QPushButton::clicked, this, [this] { DevSetupOKButtonClick(); });
    connect(DevSetupCancelButton, &QPushButton::clicked, this,
            [this] { DevSetupCancelButtonClick(); });

    resize(kEditorWidth, kEditorHeight);
    CentreOnScreen(this);
}

void TEditCommandForm::SetCommands(const QStringList& block)
{
    const TBlockDirectives directives = SplitBlockDirectives(block);
    Cb_SupCR->setChecked(directives.supCr);
    Edit_CharDelay->setText(directives.delayText);
    // Each line ends in a line break, so an empty last line is kept as a line of its own.
    QString text;
    for (const QString& line : directives.lines) {
        text += line + QLatin1Char('\n');
    }
    RichEdit->setPlainText(text);
    result_ = block;
}

void TEditCommandForm::DevSetupOKButtonClick()
{
    TBlockDirectives directives;
    directives.supCr = Cb_SupCR->isChecked();
    directives.delayText = Edit_CharDelay->text();
    directives.lines = SplitBlockLines(RichEdit->toPlainText());
    result_ = JoinBlockDirectives(directives);
    accept();
}

void TEditCommandForm::DevSetupCancelButtonClick() { QDialog::reject(); }

void TEditCommandForm::reject() { DevSetupCancelButtonClick(); }
