// The command console: the Commands menu made from the keyword file, picking a template,
// sending typed commands and the history; and a typed command answered by the DAS stand-in.
#include "desktop/Sendcommand.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "DesktopFixture.h"
#include "ToolWindowFixture.h"
#include "desktop/Terminal.h"
#include "support/TestFiles.h"
#include "support/das/DasCommandLine.h"
#include "support/das/DasSystem.h"

namespace {

class ConsoleTest : public ToolWindowTest {
protected:
    void SetUp() override
    {
        ToolWindowTest::SetUp();
        keywordFile = dir.filePath(QStringLiteral("Pelagrix.key"));
        TSendCommandForm::SetKeywordFilePathForTest(keywordFile);
    }
    void TearDown() override
    {
        form.hide();
        TSendCommandForm::SetKeywordFilePathForTest(QString());
        ToolWindowTest::TearDown();
    }

    void WriteKeywords(const QByteArray& text) { WriteFile(keywordFile, text); }

    QStringList Captions() const
    {
        QStringList out;
        for (QAction* a : form.Commands->actions()) {
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        }
        return out;
    }

    QAction* Item(const QString& caption) const
    {
        for (QAction* a : form.Commands->actions()) {
            if (a->text() == caption) {
                return a;
            }
        }
        return nullptr;
    }

    QString Text() const { return form.ComboBox_SendCommand->currentText(); }

    QTemporaryDir dir;
    QString keywordFile;
    TSendCommandForm form;
};

TEST_F(ConsoleTest, MenuItemsAreTheKeywordLinesAndPickingOneFillsTheBox)
{
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Send Commands"));
    EXPECT_EQ(form.Button_SendCommand->text(), QStringLiteral("Send"));
    EXPECT_EQ(form.CloseForm->text(), QStringLiteral("Close"));
    EXPECT_EQ(form.Commands->title(), QStringLiteral("Commands"));
    EXPECT_TRUE(Text().isEmpty());

    WriteKeywords("SETPOWER <switch> <on>\r\nDIR\r\n&Count\r\n!comment line\n-\nSLEEP <seconds>\n");
    form.show();
    EXPECT_EQ(Captions(), (QStringList{"SETPOWER", "DIR", "&Count", "!comment", "-", "SLEEP"}));
    ASSERT_NE(Item(QStringLiteral("SETPOWER")), nullptr);
    EXPECT_EQ(Item(QStringLiteral("SETPOWER"))->toolTip(), QStringLiteral("SETPOWER <switch> <on>"));

    Item(QStringLiteral("SETPOWER"))->trigger();
    EXPECT_EQ(Text(), QStringLiteral("SETPOWER <switch> <on>"));
    Item(QStringLiteral("DIR"))->trigger();
    EXPECT_EQ(Text(), QStringLiteral("DIR"));

    // Opening the menu is a click on its title, whose template is empty.
    Q_EMIT form.Commands->aboutToShow();
    EXPECT_TRUE(Text().isEmpty());
}

TEST_F(ConsoleTest, ShowingAgainRereadsTheFileAndAMissingFileKeepsTheMenu)
{
    WriteKeywords("DIR\n");
    form.show();
    form.hide();
    WriteKeywords("DIR\nTYPE <file>\n");
    form.show();
    EXPECT_EQ(Captions(), (QStringList{"DIR", "TYPE"}));
    form.hide();

    ASSERT_TRUE(QFile::remove(keywordFile));
    form.show();
    EXPECT_EQ(Captions(), (QStringList{"DIR", "TYPE"}));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_TRUE(prompt.shown[0].text.contains(keywordFile));
}

TEST_F(ConsoleTest, HostileKeywordFilesGiveAMenuOrAMessageNeverACrash)
{
    QByteArray binary;
    for (int i = 0; i < 20000; ++i) {
        binary += static_cast<char>((i * 71 + 5) % 256);
    }
    const QList<QByteArray> hostile = {
        QByteArray(),
        QByteArray("\0\0\0\r\n\0", 6),
        "\r\r\n\n \r\n-\r\n- x\r\n&&\r\n<b>bold</b> x\r\n",
        QByteArray(100000, 'K') + "\r\nDIR\r\n",
        binary,
    };
    for (const QByteArray& bytes : hostile) {
        WriteKeywords(bytes);
        form.show();
        form.hide();
        for (QAction* a : form.Commands->actions()) {
            EXPECT_FALSE(a->text().isEmpty() && !a->isSeparator());
        }
    }
    EXPECT_TRUE(prompt.shown.empty());

    // A file far larger than any command set: the menu takes its first lines and says so.
    QByteArray many;
    for (int i = 0; i < kMaxCommandMenuItems + 50000; ++i) {
        many += "CMD" + QByteArray::number(i) + " <x>\r\n";
    }
    WriteKeywords(many);
    form.show();
    form.hide();
    EXPECT_EQ(Captions().size(), kMaxCommandMenuItems);
    EXPECT_EQ(Captions().last(), QStringLiteral("CMD%1").arg(kMaxCommandMenuItems - 1));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_TRUE(prompt.shown[0].text.contains(keywordFile));
    prompt.shown.clear();

    // A folder where the file should be: the operator is told, the menu stays.
    ASSERT_TRUE(QFile::remove(keywordFile));
    ASSERT_TRUE(QDir().mkpath(keywordFile));
    const QStringList before = Captions();
    form.show();
    EXPECT_EQ(Captions(), before);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_TRUE(prompt.shown[0].text.contains(keywordFile));
}

TEST_F(ConsoleTest, SendQueuesTheTextAndTheHistoryKeepsTheFirstSpelling)
{
    WriteKeywords("DIR\n");
    form.show();
    form.ComboBox_SendCommand->setEditText(QStringLiteral("dir"));
    form.Button_SendCommand->click();
    EXPECT_EQ(Text(), QStringLiteral("dir"));
    form.ComboBox_SendCommand->setEditText(QStringLiteral("DIR"));
    QTest::keyClick(form.ComboBox_SendCommand, Qt::Key_Return);
    EXPECT_EQ(Text(), QStringLiteral("DIR"));
    EXPECT_EQ(form.ComboBox_SendCommand->count(), 1);
    EXPECT_EQ(form.ComboBox_SendCommand->itemText(0), QStringLiteral("dir"));

    // A comment and an empty text are not queued; a long command is cut to 99 characters.
    form.ComboBox_SendCommand->setEditText(QStringLiteral(";note"));
    form.Button_SendCommand->click();
    form.ComboBox_SendCommand->setEditText(QString());
    form.Button_SendCommand->click();
    const QString longCommand = QStringLiteral("SENDSTRING HOST 0 ") + QString(132, QLatin1Char('x'));
    form.ComboBox_SendCommand->setEditText(longCommand);
    form.Button_SendCommand->click();
    EXPECT_EQ(TakeTimed(), (std::vector<TTimedCommand>{{QStringLiteral("dir"), 0},
                                                       {QStringLiteral("DIR"), 0},
                                                       {longCommand.left(99), 0}}));
    EXPECT_EQ(form.ComboBox_SendCommand->count(), 3);
}

}  // namespace

namespace {

class ConsoleDemoTest : public DesktopFixture {};

// The DAS menu's console against the stand-in: a typed command reaches the DAS as typed, and
// the DAS's answer shows in the window of the channel it comes on.
TEST_F(ConsoleDemoTest, TypedCommandsReachTheDasAndItsAnswersShowInTheTerminalWindows)
{
    QTemporaryDir keywords;
    const QString file = keywords.filePath(QStringLiteral("Pelagrix.key"));
    WriteFile(file, "SETCONOUT <dest> <n>\r\nFROB <n>\r\n");
    TSendCommandForm::SetKeywordFilePathForTest(file);
    const TDasCommandLine commandLine(console);
    const TDasSystem system(console);
    Start();
    Trigger("Desktop_SendCommand");
    ASSERT_TRUE(SendCommandForm->isVisible());
    ASSERT_EQ(SendCommandForm->Commands->actions().size(), 2);

    SendCommandForm->Commands->actions().at(1)->trigger();
    EXPECT_EQ(SendCommandForm->ComboBox_SendCommand->currentText(), QStringLiteral("FROB <n>"));
    SendCommandForm->ComboBox_SendCommand->setEditText(QStringLiteral("FROB 7"));
    SendCommandForm->Button_SendCommand->click();
    ASSERT_TRUE(console.WaitForCommands(1));
    EXPECT_TRUE(WaitUntil([this] { return console.Texts().contains(QStringLiteral("FROB 7")); }));

    auto* errors = dynamic_cast<TTerminalForm*>(MuxArray->GetChannel(kErrorChannel)->GetWindow());
    ASSERT_NE(errors, nullptr);
    EXPECT_TRUE(WaitUntil([errors] {
        return errors->TextPane()->toPlainText().contains(QStringLiteral("Unknown command: FROB 7"));
    }, 10000));

    // A command of the DAS's shell typed without its wrapper is answered as the shell answers
    // it: the date on the console's channel, no complaint.
    for (const char* typed : {"SetConOut Host 0", "Date"}) {
        SendCommandForm->ComboBox_SendCommand->setEditText(QString::fromLatin1(typed));
        SendCommandForm->Button_SendCommand->click();
    }
    auto* info = dynamic_cast<TTerminalForm*>(MuxArray->GetChannel(kInfoChannel)->GetWindow());
    ASSERT_NE(info, nullptr);
    const QString year = QString::number(QDate::currentDate().year());
    EXPECT_TRUE(
        WaitUntil([info, &year] { return info->TextPane()->toPlainText().contains(year); }));
    EXPECT_FALSE(
        errors->TextPane()->toPlainText().contains(QStringLiteral("Unknown command: Date")));
    SendCommandForm->hide();
    TSendCommandForm::SetKeywordFilePathForTest(QString());
}

}  // namespace
