#pragma once
// The send queues: lock-protected lists of data blocks bound for the DAS. SendQueue carries
// host channel data in arrival order; TimedQueue carries console and host-side commands, each
// due at a time, sorted by due time. Times are queue clock readings (platform/Clocks.h),
// compared by their signed 32-bit difference.

#include <QByteArray>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// One queued block: its own copy of its bytes and a read position.
class TListData {
public:
    // A block of `size` bytes copied from `bytes` (zero bytes when `bytes` is null).
    TListData(uint8_t channel, const void* bytes, uint32_t size, uint32_t time, uint32_t sequence);

    // Copy at most `length` unread bytes to `dest`; `length` becomes the count copied.
    // Read advances the read position, Peek does not.
    void Read(void* dest, uint32_t& length);
    void Peek(void* dest, uint32_t& length) const;

    const uint8_t* Data() const { return data_.get(); }
    uint32_t Size() const { return size_; }
    uint32_t Position() const { return position_; }
    uint32_t Unread() const { return size_ - position_; }
    uint32_t Time() const { return time_; }
    uint8_t Channel() const { return channel_; }
    uint32_t Sequence() const { return sequence_; }

private:
    std::unique_ptr<uint8_t[]> data_;
    uint32_t size_;
    uint32_t position_ = 0;
    uint32_t time_;
    uint8_t channel_;
    uint32_t sequence_;
};

// The block count and the head's time, read together.
struct TQueueHead {
    int count = 0;
    uint32_t firstTime = 0;  // 0 when empty
};

// What Read reports of the last block it read.
struct TListInfo {
    uint32_t time = 0;
    uint8_t channel = 0;
};

// A queue of data blocks under one lock that every operation holds for its whole run.
// Every operation may be called from any thread.
class TDataList {
public:
    TDataList() = default;
    virtual ~TDataList();
    TDataList(const TDataList&) = delete;
    TDataList& operator=(const TDataList&) = delete;

    // Appends a plain block stamped with the time of adding (sequence 0). Null `bytes` with
    // a size above 0 gives that many zero bytes; size 0 is an end-of-transfer marker.
    void Add(uint8_t channel, const void* bytes, uint32_t size);
    // Adds a block due `delayMs` from now, after every block due no later (equal due times
    // ordered by sequence, then by order of adding).
    void AddTimed(uint8_t channel, const void* bytes, uint32_t sequence, int32_t delayMs,
                  uint32_t size);

    int Count() const;
    // Unread bytes of all blocks.
    uint32_t TotalBytes() const;
    // The head's channel, 0 when empty.
    uint8_t FirstChannel() const;
    // The head's time, 0 when empty (callers check Count first).
    uint32_t FirstTime() const;
    // The count and the head's time under one hold of the lock, so they belong together.
    TQueueHead Head() const;
    // The head's unread bytes, 0 when empty.
    uint32_t FirstUnread() const;

    // Takes the head block whole, its unread bytes into `out`, when `match` holds for its
    // channel and unread bytes (run under the lock); false, with the queue as it was,
    // otherwise.
    bool TakeHeadIf(bool (*match)(uint8_t channel, const uint8_t* bytes, uint32_t unread),
                    std::vector<uint8_t>& out);
    // Reads up to `length` bytes from the head into `dest`; `length` becomes the count copied
    // and `info` the time and channel of the last block read. A block with no unread bytes
    // left is deleted (a zero-length block by the first read that reaches it). Without
    // `sameChannelRun` one block is read; with it, reading goes on into following blocks of
    // the same channel until the request is met. False (with `length` 0) when empty.
    bool Read(void* dest, uint32_t& length, TListInfo& info, bool sameChannelRun);

    // Whether a block of the channel holds `text` in its unread bytes (at most 255, read as
    // text): the blocks RemoveChannelContaining would delete.
    bool HoldsOnChannel(uint8_t channel, const char* text) const;
    // Deletes every block of the channel.
    void RemoveChannel(uint8_t channel);
    // Deletes the channel's blocks whose unread bytes (at most 255, read as text) hold `text`.
    void RemoveChannelContaining(uint8_t channel, const char* text);
    // Deletes the channel's blocks that begin with `prefix` (when not null) and whose unread
    // bytes (at most 255, read as text) hold `text` (when not null).
    void RemoveMatching(uint8_t channel, const char* prefix, const char* text);
    // Deletes the channel's blocks for which `match` holds, given their unread bytes (at most
    // 255); `match` runs under the queue's lock and must not call back into the queue.
    void RemoveChannelIf(uint8_t channel, const std::function<bool(const QByteArray&)>& match);
    // Deletes every block.
    virtual void Clear();

private:
    mutable std::mutex lock_;
    std::deque<std::unique_ptr<TListData>> blocks_;
};

// The running sequence number that orders timed commands queued at the same due time; every
// producer of timed blocks (the link manager, the DAS command sender) takes its numbers here.
// Any thread.
uint32_t NextTimedSequence();

// The program's two send queues. The main window creates and deletes them (they are null
// before and after); the link thread reads them, the UI thread and echo readers add to them.
extern TDataList* SendQueue;
extern TDataList* TimedQueue;
