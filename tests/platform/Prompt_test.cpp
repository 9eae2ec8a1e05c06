#include "platform/Prompt.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <future>
#include <thread>

#include "platform/UiPost.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"

TEST(FakePrompt, RecordsEveryTextShownInOrder)
{
    TFakePrompt prompt;
    ShowMessage(QStringLiteral("Configuration saved"));
    MessageDlg(QStringLiteral("Capture Error on Host Channel# 12"), QStringLiteral("Disk full"),
               TMsgButtons::Ok, TMsgIcon::Error);
    EXPECT_EQ(prompt.Messages(),
              QStringList({QStringLiteral("Wendrok: Configuration saved"),
                           QStringLiteral("Capture Error on Host Channel# 12: Disk full")}));
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[1].kind, QStringLiteral("message"));
}

TEST(FakePrompt, AnswersFromItsQueuesInOrder)
{
    TFakePrompt prompt;
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    prompt.QueueMessageAnswer(TMsgResult::No);
    prompt.QueueMessageAnswer(TMsgResult::Retry);
    EXPECT_TRUE(AskYesNo(QStringLiteral("Exit"), QStringLiteral("Really?")));
    EXPECT_FALSE(AskYesNo(QStringLiteral("Exit"), QStringLiteral("Really?")));
    EXPECT_EQ(MessageDlg(QStringLiteral("Port"), QStringLiteral("Busy"), TMsgButtons::RetryCancel),
              TMsgResult::Retry);

    prompt.QueueInput(QStringLiteral("COM3"));
    prompt.QueueInput(std::nullopt);
    QString value = QStringLiteral("COM1");
    EXPECT_TRUE(Prompt().InputQuery(QStringLiteral("Port"), QStringLiteral("Port:"), value));
    EXPECT_EQ(value, QStringLiteral("COM3"));
    EXPECT_FALSE(Prompt().InputQuery(QStringLiteral("Port"), QStringLiteral("Port:"), value));
    EXPECT_EQ(value, QStringLiteral("COM3")) << "Cancel leaves the value alone";

    prompt.QueueFile(QStringLiteral("/tmp/a.das"));
    prompt.QueueFile(std::nullopt);
    TFileDialogOptions options;
    options.title = QStringLiteral("Open Configuration");
    options.filter = QStringLiteral("Configuration (*.das)|*.das");
    options.defaultExt = QStringLiteral("das");
    EXPECT_EQ(Prompt().OpenFile(options), QStringLiteral("/tmp/a.das"));
    EXPECT_EQ(Prompt().SaveFile(options), std::nullopt);
    EXPECT_EQ(prompt.lastFileOptions.defaultExt, QStringLiteral("das"));
    EXPECT_EQ(prompt.shown.back().kind, QStringLiteral("save"));
    EXPECT_EQ(prompt.shown.back().text, options.filter);

    prompt.QueueFolder(QStringLiteral("/tmp/data"));
    EXPECT_EQ(Prompt().BrowseFolder(QStringLiteral("Capture Folder"), QString()),
              QStringLiteral("/tmp/data"));
}

TEST(FakePrompt, UnexpectedDialogFailsTheTest)
{
    EXPECT_NONFATAL_FAILURE(
        {
            TFakePrompt prompt;
            AskYesNo(QStringLiteral("Save"), QStringLiteral("Save Configuration?"));
        },
        "unexpected message box: Save: Save Configuration?");
    EXPECT_NONFATAL_FAILURE(
        {
            TFakePrompt prompt;
            QString value;
            Prompt().InputQuery(QStringLiteral("Baud"), QStringLiteral("Rate"), value);
        },
        "unexpected input box");
    EXPECT_NONFATAL_FAILURE(
        {
            TFakePrompt prompt;
            Prompt().OpenFile(TFileDialogOptions{});
        },
        "unexpected file dialog");
    EXPECT_NONFATAL_FAILURE(
        {
            TFakePrompt prompt;
            Prompt().BrowseFolder(QStringLiteral("Folder"), QString());
        },
        "unexpected folder dialog");
    EXPECT_NONFATAL_FAILURE(
        {
            TFakePrompt prompt;
            prompt.okBoxesAnswerThemselves = false;
            ShowMessage(QStringLiteral("Done"));
        },
        "unexpected message box");
}

TEST(FakePrompt, UnansweredDialogAnswersNoOrCancel)
{
    TFakePrompt prompt;
    TMsgResult yesNo = TMsgResult::Yes;
    TMsgResult retry = TMsgResult::Retry;
    EXPECT_NONFATAL_FAILURE(
        yesNo = Prompt().MessageBox(QString(), QString(), TMsgButtons::YesNo, TMsgIcon::None),
        "unexpected");
    EXPECT_NONFATAL_FAILURE(retry = Prompt().MessageBox(QString(), QString(),
                                                        TMsgButtons::RetryCancel, TMsgIcon::None),
                            "unexpected");
    EXPECT_EQ(yesNo, TMsgResult::No);
    EXPECT_EQ(retry, TMsgResult::Cancel);
}

TEST(FakePrompt, RestoresThePreviousServiceWhenDestroyed)
{
    TFakePrompt outer;
    {
        TFakePrompt inner;
        ShowMessage(QStringLiteral("Inner"));
        EXPECT_EQ(inner.Messages(), QStringList{QStringLiteral("Wendrok: Inner")});
    }
    ShowMessage(QStringLiteral("Outer"));
    EXPECT_EQ(outer.Messages(), QStringList{QStringLiteral("Wendrok: Outer")});
}

TEST(PostMessageBox, FromAWorkerIsShownOnTheUiThreadWithoutBlockingTheWorker)
{
    TFakePrompt prompt;
    std::future<void> worker = std::async(std::launch::async, [] {
        PostMessageBox(QStringLiteral("Echo Serial Port Error on Host Channel# 4"),
                       QStringLiteral("Error# 5: Access denied"), TMsgIcon::Error);
        PostMessageBox(QStringLiteral("Second"), QStringLiteral("box"));
    });
    // The UI thread runs no events while the worker posts.
    ASSERT_EQ(worker.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(prompt.shown.empty());
    ASSERT_TRUE(WaitUntil([&] { return prompt.shown.size() == 2; }));
    const QStringList expected = {
        QStringLiteral("Echo Serial Port Error on Host Channel# 4: Error# 5: Access denied"),
        QStringLiteral("Second: box")};
    EXPECT_EQ(prompt.Messages(), expected);
}

TEST(PostMessageBox, OnTheUiThreadShowsAtOnce)
{
    TFakePrompt prompt;
    PostMessageBox(QStringLiteral("Title"), QStringLiteral("Text"));
    EXPECT_EQ(prompt.Messages(), QStringList({QStringLiteral("Title: Text")}));
}

TEST(PostMessageBox, OnTheUiThreadWaitsWhilePostingIsAskedFor)
{
    TFakePrompt prompt;
    {
        const TPostMessageBoxes outer;
        {
            const TPostMessageBoxes inner;
            PostMessageBox(QStringLiteral("First"), QStringLiteral("box"));
        }
        PostMessageBox(QStringLiteral("Second"), QStringLiteral("box"));
        EXPECT_TRUE(prompt.shown.empty());
    }
    ASSERT_TRUE(WaitUntil([&] { return prompt.shown.size() == 2; }));
    EXPECT_EQ(prompt.Messages(),
              QStringList({QStringLiteral("First: box"), QStringLiteral("Second: box")}));
    // Once the last scope has ended, a box shows at once again.
    PostMessageBox(QStringLiteral("Third"), QStringLiteral("box"));
    EXPECT_EQ(prompt.shown.size(), 3u);
}

namespace {

// A box posted by a thread of its own, as the link thread posts a port failure.
void PostFromAnotherThread(const QString& text)
{
    std::thread([text] { PostMessageBox(QStringLiteral("Port"), text); }).join();
}

// Work that holds two boxes and returns: they wait to open, as kHeldTwo shows them.
void HoldTwoBoxes()
{
    const THeldMessageBoxes hold;
    PostFromAnotherThread(QStringLiteral("Read"));
    QCoreApplication::processEvents();
    ShowMessage(QStringLiteral("Timeout receiving A"));
}
const QStringList kHeldTwo = {QStringLiteral("Port: Read"),
                              QStringLiteral("Wendrok: Timeout receiving A")};

}  // namespace

TEST(HeldMessageBoxes, OpenInOrderOnlyAfterTheWorkHasReturned)
{
    TFakePrompt prompt;
    {
        const THeldMessageBoxes outer;
        {
            const THeldMessageBoxes inner;
            ShowMessage(QStringLiteral("Timeout receiving A"));
            PostFromAnotherThread(QStringLiteral("Read"));
            // The work runs an event loop of its own meanwhile: still nothing opens.
            QCoreApplication::processEvents();
        }
        const TPostMessageBoxes posted;
        PostMessageBox(QStringLiteral("File Get Error"), QStringLiteral("B"), TMsgIcon::Error);
        ShowMessage(QStringLiteral("Error Recieving A"));
        QCoreApplication::processEvents();
        EXPECT_TRUE(prompt.shown.empty());
        // Still on its way when the work returns: it opens after the boxes held before it.
        PostFromAnotherThread(QStringLiteral("Write"));
    }
    EXPECT_TRUE(prompt.shown.empty()) << "posted, not opened inside the caller";
    ASSERT_TRUE(WaitUntil([&] { return prompt.shown.size() == 5; }));
    EXPECT_EQ(
        prompt.Messages(),
        QStringList({QStringLiteral("Wendrok: Timeout receiving A"), QStringLiteral("Port: Read"),
                     QStringLiteral("File Get Error: B"),
                     QStringLiteral("Wendrok: Error Recieving A"), QStringLiteral("Port: Write")}));
    ShowMessage(QStringLiteral("Done"));
    EXPECT_EQ(prompt.shown.size(), 6u);
}

TEST(HeldMessageBoxes, ABoxRaisedOnTheUiThreadOpensAfterThoseStillWaiting)
{
    TFakePrompt prompt;
    // A question asked once the work has returned opens after the held boxes, and its
    // caller gets the answer to the question, not to a held box.
    HoldTwoBoxes();
    prompt.QueueMessageAnswer(TMsgResult::Ok);
    prompt.QueueMessageAnswer(TMsgResult::Ok);
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    EXPECT_TRUE(AskYesNo(QStringLiteral("Exit"), QStringLiteral("Really?")));
    EXPECT_EQ(prompt.Messages(), kHeldTwo + QStringList{QStringLiteral("Exit: Really?")});

    // So does an input box; a message raised while a held box is open (in its modal loop)
    // opens after those still waiting, not on top of it.
    prompt.shown.clear();
    HoldTwoBoxes();
    prompt.onMessage = [](const TShownDialog& box) {
        if (box.text == QStringLiteral("Read")) {
            ShowMessage(QStringLiteral("Tick"));
        }
    };
    prompt.QueueInput(QStringLiteral("COM3"));
    QString value;
    EXPECT_TRUE(Prompt().InputQuery(QStringLiteral("Port"), QStringLiteral("Port:"), value));
    EXPECT_EQ(value, QStringLiteral("COM3"));
    EXPECT_EQ(prompt.Messages(), kHeldTwo + QStringList{QStringLiteral("Wendrok: Tick")});
    EXPECT_EQ(prompt.shown.size(), 4u);
    EXPECT_EQ(prompt.shown.back().kind, QStringLiteral("input"));
    // The hold's own turn to open them comes later and finds none: nothing opens twice.
    QCoreApplication::processEvents();
    EXPECT_EQ(prompt.shown.size(), 4u);
}

TEST(HeldMessageBoxes, AFileOrFolderDialogOpensAfterThoseStillWaiting)
{
    TFakePrompt prompt;
    const auto expectHeldBoxesFirst = [&](const QString& kind, const auto& openDialog) {
        SCOPED_TRACE(kind.toStdString());
        prompt.shown.clear();
        HoldTwoBoxes();
        EXPECT_EQ(openDialog(), QStringLiteral("/tmp/chosen"));
        EXPECT_EQ(prompt.Messages(), kHeldTwo);
        EXPECT_EQ(prompt.shown.size(), 3u);
        EXPECT_EQ(prompt.shown.back().kind, kind);
        // The hold's own turn comes later and finds none left (nor any for the next dialog).
        QCoreApplication::processEvents();
        EXPECT_EQ(prompt.shown.size(), 3u);
    };
    TFileDialogOptions options;
    options.title = QStringLiteral("Open Configuration");
    prompt.QueueFile(QStringLiteral("/tmp/chosen"));
    expectHeldBoxesFirst(QStringLiteral("open"), [&] { return Prompt().OpenFile(options); });
    prompt.QueueFile(QStringLiteral("/tmp/chosen"));
    expectHeldBoxesFirst(QStringLiteral("save"), [&] { return Prompt().SaveFile(options); });
    prompt.QueueFolder(QStringLiteral("/tmp/chosen"));
    expectHeldBoxesFirst(QStringLiteral("folder"), [] {
        return Prompt().BrowseFolder(QStringLiteral("Capture Folder"), QString());
    });
}

TEST(HeldMessageBoxes, ABoxPostedWhileTheLastOneIsOpenOpensAfterIt)
{
    TFakePrompt prompt;
    size_t shownWhenPosted = 0;
    size_t shownOnceArrived = 0;
    prompt.onMessage = [&](const TShownDialog& box) {
        if (box.text != QStringLiteral("Timeout receiving A")) {
            return;
        }
        // The last held box runs its modal loop; a link failure arrives meanwhile.
        shownWhenPosted = prompt.shown.size();
        PostFromAnotherThread(QStringLiteral("Write"));
        bool arrived = false;
        PostToUi([&] { arrived = true; });
        ASSERT_TRUE(WaitUntil([&] { return arrived; }));
        shownOnceArrived = prompt.shown.size();
    };
    HoldTwoBoxes();
    ASSERT_TRUE(WaitUntil([&] { return prompt.shown.size() == 3; }));
    EXPECT_EQ(shownOnceArrived, shownWhenPosted) << "opened on top of the held box";
    EXPECT_EQ(prompt.Messages(), kHeldTwo + QStringList{QStringLiteral("Port: Write")});
}

TEST(QtPrompt, MessageTextsFromOutsideAreShownAsTheyAreNeverAsMarkup)
{
    // A DAS file or reply named like markup: no picture loaded, no table laid out.
    const QString hostile =
        QStringLiteral("'<img src=\"/etc/passwd\"><table><tr><td>x' is not a valid date");
    QString shownText;
    Qt::TextFormat shownFormat = Qt::RichText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shownText = box->text();
        shownFormat = box->textFormat();
        box->button(QMessageBox::Ok)->click();
    });
    ShowMessage(hostile);
    EXPECT_EQ(shownText, hostile);
    EXPECT_EQ(shownFormat, Qt::PlainText);
}

TEST(NameApplication, NamesTheProgramWithoutADisplayNameForTheCaptions)
{
    const QString before = QCoreApplication::applicationName();
    NameApplication();
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Wendrok"));
    // Without a display name of its own the application shows its name; a display name set
    // would stay, and the window system would add it to every window's caption.
    QCoreApplication::setApplicationName(QStringLiteral("Renamed"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Renamed"));
    QCoreApplication::setApplicationName(before);
}
