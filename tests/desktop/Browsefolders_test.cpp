// The folder picker opens at its folder and returns the chosen one, or leaves it on Cancel.
#include "desktop/Browsefolders.h"

#include <gtest/gtest.h>

#include <QWidget>

#include "support/FakePrompt.h"

TEST(Browsefolders, OpensAtFolderWithTitleAndReturnsTheChoice)
{
    TFakePrompt prompt;
    QWidget owner;
    auto* browse = new TBrowseFolders(&owner);
    browse->Title = QStringLiteral("Choose Master Directory for Captured Data...");
    browse->Folder = QStringLiteral("/data/station/Data");
    prompt.QueueFolder(QStringLiteral("/data/station/Data/CTD_1"));

    EXPECT_TRUE(browse->Execute());
    EXPECT_EQ(browse->Folder, QStringLiteral("/data/station/Data/CTD_1"));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].kind, QStringLiteral("folder"));
    EXPECT_EQ(prompt.shown[0].title,
              QStringLiteral("Choose Master Directory for Captured Data..."));
    EXPECT_EQ(prompt.shown[0].text, QStringLiteral("/data/station/Data"));

    // The next time it opens at the folder chosen last.
    prompt.QueueFolder(QStringLiteral("/tmp"));
    EXPECT_TRUE(browse->Execute(&owner));
    EXPECT_EQ(prompt.shown[1].text, QStringLiteral("/data/station/Data/CTD_1"));
    EXPECT_EQ(browse->Folder, QStringLiteral("/tmp"));
}

TEST(Browsefolders, CancelLeavesFolderUnchanged)
{
    TFakePrompt prompt;
    TBrowseFolders browse;
    browse.Folder = QStringLiteral("/srv/capture");
    prompt.QueueFolder(std::nullopt);
    EXPECT_FALSE(browse.Execute());
    EXPECT_EQ(browse.Folder, QStringLiteral("/srv/capture"));

    // An empty answer is no folder either.
    prompt.QueueFolder(QString());
    EXPECT_FALSE(browse.Execute());
    EXPECT_EQ(browse.Folder, QStringLiteral("/srv/capture"));
}

TEST(Browsefolders, ChosenFolderComesBackWithoutFinalSeparator)
{
    TFakePrompt prompt;
    TBrowseFolders browse;
    prompt.QueueFolder(QStringLiteral("/srv/capture/"));
    ASSERT_TRUE(browse.Execute());
    EXPECT_EQ(browse.Folder, QStringLiteral("/srv/capture"));

    prompt.QueueFolder(QStringLiteral("/"));
    ASSERT_TRUE(browse.Execute());
    EXPECT_EQ(browse.Folder, QStringLiteral("/"));
}
