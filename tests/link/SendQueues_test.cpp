#include "link/SendQueues.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clocks.h"

namespace {

// Every test runs on a frozen queue clock, so due times are exact.
class SendQueueTest : public ::testing::Test {
protected:
    void SetUp() override { FreezeQueueClock(kT0); }
    void TearDown() override { UnfreezeQueueClock(); }

    void AddText(uint8_t channel, const std::string& text)
    {
        queue.Add(channel, text.data(), static_cast<uint32_t>(text.size()));
    }
    void AddTimedText(uint8_t channel, const std::string& text, uint32_t sequence, int32_t delayMs)
    {
        queue.AddTimed(channel, text.data(), sequence, delayMs, static_cast<uint32_t>(text.size()));
    }
    // Reads the head block whole (without sameChannelRun).
    std::string ReadBlock(TListInfo* info = nullptr)
    {
        char buffer[512];
        uint32_t length = sizeof buffer;
        TListInfo local;
        queue.Read(buffer, length, info != nullptr ? *info : local, false);
        return std::string(buffer, length);
    }
    std::vector<std::string> Drain()
    {
        std::vector<std::string> out;
        while (queue.Count() > 0) {
            out.push_back(ReadBlock());
        }
        return out;
    }

    static constexpr uint32_t kT0 = 0xFFFFFF00u;  // close to the wrap on purpose
    TDataList queue;
};

}  // namespace

TEST_F(SendQueueTest, TimedBlocksComeOutByDueTimeThenSequence)
{
    AddTimedText(255, "B", 2, 500);
    AddTimedText(255, "A", 1, 100);
    AddTimedText(255, "C", 0, 500);
    EXPECT_EQ(queue.FirstTime(), kT0 + 100);
    EXPECT_EQ(Drain(), (std::vector<std::string>{"A", "C", "B"}));
}

TEST_F(SendQueueTest, EarlierDueBlockBecomesHeadAcrossClockWrap)
{
    // Due at kT0 + 0x200, past the 32-bit wrap: still later than kT0 + 0x10.
    AddTimedText(255, "late", 0, 0x200);
    AddTimedText(255, "soon", 0, 0x10);
    EXPECT_EQ(queue.FirstTime(), kT0 + 0x10);
    EXPECT_EQ(Drain(), (std::vector<std::string>{"soon", "late"}));
}

TEST_F(SendQueueTest, EqualDueTimeAndSequenceKeepInsertionOrder)
{
    for (int i = 0; i < 50; ++i) {
        AddText(250, "block" + std::to_string(i));
    }
    AddTimedText(250, "timed", 7, 0);
    AddTimedText(250, "timed2", 7, 0);
    const std::vector<std::string> out = Drain();
    ASSERT_EQ(out.size(), 52u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(out[static_cast<size_t>(i)], "block" + std::to_string(i));
    }
    EXPECT_EQ(out[50], "timed");
    EXPECT_EQ(out[51], "timed2");
}

TEST_F(SendQueueTest, PartialReadLeavesHeadWithPositionAdvanced)
{
    AddText(5, "0123456789");
    char buffer[16] = {};
    uint32_t length = 4;
    TListInfo info;
    EXPECT_TRUE(queue.Read(buffer, length, info, false));
    EXPECT_EQ(std::string(buffer, length), "0123");
    EXPECT_EQ(queue.Count(), 1);
    EXPECT_EQ(queue.TotalBytes(), 6u);
    EXPECT_EQ(ReadBlock(), "456789");
    EXPECT_EQ(queue.Count(), 0);
}

TEST_F(SendQueueTest, ZeroLengthHeadYieldsNoBytesWithItsChannelAndTimeAndGoes)
{
    StepQueueClock(3);
    queue.Add(250, nullptr, 0);
    AddText(250, "next");
    TListInfo info;
    EXPECT_EQ(ReadBlock(&info), "");
    EXPECT_EQ(info.channel, 250);
    EXPECT_EQ(info.time, kT0 + 3);
    EXPECT_EQ(queue.Count(), 1);
}

TEST_F(SendQueueTest, EmptyQueueReports)
{
    EXPECT_EQ(queue.FirstChannel(), 0);
    EXPECT_EQ(queue.Count(), 0);
    EXPECT_EQ(queue.TotalBytes(), 0u);
    char buffer[4];
    uint32_t length = 4;
    TListInfo info;
    EXPECT_FALSE(queue.Read(buffer, length, info, true));
    EXPECT_EQ(length, 0u);
}

TEST_F(SendQueueTest, SameChannelRunReadsOnUntilChannelChanges)
{
    AddText(5, "aa");
    AddText(5, "bb");
    AddText(6, "cc");
    char buffer[16];
    uint32_t length = 10;
    TListInfo info;
    queue.Read(buffer, length, info, true);
    EXPECT_EQ(std::string(buffer, length), "aabb");
    EXPECT_EQ(info.channel, 5);
    EXPECT_EQ(queue.FirstChannel(), 6);

    AddText(6, "dd");
    length = 10;
    queue.Read(buffer, length, info, false);
    EXPECT_EQ(std::string(buffer, length), "cc");
    // A run stops when the request is met, leaving the rest of the block.
    AddText(6, "eeee");
    length = 3;
    queue.Read(buffer, length, info, true);
    EXPECT_EQ(std::string(buffer, length), "dde");
    EXPECT_EQ(queue.TotalBytes(), 3u);
}

TEST_F(SendQueueTest, RemoveMatchingNeedsChannelPrefixAndText)
{
    const char start12[] = "*DataStart 12\r";  // each with its terminating zero
    const char plain12[] = "DataStart 12";
    const char stop13[] = "*DataStop 13\r";
    queue.AddTimed(255, start12, 1, 0, sizeof start12);
    queue.AddTimed(255, plain12, 2, 0, sizeof plain12);
    queue.AddTimed(255, stop13, 3, 0, sizeof stop13);
    AddTimedText(254, "*x12", 4, 0);
    queue.RemoveMatching(255, "*", "12");
    EXPECT_EQ(Drain(), (std::vector<std::string>{std::string(plain12, sizeof plain12),
                                                 std::string(stop13, sizeof stop13), "*x12"}));
}

TEST_F(SendQueueTest, RemovalsSearchOnlyUnreadTextOfTheBlock)
{
    // A block without a terminating zero: the search must stay inside it.
    AddText(255, "WAIT 5");
    AddText(255, "SENDSTATUS");
    AddText(255, "xxxx" + std::string(300, 'y') + "needle");  // beyond 255 bytes
    AddText(255, "needle in reach");
    AddText(255, std::string("ab\0needle", 9));  // after the text ends
    queue.RemoveChannelContaining(255, "needle");
    queue.RemoveMatching(255, nullptr, "WAIT");
    queue.RemoveMatching(255, "SEND", nullptr);
    ASSERT_EQ(queue.Count(), 2);
    EXPECT_EQ(ReadBlock().substr(0, 4), "xxxx");
    EXPECT_EQ(ReadBlock(), std::string("ab\0needle", 9));

    // Read bytes are no longer searched.
    AddText(255, "needle, then more");
    char buffer[8];
    uint32_t length = 8;
    TListInfo info;
    queue.Read(buffer, length, info, false);
    queue.RemoveChannelContaining(255, "needle");
    EXPECT_EQ(queue.Count(), 1);
}

TEST_F(SendQueueTest, HoldsOnChannelLooksWhereRemovalWouldAndTakesNothing)
{
    AddText(254, "needle on another channel");
    AddText(255, "xxxx" + std::string(300, 'y') + "needle");  // beyond 255 bytes
    AddText(255, std::string("ab\0needle", 9));               // after the text ends
    EXPECT_FALSE(queue.HoldsOnChannel(255, "needle"));
    EXPECT_TRUE(queue.HoldsOnChannel(254, "needle"));
    AddTimedText(255, "SETPROTOCOL 115200 1", 0, 10);
    EXPECT_TRUE(queue.HoldsOnChannel(255, "SETPROTOCOL 115200 1"));
    EXPECT_EQ(queue.Count(), 4);
}

TEST_F(SendQueueTest, RemoveChannelAndClearDeleteBlocks)
{
    AddText(5, "a");
    AddText(6, "b");
    AddTimedText(5, "c", 0, 10);
    queue.RemoveChannel(5);
    EXPECT_EQ(queue.Count(), 1);
    EXPECT_EQ(queue.FirstChannel(), 6);
    queue.Clear();
    EXPECT_EQ(queue.Count(), 0);
}

TEST_F(SendQueueTest, AddWithoutBytesGivesZeroBytes)
{
    queue.Add(9, nullptr, 3);
    EXPECT_EQ(ReadBlock(), std::string(3, '\0'));
}

TEST(ListData, PeekLeavesPositionReadAdvances)
{
    TListData block(1, "abcdef", 6, 0, 0);
    char buffer[8];
    uint32_t length = 4;
    block.Peek(buffer, length);
    EXPECT_EQ(std::string(buffer, length), "abcd");
    EXPECT_EQ(block.Position(), 0u);
    block.Read(buffer, length);
    length = 8;
    block.Read(buffer, length);
    EXPECT_EQ(std::string(buffer, length), "ef");
    EXPECT_EQ(block.Unread(), 0u);
}

TEST(TimedSequence, NumbersAreSharedAndIncreasing)
{
    const uint32_t first = NextTimedSequence();
    EXPECT_EQ(NextTimedSequence(), first + 1);
}

TEST(SendQueueThreads, ConcurrentAddAndReadLoseAndDuplicateNothing)
{
    constexpr uint32_t kBlocks = 100'000;
    TDataList queue;
    std::thread writer([&queue] {
        for (uint32_t i = 0; i < kBlocks; ++i) {
            queue.Add(static_cast<uint8_t>(i % 7), &i, sizeof i);
        }
    });
    std::vector<uint32_t> seen;
    seen.reserve(kBlocks);
    while (seen.size() < kBlocks) {
        uint32_t value = 0;
        uint32_t length = sizeof value;
        TListInfo info;
        if (queue.Read(&value, length, info, false)) {
            if (length != sizeof value || info.channel != value % 7) {
                ADD_FAILURE() << "block " << seen.size() << " came out damaged";
                break;
            }
            seen.push_back(value);
        } else {
            std::this_thread::yield();
        }
    }
    writer.join();
    ASSERT_EQ(seen.size(), kBlocks);
    EXPECT_EQ(queue.Count(), 0);
    for (uint32_t i = 0; i < kBlocks; ++i) {
        ASSERT_EQ(seen[i], i);  // in order, so none lost and none twice
    }
}
