#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "link/MuxClasses.h"

namespace {

// The bytes of a test stream: position i holds i % 251, so any loss or reorder shows.
std::vector<uint8_t> Stream(uint32_t from, uint32_t count)
{
    std::vector<uint8_t> bytes(count);
    for (uint32_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>((from + i) % 251);
    }
    return bytes;
}

std::vector<uint8_t> Take(cbuf_t& ring, uint32_t n)
{
    std::vector<uint8_t> out(n);
    out.resize(ring.Get(out.data(), n));
    return out;
}

}  // namespace

TEST(CircularBuffer, DropsOldestBytesWhenFull)
{
    cbuf_t ring(8192, true);
    EXPECT_TRUE(ring.Put(Stream(0, 8000).data(), 8000));
    EXPECT_TRUE(ring.Put(Stream(8000, 254).data(), 254));
    EXPECT_EQ(ring.Count(), 8192u);
    // 8254 bytes went in; the 62 oldest gave way.
    EXPECT_EQ(Take(ring, 8192), Stream(62, 8192));
    EXPECT_EQ(ring.Count(), 0u);
}

TEST(CircularBuffer, FullRingWithOverwriteDropsOldest)
{
    cbuf_t ring(16, true);
    ring.Put(Stream(0, 16).data(), 16);
    EXPECT_EQ(ring.Count(), 16u);
    EXPECT_TRUE(ring.Put(Stream(16, 3).data(), 3));
    EXPECT_EQ(ring.Count(), 16u);
    EXPECT_EQ(Take(ring, 16), Stream(3, 16));
}

TEST(CircularBuffer, WithoutOverwriteRefusesWhatDoesNotFit)
{
    cbuf_t ring(16, false);
    EXPECT_TRUE(ring.Put(Stream(0, 10).data(), 10));
    EXPECT_FALSE(ring.Put(Stream(10, 7).data(), 7));
    EXPECT_EQ(ring.Count(), 10u);
    EXPECT_TRUE(ring.Put(Stream(10, 6).data(), 6));
    EXPECT_EQ(Take(ring, 16), Stream(0, 16));
}

TEST(CircularBuffer, RefusesNoBytes)
{
    cbuf_t ring(16, true);
    const uint8_t byte = 1;
    EXPECT_FALSE(ring.Put(&byte, 0));
    EXPECT_FALSE(ring.Put(nullptr, 4));
    EXPECT_EQ(ring.Count(), 0u);
}

TEST(CircularBuffer, OnePutKeepsOnlyTheNewestSizeBytes)
{
    cbuf_t ring(16, true);
    ring.Put(Stream(0, 5).data(), 5);
    EXPECT_TRUE(ring.Put(Stream(5, 40).data(), 40));
    EXPECT_EQ(ring.Count(), 16u);
    EXPECT_EQ(Take(ring, 100), Stream(29, 16));
}

TEST(CircularBuffer, WrapsAroundInTwoPieces)
{
    cbuf_t ring(16, false);
    ring.Put(Stream(0, 12).data(), 12);
    EXPECT_EQ(Take(ring, 10), Stream(0, 10));
    EXPECT_TRUE(ring.Put(Stream(12, 12).data(), 12));  // crosses the end
    EXPECT_EQ(ring.Count(), 14u);
    EXPECT_EQ(Take(ring, 14), Stream(10, 14));
}

TEST(CircularBuffer, GetWithoutDestinationDiscards)
{
    cbuf_t ring(16, false);
    ring.Put(Stream(0, 16).data(), 16);
    EXPECT_EQ(ring.Get(nullptr, 5), 5u);
    EXPECT_EQ(ring.Count(), 11u);
    EXPECT_EQ(ring.Get(nullptr, 50), 11u);
    EXPECT_EQ(Take(ring, 4).size(), 0u);
}

TEST(CircularBuffer, ResetEmptiesARingInUse)
{
    cbuf_t ring(16, false);
    ring.Put(Stream(0, 12).data(), 12);
    Take(ring, 5);
    ring.Reset();
    EXPECT_EQ(ring.Count(), 0u);
    ring.Put(Stream(0, 16).data(), 16);
    EXPECT_EQ(Take(ring, 16), Stream(0, 16));
}

TEST(CircularBuffer, ConcurrentWriterAndReaderKeepTheStream)
{
    constexpr uint32_t kTotal = 2'000'000;
    cbuf_t ring(8192, false);
    std::thread writer([&ring] {
        uint32_t sent = 0;
        while (sent < kTotal) {
            const uint32_t n = std::min<uint32_t>(254, kTotal - sent);
            if (ring.Put(Stream(sent, n).data(), n)) {
                sent += n;
            } else {
                std::this_thread::yield();
            }
        }
    });
    uint32_t received = 0;
    bool intact = true;
    std::vector<uint8_t> buffer(1000);
    while (received < kTotal) {
        const uint32_t n = ring.Get(buffer.data(), 1000);
        for (uint32_t i = 0; i < n && intact; ++i) {
            intact = buffer[i] == (received + i) % 251;
        }
        received += n;
        if (n == 0) {
            std::this_thread::yield();
        }
    }
    writer.join();
    EXPECT_TRUE(intact);
    EXPECT_EQ(received, kTotal);
}
