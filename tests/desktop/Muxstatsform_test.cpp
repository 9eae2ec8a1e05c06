// The multiplexer statistics window: a report on the statistics channel replaces the last one
// and shows the window, which lists itself in the other windows' Window menus.
#include "desktop/Muxstatsform.h"

#include <gtest/gtest.h>

#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>

#include "DesktopFixture.h"
#include "desktop/Dasdesktop.h"
#include "desktop/WinMenuItem.h"
#include "link/Das.h"
#include "support/das/DasStatus.h"

namespace {

class MuxStatsTest : public DesktopFixture {};

TEST_F(MuxStatsTest, TheDasReportReplacesTheLastOneAndShowsTheWindow)
{
    TDASDesktopForm& f = Start();
    ASSERT_NE(FrmMuxStats, nullptr);
    EXPECT_EQ(FrmMuxStats->windowTitle(), QStringLiteral("DAS Multiplexer Statistics"));
    EXPECT_FALSE(FrmMuxStats->isVisible());

    // Lines on channel 252 as the DAS sends them, a report beginning with "A".
    const auto feed = [&f](const QByteArray& bytes) {
        f.OnStatusChannelData(kMuxStatsChannel, bytes.constData(), static_cast<int>(bytes.size()));
    };
    feed("A stats\r\nb\r\n");
    EXPECT_TRUE(FrmMuxStats->isVisible());
    feed("A new\r\n");
    EXPECT_EQ(FrmMuxStats->Lines(), QStringList{"A new"});

    // The View menu's request gets the stand-in's report through the link.
    const TDasStatus status(console);
    FrmMuxStats->hide();
    Trigger("ShowDASStatistics");
    ASSERT_TRUE(WaitUntil([] { return FrmMuxStats->isVisible(); }));
    ASSERT_TRUE(WaitUntil([] { return FrmMuxStats->Lines().size() > 2; }));
    EXPECT_TRUE(FrmMuxStats->Lines().first().startsWith(QLatin1Char('A')));

    // Shown, it is listed in the main window's Window menu, and has one of its own.
    f.WindowMenu()->Rebuild(TScreenForms::Instance().Forms());
    QStringList entries;
    for (QAction* a : f.WindowMenu()->actions()) {
        entries << a->text();
    }
    EXPECT_TRUE(entries.contains(QStringLiteral("DAS Multiplexer Statistics")));
    QStringList menus;
    for (QAction* a : FrmMuxStats->menuBar()->actions()) {
        menus << a->text();
    }
    EXPECT_EQ(menus, QStringList{"&Window"});
    FrmMuxStats->hide();
}

}  // namespace
