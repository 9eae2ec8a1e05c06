// The shared Window menu: which windows it lists and in what order, rebuilding on show and
// hide, cascading, and bringing windows back from an entry.
#include "desktop/WinMenuItem.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QtTest/QTest>
#include <memory>
#include <vector>

#include "platform/WindowPlacement.h"
#include "support/QtHelpers.h"

namespace {

// A window with a main menu "&File", "&Help" and its Window menu between them.
struct TMenuWindow {
    explicit TMenuWindow(const QString& caption) : window(std::make_unique<QMainWindow>())
    {
        window->setWindowTitle(caption);
        window->resize(200, 150);
        window->menuBar()->addMenu(QStringLiteral("&File"));
        window->menuBar()->addMenu(QStringLiteral("&Help"));
        menu = new TWindowsMenuItem(window.get(), window->menuBar());
    }
    std::unique_ptr<QMainWindow> window;
    TWindowsMenuItem* menu = nullptr;
};

QStringList Entries(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return texts;
}

QStringList Listing(std::initializer_list<const char*> captions)
{
    QStringList texts{QStringLiteral("&Cascade"), QStringLiteral("-")};
    for (const char* caption : captions) {
        texts << QString::fromUtf8(caption);
    }
    return texts;
}

bool Activate(QWidget* window)
{
    window->activateWindow();
    return WaitUntil([window] { return QApplication::activeWindow() == window; });
}

QAction* EntryNamed(const QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

class WinMenuItem : public ::testing::Test {
protected:
    void SetUp() override { WindowsList = new TWindowsList; }
    void TearDown() override
    {
        windows.clear();
        delete WindowsList;
        SetPlacementScreenSize(QSize());
    }
    TMenuWindow& Show(const char* caption)
    {
        windows.push_back(std::make_unique<TMenuWindow>(QString::fromUtf8(caption)));
        TMenuWindow& w = *windows.back();
        w.window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.window.get()));
        EXPECT_TRUE(Activate(w.window.get()));
        return w;
    }
    std::vector<std::unique_ptr<TMenuWindow>> windows;
};

}  // namespace

TEST_F(WinMenuItem, SitsBeforeTheLastTopLevelEntry)
{
    TMenuWindow w("Main");
    QStringList top;
    for (const QAction* action : w.window->menuBar()->actions()) {
        top << action->text();
    }
    EXPECT_EQ(top, (QStringList{"&File", "&Window", "&Help"}));
    EXPECT_EQ(WindowsList->Count(), 1);

    QMenuBar empty;
    TWindowsMenuItem alone(&empty);
    alone.InsertInto(&empty);
    ASSERT_EQ(empty.actions().size(), 1);
    EXPECT_EQ(empty.actions()[0]->text(), QStringLiteral("&Window"));
}

TEST_F(WinMenuItem, ListsOtherOpenWindowsMostRecentlyActivatedFirst)
{
    TMenuWindow& a = Show("Alpha");
    TMenuWindow& b = Show("Bravo");
    TMenuWindow& c = Show("Charlie");
    WindowsList->UpdateMenus();
    EXPECT_EQ(Entries(a.menu), Listing({"Charlie", "Bravo"}));
    EXPECT_EQ(Entries(b.menu), Listing({"Charlie", "Alpha"}));
    EXPECT_EQ(Entries(c.menu), Listing({"Bravo", "Alpha"}));

    ASSERT_TRUE(Activate(a.window.get()));
    WindowsList->UpdateMenus();
    EXPECT_EQ(Entries(b.menu), Listing({"Alpha", "Charlie"}));
    EXPECT_EQ(Entries(c.menu), Listing({"Alpha", "Bravo"}));
}

TEST_F(WinMenuItem, ShowingAndHidingRebuildsEveryMenu)
{
    TMenuWindow& a = Show("Alpha");
    TMenuWindow& b = Show("Bravo");
    EXPECT_EQ(Entries(a.menu), Listing({"Bravo"}));

    b.window->hide();
    EXPECT_EQ(Entries(a.menu), Listing({}));
    EXPECT_EQ(Entries(b.menu), Listing({"Alpha"}));

    // A window without a Window menu of its own is listed as well.
    QMainWindow console;
    console.setWindowTitle(QStringLiteral("Console"));
    console.show();
    b.window->show();
    EXPECT_EQ(Entries(a.menu).mid(2).contains(QStringLiteral("Console")), true);
    EXPECT_EQ(Entries(a.menu).contains(QStringLiteral("Bravo")), true);

    // Opening a menu refreshes it even when only a menu-less window changed.
    console.hide();
    Q_EMIT a.menu->aboutToShow();
    EXPECT_FALSE(Entries(a.menu).contains(QStringLiteral("Console")));
}

TEST_F(WinMenuItem, DisabledWindowIsNeitherListedNorCascaded)
{
    SetPlacementScreenSize(QSize(1280, 1024));
    TMenuWindow& a = Show("Alpha");
    TMenuWindow& b = Show("Bravo");
    TMenuWindow& c = Show("Charlie");
    b.window->setEnabled(false);
    b.window->move(300, 300);
    WindowsList->UpdateMenus();
    EXPECT_EQ(Entries(a.menu), Listing({"Charlie"}));

    WindowsList->CascadeClick();
    EXPECT_EQ(a.window->pos(), QPoint(0, 0));
    EXPECT_EQ(c.window->pos(), QPoint(40, 40));
    EXPECT_EQ(b.window->pos(), QPoint(300, 300));
}

TEST_F(WinMenuItem, CascadeStepsAThirtySecondOfTheScreenWidthFromTheLastWindow)
{
    SetPlacementScreenSize(QSize(1280, 720));
    TMenuWindow& a = Show("Alpha");
    TMenuWindow& b = Show("Bravo");
    TMenuWindow& c = Show("Charlie");
    TMenuWindow& hidden = Show("Delta");
    hidden.window->hide();
    hidden.window->move(500, 500);
    c.window->showMaximized();
    ASSERT_TRUE(Activate(c.window.get()));

    // Clicked through the menu, as the operator does.
    QAction* cascade = EntryNamed(b.menu, QStringLiteral("&Cascade"));
    ASSERT_NE(cascade, nullptr);
    cascade->trigger();

    // Form list: Charlie, Bravo, Alpha (Delta hidden); the walk starts at its end.
    EXPECT_EQ(a.window->pos(), QPoint(0, 0));
    EXPECT_EQ(b.window->pos(), QPoint(40, 40));
    EXPECT_EQ(c.window->pos(), QPoint(80, 80));
    EXPECT_FALSE(c.window->isMaximized());
    EXPECT_EQ(hidden.window->pos(), QPoint(500, 500));
    // The first window of the list is focused last.
    EXPECT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == c.window.get(); }));
}

TEST_F(WinMenuItem, EntryBringsBackEveryWindowOfThatCaption)
{
    TMenuWindow& main = Show("Main");
    TMenuWindow& first = Show("Info &Channel");
    TMenuWindow& second = Show("info channel");
    first.window->showMinimized();
    ASSERT_TRUE(Activate(main.window.get()));
    WindowsList->UpdateMenus();

    QAction* entry = EntryNamed(main.menu, QStringLiteral("Info &Channel"));
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    EXPECT_FALSE(first.window->isMinimized());
    EXPECT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == second.window.get(); }));

    EXPECT_TRUE(SameCaption(QStringLiteral("Info &Channel"), QStringLiteral("INFO CHANNEL")));
    EXPECT_TRUE(SameCaption(QStringLiteral("R&&D"), QStringLiteral("r&&d")));
    EXPECT_FALSE(SameCaption(QStringLiteral("R&&D"), QStringLiteral("RD")));
    EXPECT_FALSE(SameCaption(QStringLiteral("Channel 1"), QStringLiteral("Channel 10")));
}

TEST_F(WinMenuItem, DestroyedWindowLeavesTheListAndTheMenus)
{
    TMenuWindow& a = Show("Alpha");
    Show("Bravo");
    ASSERT_EQ(WindowsList->Count(), 2);
    EXPECT_EQ(Entries(a.menu), Listing({"Bravo"}));

    windows.pop_back();
    EXPECT_EQ(WindowsList->Count(), 1);
    EXPECT_EQ(Entries(a.menu), Listing({}));
    WindowsList->UpdateMenus();
    WindowsList->CascadeClick();
    EXPECT_EQ(Entries(a.menu), Listing({}));
}

TEST_F(WinMenuItem, MenusOutliveTheList)
{
    TMenuWindow& a = Show("Alpha");
    delete WindowsList;
    EXPECT_EQ(WindowsList, nullptr);
    a.window->hide();
    a.window->show();
    TMenuWindow late("Late");
    EXPECT_EQ(late.menu->title(), QStringLiteral("&Window"));
}
