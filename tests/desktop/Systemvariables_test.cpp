// The system variables window: reading the DAS's listing, the "Set" commands OK sends for what
// changed, the defaults a hide restores, and the advanced size; and the DAS menu's power-up
// options against the DAS stand-in.
#include "desktop/Systemvariables.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DesktopFixture.h"
#include "ToolWindowFixture.h"
#include "support/das/DasSystem.h"

namespace {

class SysVarTest : public ToolWindowTest {
protected:
    void TearDown() override
    {
        form.hide();
        ToolWindowTest::TearDown();
    }

    void Feed(const QByteArray& bytes)
    {
        form.ReceiveListing(bytes.constData(), static_cast<int>(bytes.size()));
    }

    TSystemVarForm form;
};

TEST_F(SysVarTest, ShowsTheListingAndSendsOnlyWhatChanged)
{
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Pelagrix Power-up Options"));
    EXPECT_EQ(form.Label_DASWarning->text(),
              QStringLiteral("Changes take effect after DAS is powered down or reset."));
    EXPECT_TRUE(form.Label_DASWarning->font().bold());
    EXPECT_EQ(form.CheckBox_AUTORUN->text(),
              QStringLiteral("Run script automatically upon power-up"));
    EXPECT_EQ(form.Button_Advanced->text(), QStringLiteral("Advanced --->"));

    // A listing split anywhere, the prompt line first: the window shows with the first
    // variable.
    Feed("PX1234>");
    Feed("\r\n");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.LastPrompt(), QStringLiteral("PX1234>"));
    Feed("INITSCRIPT=TEST.PXS\r\nAUTO");
    EXPECT_TRUE(form.isVisible());
    Feed("RUN=1\r\nSWITCH.SLEEP=0\r\nHOST.BAUD=115200\r\nSCB.13=7\r\nNOVARTYPE=2\r\n");
    EXPECT_EQ(form.Edit_INITSCRIPT->text(), QStringLiteral("TEST.PXS"));
    EXPECT_TRUE(form.CheckBox_AUTORUN->isChecked());
    EXPECT_FALSE(form.CheckBox_SWITCH_SLEEP->isChecked());
    EXPECT_TRUE(form.CheckBox_SWITCH_SCRIPT->isChecked());
    EXPECT_EQ(form.Edit_HOST_BAUD->text(), QStringLiteral("115200"));
    EXPECT_EQ(form.LastValue(QStringLiteral("AUTORUN")), QStringLiteral("1"));

    // Nothing changed: nothing is sent (the unlisted SWITCH.SCRIPT counts as unchanged).
    form.Button_OK->click();
    EXPECT_TRUE(TakeCommands().isEmpty());
    EXPECT_FALSE(form.isVisible());

    Feed("INITSCRIPT=TEST.PXS\r\nHOST.BAUD=115200\r\nSWITCH.SCRIPT=1\r\n");
    form.Edit_HOST_BAUD->setText(QStringLiteral("9600"));
    form.Edit_INITSCRIPT->setText(QStringLiteral("RUN.PXS"));
    form.CheckBox_SWITCH_SCRIPT->setChecked(false);
    form.Button_OK->click();
    // In table order; AUTORUN was not listed this time, so its unticked box is sent too.
    EXPECT_EQ(TakeCommands(), (QStringList{"PicoDos \"Set INITSCRIPT=RUN.PXS \"",
                                           "PicoDos \"Set AUTORUN=0 \"",
                                           "PicoDos \"Set SWITCH.SCRIPT=0 \"",
                                           "PicoDos \"Set HOST.BAUD=9600 \""}));
}

TEST_F(SysVarTest, SwitchesReadBackAsTheProgramWroteThem)
{
    // Nothing listed: only the unticked AUTORUN differs from its empty last value.
    form.show();
    form.Button_OK->click();
    EXPECT_EQ(TakeCommands(), QStringList{"PicoDos \"Set AUTORUN=0 \""});

    // A ticked switch is written empty and listed back empty: still ticked, still unchanged.
    Feed("SWITCH.SLEEP=0\r\nSWITCH.SCRIPT=0\r\nAUTORUN=1\r\n");
    EXPECT_FALSE(form.CheckBox_SWITCH_SLEEP->isChecked());
    form.CheckBox_SWITCH_SLEEP->setChecked(true);
    form.Button_OK->click();
    EXPECT_EQ(TakeCommands(), QStringList{"PicoDos \"Set SWITCH.SLEEP= \""});
    Feed("AUTORUN=1\r\nSWITCH.SLEEP=\r\nSWITCH.SCRIPT=\r\nPX>\r\n");
    EXPECT_TRUE(form.CheckBox_SWITCH_SLEEP->isChecked());
    EXPECT_TRUE(form.CheckBox_SWITCH_SCRIPT->isChecked());
    form.Button_OK->click();
    EXPECT_TRUE(TakeCommands().isEmpty());

    // A switch listed as 1 is ticked; OK writes the ticked state's own value (nothing).
    Feed("SWITCH.SLEEP=1\r\nAUTORUN=0\r\n");
    EXPECT_TRUE(form.CheckBox_SWITCH_SLEEP->isChecked());
    form.Button_OK->click();
    EXPECT_EQ(TakeCommands(), QStringList{"PicoDos \"Set SWITCH.SLEEP= \""});
    Feed("SWITCH.SLEEP=1\r\nAUTORUN=0\r\n");
    form.CheckBox_SWITCH_SLEEP->setChecked(false);
    form.Button_OK->click();
    EXPECT_EQ(TakeCommands(), QStringList{"PicoDos \"Set SWITCH.SLEEP=0 \""});

    // Names are matched exactly: "autorun" is no variable of the table.
    Feed("autorun=1\r\nPX=3\r\n");
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.CheckBox_AUTORUN->isChecked());
    form.Button_Cancel->click();
    EXPECT_TRUE(TakeCommands().isEmpty());
}

TEST_F(SysVarTest, HidingRestoresTheDefaults)
{
    Feed("INITSCRIPT=A.PXS\r\nAUTORUN=1\r\nSWITCH.SLEEP=0\r\nSWITCH.SCRIPT=0\r\nPRSCALE=2.5\r\n");
    form.hide();
    EXPECT_TRUE(form.Edit_INITSCRIPT->text().isEmpty());
    EXPECT_TRUE(form.Edit_PRSCALE->text().isEmpty());
    EXPECT_FALSE(form.CheckBox_AUTORUN->isChecked());
    EXPECT_TRUE(form.CheckBox_SWITCH_SLEEP->isChecked());
    EXPECT_TRUE(form.CheckBox_SWITCH_SCRIPT->isChecked());
    EXPECT_TRUE(form.LastValue(QStringLiteral("PRSCALE")).isEmpty());
}

TEST_F(SysVarTest, AWholeListingAsTheDasSendsItAndWhatOkSetsFromIt)
{
    Feed("\r\nINITSCRIPT=DEPLOY.PXS\r\nAUTORUN=1\r\nSWITCH.SCRIPT=0\r\nHOST.BAUD=115200\r\n"
         "HOST.PROTO=1\r\nINFO.VERBOSE=0\r\nINFO.DEST=HOST\r\nWAKECHAR=3\r\nWAKECHANNEL=0\r\n"
         "SCB.13=255\r\nPRSCALE=1.0\r\nPROFFSET=0.0\r\nPX1>");
    ASSERT_TRUE(form.isVisible());
    EXPECT_EQ(form.Edit_INITSCRIPT->text(), QStringLiteral("DEPLOY.PXS"));
    EXPECT_TRUE(form.CheckBox_AUTORUN->isChecked());
    EXPECT_TRUE(form.CheckBox_SWITCH_SLEEP->isChecked());
    EXPECT_FALSE(form.CheckBox_SWITCH_SCRIPT->isChecked());
    const std::pair<QLineEdit*, const char*> edits[] = {
        {form.Edit_HOST_BAUD, "115200"}, {form.Edit_HOST_PROTO, "1"},
        {form.Edit_INFO_VERBOSE, "0"},   {form.Edit_INFO_DEST, "HOST"},
        {form.Edit_WAKECHAR, "3"},       {form.Edit_WAKECHANNEL, "0"},
        {form.Edit_PRSCALE, "1.0"},      {form.Edit_PROFFSET, "0.0"}};
    for (const auto& [edit, value] : edits) {
        EXPECT_EQ(edit->text(), QLatin1String(value)) << edit->objectName().toStdString();
    }
    // The prompt waits for its line end.
    EXPECT_TRUE(form.LastPrompt().isEmpty());

    form.CheckBox_AUTORUN->setChecked(false);
    form.CheckBox_SWITCH_SCRIPT->setChecked(true);
    form.Edit_WAKECHAR->setText(QStringLiteral("4"));
    form.Button_OK->click();
    EXPECT_EQ(TakeCommands(), (QStringList{"PicoDos \"Set AUTORUN=0 \"",
                                           "PicoDos \"Set SWITCH.SCRIPT= \"",
                                           "PicoDos \"Set WAKECHAR=4 \""}));
    EXPECT_FALSE(form.isVisible());
}

TEST_F(SysVarTest, AnOverlongLineIsDroppedWholeHoweverManyChunksItSpans)
{
    // In packets of 254 bytes: the line's tail in the third packet is no variable of its own.
    const QByteArray overlong =
        "INITSCRIPT=" + QByteArray(497, 'x') + "WAKECHAR=9\r\nWAKECHANNEL=2\r\n";
    for (qsizetype at = 0; at < overlong.size(); at += 254) {
        Feed(overlong.mid(at, 254));
    }
    EXPECT_TRUE(form.Edit_WAKECHAR->text().isEmpty());
    EXPECT_TRUE(form.Edit_INITSCRIPT->text().isEmpty());
    EXPECT_EQ(form.Edit_WAKECHANNEL->text(), QStringLiteral("2"));

    // Its end alone in a chunk; the next chunk starts a line of its own.
    Feed(QByteArray(300, 'x'));
    Feed(QByteArray(40, 'x') + "AUTORUN=1");
    Feed("\r\n");
    EXPECT_FALSE(form.CheckBox_AUTORUN->isChecked());
    Feed("AUTORUN=1\r\n");
    EXPECT_TRUE(form.CheckBox_AUTORUN->isChecked());

    // Within one chunk too.
    Feed(QByteArray(260, 'y') + "AUTORUN=0\r\nWAKECHAR=3\r\n");
    EXPECT_TRUE(form.CheckBox_AUTORUN->isChecked());
    EXPECT_EQ(form.Edit_WAKECHAR->text(), QStringLiteral("3"));

    // A chunk longer than the buffer loses none of its lines.
    QByteArray listing;
    for (int i = 0; i < 30; ++i) {
        listing += "WAKECHANNEL=" + QByteArray::number(i) + "\r\n";
    }
    Feed(listing + "PROFFSET=-1.5\r\n");
    EXPECT_EQ(form.Edit_WAKECHANNEL->text(), QStringLiteral("29"));
    EXPECT_EQ(form.Edit_PROFFSET->text(), QStringLiteral("-1.5"));
}

TEST_F(SysVarTest, HostileListingLinesChangeOnlyTheVariablesTheyName)
{
    Feed("INITSCRIPT=A.PXS\r\nWAKECHAR=3\r\n");
    QByteArray binary;
    for (int i = 0; i < 20000; ++i) {
        binary += static_cast<char>((i * 83 + 1) % 256);
    }
    const QList<QByteArray> hostile = {
        QByteArray(),
        QByteArray("\0\0=\0\r\n", 6),
        "=\r\n==\r\n=INITSCRIPT\r\n",
        "INITSCRIPT\r\ninitscript=lower.pxs\r\n INITSCRIPT=B.PXS\r\n",
        QByteArray("WAKECHAR\0=9\r\n", 13),
        "AUTORUN=99999999999999999999\r\nAUTORUN=-\r\n",
        binary,
        "\r\n",
    };
    for (const QByteArray& chunk : hostile) {
        Feed(chunk);
    }
    EXPECT_EQ(form.Edit_INITSCRIPT->text(), QStringLiteral("A.PXS"));
    EXPECT_EQ(form.Edit_WAKECHAR->text(), QStringLiteral("3"));
    EXPECT_FALSE(form.CheckBox_AUTORUN->isChecked());

    // A value that reads like markup is a value like any other; nothing changed, nothing sent.
    Feed("INITSCRIPT=<b>x</b>\r\n");
    EXPECT_EQ(form.Edit_INITSCRIPT->text(), QStringLiteral("<b>x</b>"));
    TakeCommands();
    form.Button_OK->click();
    EXPECT_TRUE(TakeCommands().filter(QStringLiteral("INITSCRIPT")).isEmpty());
}

TEST_F(SysVarTest, ValuesTheDasWouldGetMangledAreRefused)
{
    Feed("INITSCRIPT=A.PXS\r\n");
    form.Edit_INITSCRIPT->setText(QStringLiteral("SAY \"HI\".PXS"));
    form.Button_OK->click();
    EXPECT_TRUE(TakeCommands().isEmpty());
    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text,
              QStringLiteral("The value of INITSCRIPT cannot hold a double quote."));

    // PicoDos "Set INITSCRIPT=<value> " must fit the 99 characters of a console command.
    form.Edit_INITSCRIPT->setText(QString(99 - 25, QLatin1Char('S')));
    form.CheckBox_AUTORUN->setChecked(true);
    form.Button_OK->click();
    EXPECT_TRUE(TakeCommands().isEmpty());
    EXPECT_EQ(prompt.shown.back().text,
              QStringLiteral("The value of INITSCRIPT is too long to send to the DAS."));
    form.Edit_INITSCRIPT->setText(QString(99 - 26, QLatin1Char('S')));
    form.Button_OK->click();
    const QStringList sent = TakeCommands();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].size(), 99);
    EXPECT_TRUE(sent[0].endsWith(QStringLiteral("S \"")));
}

TEST_F(SysVarTest, AdvancedShowsTheOtherOptionsAndBack)
{
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QSize compact = form.size();
    EXPECT_EQ(compact, form.CompactSize());
    EXPECT_GE(compact.width(), 414);
    EXPECT_GE(compact.height(), 165);
    EXPECT_GE(form.Button_Advanced->y(), 129);
    EXPECT_GE(form.Edit_HOST_BAUD->y(), compact.height());

    form.Button_Advanced->click();
    const QRect edit = form.Edit_PROFFSET->geometry();
    const QRect button = form.Button_Advanced->geometry();
    EXPECT_EQ(form.size(),
              QSize(edit.left() + compact.width() + edit.width() - button.left() - button.width(),
                    edit.top() + compact.height() - button.top()));
    EXPECT_GT(form.height(), edit.bottom());
    EXPECT_GT(form.width(), edit.right());
    form.Button_Advanced->click();
    EXPECT_EQ(form.size(), compact);

    // Shown again, it starts compact.
    form.Button_Advanced->click();
    form.hide();
    form.show();
    EXPECT_EQ(form.size(), compact);
}

class SysVarDemoTest : public DesktopFixture {};

TEST_F(SysVarDemoTest, TheDasListingOpensTheWindowAndOkSetsWhatChanged)
{
    const TDasSystem system(console);
    Start();
    Trigger("Desktop_SetupSysVars");
    ASSERT_TRUE(WaitUntil([] { return SystemVarForm->isVisible(); }));
    ASSERT_TRUE(WaitUntil([] { return SystemVarForm->LastPrompt() == QStringLiteral("PX>"); }));
    TSystemVarForm& f = *SystemVarForm;
    EXPECT_FALSE(f.CheckBox_AUTORUN->isChecked());
    EXPECT_TRUE(f.CheckBox_SWITCH_SLEEP->isChecked());
    EXPECT_TRUE(f.CheckBox_SWITCH_SCRIPT->isChecked());
    EXPECT_EQ(f.Edit_HOST_BAUD->text(), QStringLiteral("115200"));
    EXPECT_EQ(f.Edit_INFO_DEST->text(), QStringLiteral("HOST"));
    EXPECT_EQ(f.Edit_PRSCALE->text(), QStringLiteral("1.000"));

    f.Edit_INITSCRIPT->setText(QStringLiteral("CTD.PXS"));
    f.CheckBox_AUTORUN->setChecked(true);
    f.CheckBox_SWITCH_SLEEP->setChecked(false);
    f.Edit_HOST_BAUD->setText(QStringLiteral("9600"));
    f.Button_OK->click();
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(WaitUntil([&system] {
        return system.Variable(QStringLiteral("HOST.BAUD")) == QStringLiteral("9600");
    }, 10000));
    EXPECT_EQ(system.Variable(QStringLiteral("INITSCRIPT")), QStringLiteral("CTD.PXS"));
    EXPECT_EQ(system.Variable(QStringLiteral("AUTORUN")), QStringLiteral("1"));
    EXPECT_EQ(system.Variable(QStringLiteral("SWITCH.SLEEP")), QStringLiteral("0"));

    // The magnetic switch ticked again, then OK twice with nothing changed: it stays on.
    const auto relist = [this, &f] {
        Trigger("Desktop_SetupSysVars");
        return WaitUntil([&f] { return f.isVisible() && f.LastPrompt() == QStringLiteral("PX>"); });
    };
    ASSERT_TRUE(relist());
    EXPECT_FALSE(f.CheckBox_SWITCH_SLEEP->isChecked());
    f.CheckBox_SWITCH_SLEEP->setChecked(true);
    f.Button_OK->click();
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(relist());
        EXPECT_TRUE(f.CheckBox_SWITCH_SLEEP->isChecked());
        f.Button_OK->click();
    }
    ASSERT_TRUE(relist());
    EXPECT_TRUE(f.CheckBox_SWITCH_SLEEP->isChecked());
    EXPECT_TRUE(system.Variable(QStringLiteral("SWITCH.SLEEP")).isEmpty());
    EXPECT_EQ(console.Texts().filter(QStringLiteral("Set SWITCH.SLEEP")).size(), 2);
}

}  // namespace
