// The command block editor: its texts, a block taken apart into directives and lines and put
// together again by OK, and Cancel (by button, Escape or the title bar) keeping the block.
#include "desktop/Editcommand.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest/QTest>

#include "platform/WindowPlacement.h"
#include "station/CommandBlocks.h"

namespace {

// Sets the screen size before the form is made.
struct TScreen800x600 {
    TScreen800x600() { SetPlacementScreenSize(QSize(800, 600)); }
    ~TScreen800x600() { SetPlacementScreenSize(QSize()); }
};

class EditCommandTest : public ::testing::Test {
protected:
    QStringList Ok(const QStringList& block, const std::function<void()>& edit = {})
    {
        form.SetCommands(block);
        if (edit) {
            edit();
        }
        QTest::mouseClick(form.DevSetupOKButton, Qt::LeftButton);
        EXPECT_EQ(form.result(), QDialog::Accepted);
        return form.Commands();
    }

    TScreen800x600 screen;
    TEditCommandForm form;
};

TEST_F(EditCommandTest, ShowsItsTextsCentred)
{
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Edit Commands"));
    EXPECT_EQ(form.Cb_SupCR->text(), QStringLiteral("Supress Carriage Returns in the above lines"));
    EXPECT_EQ(form.Label_CharDelay->text(), QStringLiteral("Delay between each character:"));
    EXPECT_EQ(form.Edit_CharDelay->text(), QStringLiteral("0"));
    EXPECT_EQ(form.Label_CharDelay2->text(), QStringLiteral("(100th/sec)"));
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Embed Date with \\D, time with \\T"));
    EXPECT_EQ(form.DevSetupOKButton->text(), QStringLiteral("OK"));
    EXPECT_EQ(form.DevSetupCancelButton->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(form.DevSetupHelpButton->text(), QStringLiteral("Help"));
    EXPECT_TRUE(form.Commands().isEmpty());
    const QRect frame = form.frameGeometry();
    EXPECT_EQ(frame.left(), 400 - frame.width() / 2);
    EXPECT_EQ(frame.top(), 300 - frame.height() / 2);
}

TEST_F(EditCommandTest, DirectivesGoToTheControlsAndComeBackFirst)
{
    form.SetCommands({"AT", "\\!SupCr", "\\!Delay 05"});
    EXPECT_TRUE(form.Cb_SupCR->isChecked());
    EXPECT_EQ(form.Edit_CharDelay->text(), QStringLiteral("05"));
    EXPECT_EQ(SplitBlockLines(form.RichEdit->toPlainText()), QStringList{"AT"});
    QTest::mouseClick(form.DevSetupOKButton, Qt::LeftButton);
    EXPECT_EQ(form.Commands(), (QStringList{"\\!SupCr", "\\!Delay 05", "AT"}));

    // A new load starts from an unchecked box and a "0" delay.
    form.SetCommands({"PING"});
    EXPECT_FALSE(form.Cb_SupCR->isChecked());
    EXPECT_EQ(form.Edit_CharDelay->text(), QStringLiteral("0"));

    // What OK writes is what the block's translation reads as the delay.
    const QStringList signedDelay = Ok({"X"}, [this] { form.Edit_CharDelay->setText("+5"); });
    EXPECT_EQ(signedDelay, (QStringList{"\\!Delay +5", "X"}));
    EXPECT_EQ(ClassifyBlockLine(signedDelay.first()), TBlockLineKind::Delay);
    EXPECT_EQ(TextToInt(signedDelay.first().mid(8), 0), 5);
}

TEST_F(EditCommandTest, DelaysBelowOneWriteNoDelayLine)
{
    for (const char* delay : {"0", "-3", "abc", ""}) {
        EXPECT_EQ(Ok({"AT"}, [&] { form.Edit_CharDelay->setText(QString::fromLatin1(delay)); }),
                  QStringList{"AT"})
            << delay;
    }
    EXPECT_EQ(Ok({}, [this] { form.Cb_SupCR->setChecked(true); }), QStringList{"\\!SupCr"});
}

TEST_F(EditCommandTest, OtherLinesSurviveInTheirPlaces)
{
    // An empty "\!Delay " is text, raw lines and empty lines keep their places, also at the end.
    const QStringList block = {"\\!Delay ", "\\\\WaitTicks 10", "", "SAMPLE", ""};
    EXPECT_EQ(Ok(block), block);
    EXPECT_EQ(Ok({"\\\\SETPOWER 1 1", "", "\\!SupCr", "GO"}),
              (QStringList{"\\!SupCr", "\\\\SETPOWER 1 1", "", "GO"}));
    EXPECT_TRUE(Ok({}).isEmpty());

    // Lines typed into the editor come back as lines.
    EXPECT_EQ(Ok({}, [this] { form.RichEdit->setPlainText("START\nSAMPLE 5"); }),
              (QStringList{"START", "SAMPLE 5"}));
}

TEST_F(EditCommandTest, CancelEscapeAndCloseKeepTheLoadedBlock)
{
    const QStringList block = {"AT", "\\!Delay 7", "", "\\!SupCr"};
    const auto editEverything = [this] {
        form.Cb_SupCR->setChecked(false);
        form.Edit_CharDelay->setText("12");
        form.RichEdit->setPlainText("changed");
    };

    form.SetCommands(block);
    editEverything();
    QTest::mouseClick(form.DevSetupCancelButton, Qt::LeftButton);
    EXPECT_EQ(form.Commands(), block);

    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.SetCommands(block);
    editEverything();
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.Commands(), block);

    form.show();
    form.SetCommands(block);
    editEverything();
    form.close();
    EXPECT_EQ(form.Commands(), block);
}

}  // namespace
