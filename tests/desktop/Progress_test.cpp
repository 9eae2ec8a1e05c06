// The transfer progress window: the bytes shown, the bar, closing when the channel idles too
// long, completeness, and Cancel.
#include "desktop/Progress.h"

#include <gtest/gtest.h>

#include <QPushButton>

#include "ToolWindowFixture.h"
#include "desktop/Dasdesktop.h"
#include "link/Host.h"

namespace {

constexpr double kMsPerDay = 86'400'000.0;

class ProgressTest : public ToolWindowTest {
protected:
    void SetUp() override
    {
        ToolWindowTest::SetUp();
        SetPcClock(QDateTime(QDate(2024, 5, 1), QTime(12, 0)));
        channel = MuxArray->AddChannel(kFileChannel);
        other = MuxArray->AddChannel(20);
        ASSERT_NE(channel, nullptr);
    }
    void TearDown() override
    {
        TDASDesktopForm::SetModalRunner({});
        ToolWindowTest::TearDown();
    }

    static void AdvancePcClock(int ms)
    {
        SetPcClock(DateTimeFromValue(NowDateTime() + ms / kMsPerDay));
    }

    TMux* channel = nullptr;
    TMux* other = nullptr;
};

TEST_F(ProgressTest, ShowsTheBytesMovedAgainstTheTotalOrAlone)
{
    auto* unknown = new TProgressForm(*channel, 2000, 0, QStringLiteral("Fetching X"),
                                      QStringLiteral("Getting File"));
    EXPECT_EQ(unknown->windowTitle(), QStringLiteral("Getting File"));
    EXPECT_EQ(unknown->BytesText(), QStringLiteral("0 bytes sent."));
    EXPECT_EQ(unknown->BarMaximum(), 2000);
    channel->SetBytesTransferred(300);
    unknown->Refresh();
    EXPECT_EQ(unknown->BytesText(), QStringLiteral("300 bytes sent."));
    EXPECT_EQ(unknown->BarValue(), 300);
    // Past the bar's end it stays full rather than falling back to the start.
    channel->SetBytesTransferred(5000);
    unknown->Refresh();
    EXPECT_EQ(unknown->BarValue(), 2000);
    EXPECT_TRUE(unknown->IsComplete());
    unknown->DestroyView();

    auto* known = new TProgressForm(*channel, 2000, 600, QString(), QString());
    EXPECT_EQ(known->BarMaximum(), 600);
    channel->SetBytesTransferred(254);
    known->Refresh();
    EXPECT_EQ(known->BytesText(), QStringLiteral("254 of 600 bytes sent."));
    EXPECT_FALSE(known->IsComplete());
    channel->SetBytesTransferred(600);
    EXPECT_TRUE(known->IsComplete());
    known->DestroyView();
}

TEST_F(ProgressTest, AnIdleChannelClosesTheWindowAndATransferWithNothingToWaitForNeverOpens)
{
    int runs = 0;
    int closes = 0;
    int closesBeforeIdle = -1;
    auto* form = new TProgressForm(*channel, 2000, 600, QString(), QString());
    QObject::connect(form, &QDialog::finished, [&closes] { ++closes; });
    TDASDesktopForm::SetModalRunner([&](QDialog&) {
        ++runs;
        channel->SetBytesTransferred(254);
        AdvancePcClock(1500);
        form->Refresh();
        closesBeforeIdle = closes;
        AdvancePcClock(600);
        form->Refresh();
        return form->result();
    });
    form->Exec();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(closesBeforeIdle, 0);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(form->IsComplete());
    form->DestroyView();

    auto* nothing = new TProgressForm(*channel, 0, 0, QString(), QString());
    nothing->Exec();
    EXPECT_EQ(runs, 1);
    nothing->DestroyView();
}

TEST_F(ProgressTest, CancelStopsTheTransferAndDropsOnlyThisChannelsBlocks)
{
    Host.SendToChannel(kFileChannel, "abc", 3);
    Host.SendToChannel(20, "keep", 4);
    Host.SendToChannel(kFileChannel, "def", 3);
    auto* form = new TProgressForm(*channel, 2000, 600, QString(), QString());
    form->findChild<QPushButton*>()->click();
    EXPECT_EQ(TakeCommands(), QStringList{"STOPTRANSFER"});
    ASSERT_EQ(SendQueue->Count(), 1);
    EXPECT_EQ(SendQueue->FirstChannel(), 20);
    form->DestroyView();
}

}  // namespace
