// The serial settings dialog: its lists, the settings texts it shows and reads back, Defaults,
// and Cancel (by button, Escape or the title bar) giving back exactly what it was given.
#include "desktop/Commsetup.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest/QTest>

#include "platform/WindowPlacement.h"
#include "support/QtHelpers.h"

namespace {

struct TReadBack {
    int baud = 0;
    QString settings;
    int flow = -7;
};

TReadBack Read(const TCommSetupForm& form)
{
    TReadBack r;
    form.GetSettings(r.baud, r.settings, r.flow);
    return r;
}

class CommSetupTest : public ::testing::Test {
protected:
    void SetUp() override { SetPlacementScreenSize(QSize(800, 600)); }
    void TearDown() override { SetPlacementScreenSize(QSize()); }
};

TEST_F(CommSetupTest, ShowsItsCaptionsAndListsCentred)
{
    TCommSetupForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Setup Communications"));
    EXPECT_EQ(form.Label_Baud->text(), QStringLiteral("Bits Per Second (Baud):"));
    EXPECT_EQ(form.Label_Parity->text(), QStringLiteral("Parity:"));
    EXPECT_EQ(form.Label_Bits->text(), QStringLiteral("Data Bits:"));
    EXPECT_EQ(form.Label_StopBits->text(), QStringLiteral("Stop Bits:"));
    EXPECT_EQ(form.Label_Flow->text(), QStringLiteral("Flow Control"));
    EXPECT_EQ(form.Button_Defaults->text(), QStringLiteral("Defaults"));
    EXPECT_EQ(form.Button_OK->text(), QStringLiteral("OK"));
    EXPECT_EQ(form.Button_Cancel->text(), QStringLiteral("Cancel"));

    EXPECT_EQ(ComboItems(form.ComboBox_Baud),
              (QStringList{"300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "28800",
                           "38400", "57600", "115200", "230400"}));
    EXPECT_EQ(ComboItems(form.ComboBox_Parity),
              (QStringList{"Even", "Odd", "None", "Space", "Mark"}));
    EXPECT_EQ(ComboItems(form.ComboBox_Bits), (QStringList{"5", "6", "7", "8"}));
    EXPECT_EQ(ComboItems(form.ComboBox_StopBits), (QStringList{"1", "1.5", "2"}));
    EXPECT_EQ(ComboItems(form.ComboBox_Flow), (QStringList{"None", "XonXoff", "Hardware"}));
    for (const QComboBox* combo : {form.ComboBox_Baud, form.ComboBox_Parity, form.ComboBox_Bits,
                                   form.ComboBox_StopBits, form.ComboBox_Flow}) {
        EXPECT_FALSE(combo->isEditable());
    }

    const QRect frame = form.frameGeometry();
    EXPECT_EQ(frame.left(), 400 - frame.width() / 2);
    EXPECT_EQ(frame.top(), 300 - frame.height() / 2);
}

TEST_F(CommSetupTest, EverySettingsTextRoundTrips)
{
    TCommSetupForm form;
    const QStringList parities = {"Even", "Odd", "None", "Space", "Mark"};
    for (const QString& parity : parities) {
        for (const char* bits : {"5", "6", "7", "8"}) {
            for (const char* stop : {"1", "1.5", "2"}) {
                const QString text = parity.left(1) + "," + bits + "," + stop;
                for (int flow = 0; flow <= 2; ++flow) {
                    form.SetSettings(38400, text, flow);
                    EXPECT_EQ(form.ComboBox_Parity->currentText(), parity) << text.toStdString();
                    EXPECT_EQ(form.ComboBox_Bits->currentText(), QString::fromLatin1(bits));
                    EXPECT_EQ(form.ComboBox_StopBits->currentText(), QString::fromLatin1(stop));
                    const TReadBack r = Read(form);
                    EXPECT_EQ(r.baud, 38400);
                    EXPECT_EQ(r.settings, text);
                    EXPECT_EQ(r.flow, flow);
                }
            }
        }
    }
    // Blanks after the stop bits, as a settings buffer may hold them, still match.
    form.SetSettings(9600, QStringLiteral("E,7,1  "), 0);
    EXPECT_EQ(form.ComboBox_StopBits->currentText(), QStringLiteral("1"));
    EXPECT_EQ(Read(form).settings, QStringLiteral("E,7,1"));
}

TEST_F(CommSetupTest, ChoicesAreReadBackAndDefaultsAreNineSixHundredN81)
{
    TCommSetupForm form;
    form.SetSettings(300, QStringLiteral("M,5,2"), 1);
    form.ComboBox_Baud->setCurrentIndex(form.ComboBox_Baud->findText("28800"));
    form.ComboBox_Parity->setCurrentIndex(form.ComboBox_Parity->findText("Space"));
    form.ComboBox_Bits->setCurrentIndex(form.ComboBox_Bits->findText("7"));
    form.ComboBox_StopBits->setCurrentIndex(form.ComboBox_StopBits->findText("1.5"));
    form.ComboBox_Flow->setCurrentIndex(2);
    TReadBack r = Read(form);
    EXPECT_EQ(r.baud, 28800);
    EXPECT_EQ(r.settings, QStringLiteral("S,7,1.5"));
    EXPECT_EQ(r.flow, 2);

    QTest::mouseClick(form.Button_Defaults, Qt::LeftButton);
    QTest::mouseClick(form.Button_OK, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    r = Read(form);
    EXPECT_EQ(r.baud, 9600);
    EXPECT_EQ(r.settings, QStringLiteral("N,8,1"));
    EXPECT_EQ(r.flow, 0);
}

TEST_F(CommSetupTest, CancelEscapeAndCloseGiveBackWhatWasGiven)
{
    TCommSetupForm form;
    const auto editEverything = [&form] {
        form.ComboBox_Baud->setCurrentIndex(0);
        form.ComboBox_Parity->setCurrentIndex(0);
        form.ComboBox_Bits->setCurrentIndex(0);
        form.ComboBox_StopBits->setCurrentIndex(1);
        form.ComboBox_Flow->setCurrentIndex(0);
    };
    form.SetSettings(19200, QStringLiteral("O,7,2"), 2);
    editEverything();
    QTest::mouseClick(form.Button_Cancel, Qt::LeftButton);
    TReadBack r = Read(form);
    EXPECT_EQ(r.baud, 19200);
    EXPECT_EQ(r.settings, QStringLiteral("O,7,2"));
    EXPECT_EQ(r.flow, 2);

    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.SetSettings(57600, QStringLiteral("E,8,1"), 1);
    editEverything();
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    r = Read(form);
    EXPECT_EQ(r.baud, 57600);
    EXPECT_EQ(r.settings, QStringLiteral("E,8,1"));
    EXPECT_EQ(r.flow, 1);

    form.show();
    form.SetSettings(1200, QStringLiteral("N,6,1"), 0);
    editEverything();
    form.close();
    r = Read(form);
    EXPECT_EQ(r.baud, 1200);
    EXPECT_EQ(r.settings, QStringLiteral("N,6,1"));
    EXPECT_EQ(r.flow, 0);
}

TEST_F(CommSetupTest, ValuesMissingFromTheListsAreKeptNotReplaced)
{
    TCommSetupForm form;
    // A hand-edited station may hold a rate the list lacks: nothing is chosen, and neither
    // reading back nor Cancel turns it into another rate.
    form.SetSettings(1234, QStringLiteral("N,8,1"), 0);
    EXPECT_EQ(form.ComboBox_Baud->currentIndex(), -1);
    EXPECT_EQ(Read(form).baud, 1234);
    form.ComboBox_Parity->setCurrentIndex(0);
    form.Button_CancelClick();
    EXPECT_EQ(form.ComboBox_Baud->currentIndex(), -1);
    TReadBack r = Read(form);
    EXPECT_EQ(r.baud, 1234);
    EXPECT_EQ(r.settings, QStringLiteral("N,8,1"));

    // Short or odd settings texts select what they can and read back whole texts.
    form.SetSettings(250000, QStringLiteral("N,8"), 0);
    EXPECT_EQ(form.ComboBox_StopBits->currentIndex(), -1);
    EXPECT_EQ(Read(form).settings, QStringLiteral("N,8,1"));
    form.SetSettings(9600, QString(), 0);
    EXPECT_EQ(form.ComboBox_Parity->currentIndex(), -1);
    EXPECT_EQ(Read(form).settings, QStringLiteral("N,8,1"));
    form.SetSettings(9600, QStringLiteral("X,9,3"), 5);
    r = Read(form);
    EXPECT_EQ(r.settings, QStringLiteral("X,9,3"));
    EXPECT_EQ(r.flow, 5);
}

TEST_F(CommSetupTest, FlowControlIsShownOnlyWhenAskedFor)
{
    TCommSetupForm form;
    // Before any SetSettings the remembered flow is "none", so a Cancel after a first fill
    // without flow puts back a real choice.
    form.SetSettingsNoFlow(4800, QStringLiteral("E,7,1"));
    EXPECT_TRUE(form.Label_Flow->isHidden());
    EXPECT_TRUE(form.ComboBox_Flow->isHidden());
    form.Button_CancelClick();
    EXPECT_EQ(Read(form).flow, 0);

    form.SetSettings(4800, QStringLiteral("E,7,1"), 2);
    EXPECT_FALSE(form.Label_Flow->isHidden());
    EXPECT_FALSE(form.ComboBox_Flow->isHidden());
    // Without flow the remembered flow stays what the last fill with flow gave.
    form.SetSettingsNoFlow(9600, QStringLiteral("N,8,1"));
    EXPECT_TRUE(form.ComboBox_Flow->isHidden());
    form.ComboBox_Flow->setCurrentIndex(0);
    form.Button_CancelClick();
    int baud = 0;
    QString settings;
    form.GetSettingsNoFlow(baud, settings);
    EXPECT_EQ(baud, 9600);
    EXPECT_EQ(settings, QStringLiteral("N,8,1"));
    EXPECT_EQ(Read(form).flow, 2);
}

}  // namespace
