#include "link/SendQueues.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string_view>

#include "platform/Clocks.h"

TDataList* SendQueue = nullptr;
TDataList* TimedQueue = nullptr;

namespace {

// The removals search at most this many unread bytes of a block.
constexpr uint32_t kSearchBytes = 255;

std::atomic<uint32_t> g_timedSequence{0};

// The unread bytes of a block as text: at most 255 of them, up to the first zero byte.
std::string_view UnreadText(const TListData& block)
{
    const uint32_t length = std::min(block.Unread(), kSearchBytes);
    const char* start = reinterpret_cast<const char*>(block.Data()) + block.Position();
    const void* zero = std::memchr(start, 0, length);
    const size_t textLength =
        zero ? static_cast<size_t>(static_cast<const char*>(zero) - start) : length;
    return std::string_view(start, textLength);
}

bool BeginsWith(const TListData& block, const char* prefix)
{
    const size_t length = std::strlen(prefix);
    return length <= block.Size() && std::memcmp(block.Data(), prefix, length) == 0;
}

bool HoldsText(const TListData& block, const char* text)
{
    return UnreadText(block).find(text) != std::string_view::npos;
}

// Erases the blocks of `channel` that `match` takes, scanning from the last block to the
// first; the order of what stays is unchanged. The caller holds the list's lock.
template <class TBlocks, class TMatch>
void EraseOnChannel(TBlocks& blocks, uint8_t channel, const TMatch& match)
{
    for (auto it = blocks.end(); it != blocks.begin();) {
        --it;
        const TListData& block = **it;
        if (block.Channel() == channel && match(block)) {
            it = blocks.erase(it);
        }
    }
}

}  // namespace

uint32_t NextTimedSequence() { return g_timedSequence.fetch_add(1); }

TListData::TListData(uint8_t channel, const void* bytes, uint32_t size, uint32_t time,
                     uint32_t sequence)
    : data_(new uint8_t[size > 0 ? size : 1]()),
      size_(size),
      time_(time),
      channel_(channel),
      sequence_(sequence)
{
    if (bytes != nullptr && size > 0) {
        std::memcpy(data_.get(), bytes, size);
    }
}

void TListData::Read(void* dest, uint32_t& length)
{
    Peek(dest, length);
    position_ += length;
}

void TListData::Peek(void* dest, uint32_t& length) const
{
    length = std::min(length, Unread());
    if (length > 0) {
        std::memcpy(dest, data_.get() + position_, length);
    }
}

TDataList::~TDataList() { TDataList::Clear(); }

void TDataList::Add(uint8_t channel, const void* bytes, uint32_t size)
{
    auto block = std::make_unique<TListData>(channel, bytes, size, QueueClockNow(), 0);
    std::lock_guard guard(lock_);
    blocks_.push_back(std::move(block));
}

void TDataList::AddTimed(uint8_t channel, const void* bytes, uint32_t sequence, int32_t delayMs,
                         uint32_t size)
{
    std::lock_guard guard(lock_);
    // The clock is read under the lock so that blocks added from two threads stay in the
    // order of their due times.
    const uint32_t due = QueueClockNow() + static_cast<uint32_t>(delayMs);
    auto block = std::make_unique<TListData>(channel, bytes, size, due, sequence);
    // Insert after the last block that is due no later; equal times go by sequence, and
    // equal keys keep the order they were added in.
    auto at = blocks_.end();
    while (at != blocks_.begin()) {
        const TListData& before = **std::prev(at);
        const int32_t diff = QueueTimeDiff(before.Time(), due);
        if (diff < 0 || (diff == 0 && before.Sequence() <= sequence)) {
            break;
        }
        --at;
    }
    blocks_.insert(at, std::move(block));
}

int TDataList::Count() const
{
    std::lock_guard guard(lock_);
    return static_cast<int>(blocks_.size());
}

uint32_t TDataList::TotalBytes() const
{
    std::lock_guard guard(lock_);
    uint32_t total = 0;
    for (const auto& block : blocks_) {
        total += block->Unread();
    }
    return total;
}

uint8_t TDataList::FirstChannel() const
{
    std::lock_guard guard(lock_);
    return blocks_.empty() ? 0 : blocks_.front()->Channel();
}

uint32_t TDataList::FirstTime() const
{
    std::lock_guard guard(lock_);
    return blocks_.empty() ? 0 : blocks_.front()->Time();
}

TQueueHead TDataList::Head() const
{
    std::lock_guard guard(lock_);
    TQueueHead head;
    head.count = static_cast<int>(blocks_.size());
    head.firstTime = blocks_.empty() ? 0 : blocks_.front()->Time();
    return head;
}

uint32_t TDataList::FirstUnread() const
{
    std::lock_guard guard(lock_);
    return blocks_.empty() ? 0 : blocks_.front()->Unread();
}

bool TDataList::TakeHeadIf(bool (*match)(uint8_t channel, const uint8_t* bytes, uint32_t unread),
                           std::vector<uint8_t>& out)
{
    std::lock_guard guard(lock_);
    if (blocks_.empty()) {
        return false;
    }
    const TListData& head = *blocks_.front();
    const uint8_t* unread = head.Data() + head.Position();
    if (!match(head.Channel(), unread, head.Unread())) {
        return false;
    }
    out.assign(unread, unread + head.Unread());
    blocks_.pop_front();
    return true;
}

bool TDataList::Read(void* dest, uint32_t& length, TListInfo& info, bool sameChannelRun)
{
    std::lock_guard guard(lock_);
    const uint32_t requested = length;
    length = 0;
    if (blocks_.empty()) {
        return false;
    }
    auto* out = static_cast<uint8_t*>(dest);
    while (!blocks_.empty()) {
        TListData& head = *blocks_.front();
        uint32_t taken = requested - length;
        head.Read(out + length, taken);
        length += taken;
        info.time = head.Time();
        info.channel = head.Channel();
        if (head.Unread() == 0) {
            blocks_.pop_front();
        }
        if (!sameChannelRun || length >= requested || blocks_.empty() ||
            blocks_.front()->Channel() != info.channel) {
            break;
        }
    }
    return true;
}

void TDataList::RemoveChannel(uint8_t channel)
{
    std::lock_guard guard(lock_);
    std::erase_if(blocks_, [channel](const auto& block) { return block->Channel() == channel; });
}

bool TDataList::HoldsOnChannel(uint8_t channel, const char* text) const
{
    std::lock_guard guard(lock_);
    return std::any_of(blocks_.begin(), blocks_.end(), [&](const std::unique_ptr<TListData>& b) {
        return b->Channel() == channel && HoldsText(*b, text);
    });
}

void TDataList::RemoveChannelContaining(uint8_t channel, const char* text)
{
    RemoveMatching(channel, nullptr, text);
}

void TDataList::RemoveMatching(uint8_t channel, const char* prefix, const char* text)
{
    std::lock_guard guard(lock_);
    EraseOnChannel(blocks_, channel, [&](const TListData& block) {
        return (prefix == nullptr || BeginsWith(block, prefix)) &&
               (text == nullptr || HoldsText(block, text));
    });
}

void TDataList::RemoveChannelIf(uint8_t channel,
                                const std::function<bool(const QByteArray&)>& match)
{
    std::lock_guard guard(lock_);
    EraseOnChannel(blocks_, channel, [&](const TListData& block) {
        const std::string_view text = UnreadText(block);
        return match(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    });
}

void TDataList::Clear()
{
    std::lock_guard guard(lock_);
    blocks_.clear();
}
