// The warning dialog and ShowWarning: what is shown, the operator's choice per title in the
// settings store, and the answer the caller gets.
#include "desktop/Warndialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "link/Host.h"
#include "platform/Registry.h"
#include "platform/WindowPlacement.h"

namespace {

const QString kRoot = QStringLiteral("\\Software\\Tavo Labs\\Wendrok\\");

class WarningTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSettingsFilePath(dir.filePath(QStringLiteral("Wendrok.ini")));
        SetPlacementScreenSize(QSize(1000, 800));
        Host.SetWriteVersion(1.26f);
        Host.SetReadVersion(1.26f);
        WarningForm = new TWarningForm;
        // The operator's part of each showing: what the dialog showed, then the box as the
        // test sets it and OK.
        TDASDesktopForm::SetModalRunner([this](QDialog& dialog) {
            auto& warning = static_cast<TWarningForm&>(dialog);
            shown << warning.windowTitle() + QStringLiteral(": ") +
                         warning.Label_Warning->text();
            boxAtShow = warning.CheckBox_WarnAgain->isChecked();
            warning.CheckBox_WarnAgain->setChecked(tickBox);
            warning.Button1_OK->click();
            return warning.result();
        });
    }

    void TearDown() override
    {
        TDASDesktopForm::SetModalRunner({});
        delete WarningForm;
        WarningForm = nullptr;
        Host.SetReadVersion(1.26f);
        SetPlacementScreenSize(QSize());
        SetSettingsFilePath(QString());
    }

    static bool Stored(const QString& key, bool& value)
    {
        TRegistry reg;
        if (!reg.OpenKey(kRoot + key, false) || !reg.ValueExists(QStringLiteral("WarnAgain"))) {
            return false;
        }
        value = reg.ReadBool(QStringLiteral("WarnAgain"));
        return true;
    }

    QTemporaryDir dir;
    QStringList shown;
    bool tickBox = true;
    bool boxAtShow = false;
};

TEST_F(WarningTest, ShowsEachTitleUntilTheOperatorTurnsItOff)
{
    EXPECT_EQ(WarningForm->windowTitle(), QStringLiteral("Warning"));
    EXPECT_EQ(WarningForm->CheckBox_WarnAgain->text(), QStringLiteral("Show this warning again"));
    EXPECT_EQ(WarningForm->Button1_OK->text(), QStringLiteral("OK"));
    EXPECT_EQ(WarningForm->size(), QSize(493, 174));
    EXPECT_EQ(WarningForm->LastResult(), 0);

    // A title never seen is shown; OK with the box left ticked stores nothing.
    EXPECT_EQ(ShowWarning(QStringLiteral("T1"), QStringLiteral("Mind the gap.")), 1);
    EXPECT_EQ(shown, QStringList{QStringLiteral("T1: Mind the gap.")});
    bool value = true;
    EXPECT_FALSE(Stored(QStringLiteral("126\\T1"), value));

    // Unticked and OK: stored off; the next ShowWarning shows nothing and answers the last OK.
    tickBox = false;
    EXPECT_EQ(ShowWarning(QStringLiteral("T1"), QStringLiteral("Mind the gap.")), 1);
    ASSERT_TRUE(Stored(QStringLiteral("126\\T1"), value));
    EXPECT_FALSE(value);
    shown.clear();
    EXPECT_EQ(ShowWarning(QStringLiteral("T1"), QStringLiteral("Mind the gap.")), 1);
    EXPECT_TRUE(shown.isEmpty());

    // Another title opens with its box ticked although the last showing left it unticked.
    tickBox = true;
    EXPECT_EQ(ShowWarning(QStringLiteral("T2"), QStringLiteral("Second.")), 1);
    EXPECT_EQ(shown, QStringList{QStringLiteral("T2: Second.")});
    EXPECT_TRUE(boxAtShow);
    EXPECT_FALSE(Stored(QStringLiteral("126\\T2"), value));
}

TEST_F(WarningTest, ClosingWithoutOkAnswersCancelAndStillKeepsTheChoice)
{
    TDASDesktopForm::SetModalRunner([](QDialog& dialog) {
        auto& warning = static_cast<TWarningForm&>(dialog);
        warning.CheckBox_WarnAgain->setChecked(false);
        warning.reject();
        return warning.result();
    });
    EXPECT_EQ(ShowWarning(QStringLiteral("Script Wizard Warning"), QStringLiteral("x")), 2);
    bool value = true;
    ASSERT_TRUE(Stored(QStringLiteral("126\\Script Wizard Warning"), value));
    EXPECT_FALSE(value);
    EXPECT_EQ(ShowWarning(QStringLiteral("Script Wizard Warning"), QStringLiteral("x")), 2);
}

TEST_F(WarningTest, ChoiceIsReadUnderTheReadVersionWithAnyCaseAndNestedTitles)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot + QStringLiteral("125\\Old"), true));
        reg.WriteBool(QStringLiteral("WARNAGAIN"), false);
    }
    Host.SetReadVersion(1.25f);
    shown.clear();
    ShowWarning(QStringLiteral("Old"), QStringLiteral("x"));
    EXPECT_TRUE(shown.isEmpty());

    // Written under the write version, read back from there once reading moves on.
    tickBox = false;
    ShowWarning(QStringLiteral("A\\B"), QStringLiteral("nested"));
    bool value = true;
    ASSERT_TRUE(Stored(QStringLiteral("126\\A\\B"), value));
    EXPECT_FALSE(value);
    EXPECT_FALSE(Stored(QStringLiteral("125\\A\\B"), value));
    Host.SetReadVersion(1.26f);
    shown.clear();
    ShowWarning(QStringLiteral("A\\B"), QStringLiteral("nested"));
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(WarningTest, WindowIsCentredAndWrapsItsText)
{
    const QString text = QStringLiteral("Generated scripts replace the script on the DAS. ").repeated(6);
    ASSERT_TRUE(WarningForm->SetWarning(text, QStringLiteral("Long")));
    WarningForm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(WarningForm));
    const QRect frame = WarningForm->frameGeometry();
    EXPECT_EQ(frame.left(), 500 - frame.width() / 2);
    EXPECT_EQ(frame.top(), 400 - frame.height() / 2);
    EXPECT_EQ(WarningForm->size(), QSize(493, 174));
    EXPECT_GT(WarningForm->Label_Warning->height(), WarningForm->Label_Warning->fontMetrics().height());
    EXPECT_EQ(WarningForm->windowTitle(), QStringLiteral("Long"));
    WarningForm->hide();
}

}  // namespace
