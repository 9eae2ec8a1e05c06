#include "platform/UiPost.h"

#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "support/QtHelpers.h"

TEST(UiPost, WorkPostedFromAWorkerRunsOnTheUiThreadInOrder)
{
    constexpr int kPosts = 2000;
    std::vector<int> seen;
    std::atomic<int> offUiThread{0};
    std::thread worker([&] {
        EXPECT_FALSE(IsUiThread());
        for (int i = 0; i < kPosts; ++i) {
            PostToUi([&, i] {
                if (!IsUiThread()) {
                    ++offUiThread;
                }
                seen.push_back(i);
            });
        }
    });
    // The UI thread runs no events until the worker is done: posting must not wait for it.
    worker.join();
    EXPECT_TRUE(seen.empty());
    ASSERT_TRUE(WaitUntil([&] { return seen.size() == kPosts; }));
    EXPECT_EQ(offUiThread.load(), 0);
    for (int i = 0; i < kPosts; ++i) {
        ASSERT_EQ(seen[i], i);
    }
}

TEST(UiPost, EachWorkersOrderHoldsWhenTwoPost)
{
    constexpr int kPosts = 500;
    std::vector<std::pair<int, int>> seen;
    auto post = [&](int worker) {
        for (int i = 0; i < kPosts; ++i) {
            PostToUi([&, worker, i] { seen.emplace_back(worker, i); });
        }
    };
    std::thread a(post, 0);
    std::thread b(post, 1);
    a.join();
    b.join();
    ASSERT_TRUE(WaitUntil([&] { return seen.size() == 2 * kPosts; }));
    int next[2] = {0, 0};
    for (const auto& [worker, i] : seen) {
        ASSERT_EQ(i, next[worker]++);
    }
}

TEST(UiPost, PostingOnTheUiThreadRunsLaterNotInline)
{
    EXPECT_TRUE(IsUiThread());
    std::vector<int> order;
    PostToUi([&] { order.push_back(2); });
    order.push_back(1);
    ASSERT_TRUE(WaitUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(UiPost, WorkPostedDuringWorkRunsAfterIt)
{
    std::vector<int> order;
    PostToUi([&] {
        PostToUi([&] { order.push_back(3); });
        order.push_back(1);
    });
    PostToUi([&] { order.push_back(2); });
    ASSERT_TRUE(WaitUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}
