#include "desktop/Sendcommand.h"

#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>

#include "link/Das.h"
#include "link/Global.h"
#include "platform/Prompt.h"
#include "platform/WindowPlacement.h"

namespace {

constexpr int kConsoleWidth = 625;
constexpr int kConsoleHeight = 118;

QString& KeywordFileOverride()
{
    static QString path;
    return path;
}

}  // namespace

TSendCommandForm::TSendCommandForm(QWidget* parent) : QMainWindow(parent)
{
    setWindowFlag(Qt::Window, true);
    setWindowTitle(QStringLiteral("Send Commands"));

    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    CloseForm = file->addAction(QStringLiteral("Close"));
    CloseForm->setObjectName(QStringLiteral("CloseForm"));
    connect(CloseForm, &QAction::triggered, this, [this] { CloseFormClick(); });
    Commands = menuBar()->addMenu(QStringLiteral("Commands"));
    Commands->setObjectName(QStringLiteral("Commands"));
    // Opening the menu is the title's click: its template is empty.
    connect(Commands, &QMenu::aboutToShow, this, [this] { CommandsClick(QString()); });

    auto* client = new QWidget(this);
    ComboBox_SendCommand = new QComboBox(client);
    ComboBox_SendCommand->setObjectName(QStringLiteral("ComboBox_SendCommand"));
    ComboBox_SendCommand->setEditable(true);
    // The history grows only by what was sent, and Enter sends the text as typed: no
    // completion turns "DIR" into an earlier "dir".
    ComboBox_SendCommand->setInsertPolicy(QComboBox::NoInsert);
    ComboBox_SendCommand->setCompleter(nullptr);
    ComboBox_SendCommand->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(ComboBox_SendCommand->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { Button_SendCommandClick(); });
    Button_SendCommand = new QPushButton(QStringLiteral("Send"), client);
    Button_SendCommand->setObjectName(QStringLiteral("Button_SendCommand"));
    connect(Button_SendCommand, &QPushButton::clicked, this, [this] { Button_SendCommandClick(); });
    auto* row = new QHBoxLayout(client);
    row->addWidget(ComboBox_SendCommand, 1);
    row->addWidget(Button_SendCommand);
    setCentralWidget(client);

    resize(kConsoleWidth, kConsoleHeight);
    CentreOnScreen(this);
    ComboBox_SendCommand->setEditText(QString());
}

QString TSendCommandForm::KeywordFilePath()
{
    if (!KeywordFileOverride().isEmpty()) {
        return KeywordFileOverride();
    }
    return ::KeywordFilePath();
}

void TSendCommandForm::SetKeywordFilePathForTest(const QString& path)
{
    KeywordFileOverride() = path;
}

void TSendCommandForm::showEvent(QShowEvent* event)
{
    FormShow();
    QMainWindow::showEvent(event);
}

void TSendCommandForm::FormShow()
{
    // The file is read whole before the menu is emptied, so a failed read keeps the menu.
    QFile file(KeywordFilePath());
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessage(QStringLiteral("Cannot open file \"") + file.fileName() +
                    QStringLiteral("\". ") + file.errorString());
        return;
    }
    const QStringList lines = QString::fromLatin1(file.readAll())
                                  .split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    Commands->clear();
    int items = 0;
    for (const QString& line : lines) {
        const QString caption = line.section(QLatin1Char(' '), 0, 0);
        if (caption.isEmpty()) {
            continue;
        }
        if (++items > kMaxCommandMenuItems) {
            ShowMessage(QStringLiteral("The Commands menu shows the first ") +
                        QString::number(kMaxCommandMenuItems) + QStringLiteral(" lines of \"") +
                        file.fileName() + QStringLiteral("\" only."));
            break;
        }
        if (line == QLatin1String("-")) {
            Commands->addSeparator();
            continue;
        }
        QAction* item = Commands->addAction(caption);
        item->setToolTip(line);
        item->setStatusTip(line);
        connect(item, &QAction::triggered, this, [this, line] { CommandsClick(line); });
    }
}

void TSendCommandForm::CommandsClick(const QString& commandTemplate)
{
    ComboBox_SendCommand->setEditText(commandTemplate);
}

void TSendCommandForm::Button_SendCommandClick()
{
    const QString text = ComboBox_SendCommand->currentText();
    SendToDas(text);
    if (!text.isEmpty() && ComboBox_SendCommand->findText(text, Qt::MatchFixedString) < 0) {
        ComboBox_SendCommand->addItem(text);
    }
    // Adding the first item would select it; the box keeps what was sent.
    ComboBox_SendCommand->setEditText(text);
}

void TSendCommandForm::CloseFormClick() { close(); }
