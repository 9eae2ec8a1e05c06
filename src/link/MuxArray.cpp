#include <algorithm>

#include "link/Host.h"
#include "link/MuxClasses.h"
#include "platform/Clocks.h"
#include "platform/Prompt.h"
#include "platform/UiPost.h"

TMuxArray* MuxArray = nullptr;

namespace {

// Readers used while nobody has registered any.
IFixedChannelReaders& NoReaders()
{
    static IFixedChannelReaders readers;
    return readers;
}

// Marks a service pass as running for as long as it lives.
class TServingMark {
public:
    explicit TServingMark(bool& serving) : serving_(serving) { serving_ = true; }
    ~TServingMark() { serving_ = false; }
    TServingMark(const TServingMark&) = delete;
    TServingMark& operator=(const TServingMark&) = delete;

private:
    bool& serving_;
};

}  // namespace

TMuxArray::TMuxArray(int capacity) : lastDataTime_(NowDateTime())
{
    list_.reserve(static_cast<size_t>(std::max(capacity, 0)));
}

TMuxArray::~TMuxArray()
{
    while (!list_.empty()) {
        RemoveChannel(list_.back()->GetChannelNumber());
    }
}

TMux* TMuxArray::AddChannel(uint8_t channel) { return Insert(channel, nullptr, nullptr); }

TMux* TMuxArray::AddChannel(uint8_t channel, ITerminalView* window)
{
    return Insert(channel, nullptr, window);
}

TMux* TMuxArray::AddChannel(uint8_t channel, IChannelDevice* device, ITerminalView* window)
{
    return Insert(channel, device, window);
}

TMux* TMuxArray::Insert(uint8_t channel, IChannelDevice* device, ITerminalView* window)
{
    // Only the UI thread changes the table, so the slot can be checked before locking.
    if (slots_[channel] != nullptr) {
        return nullptr;
    }
    std::unique_ptr<TMux> mux(new TMux(*this, channel, device, window));
    TMux* added = mux.get();
    std::unique_lock guard(tableLock_);
    list_.push_back(std::move(mux));
    slots_[channel] = added;
    return added;
}

TMux* TMuxArray::GetChannel(uint8_t channel) const { return slots_[channel]; }

TChannelHold TMuxArray::HoldChannel(uint8_t channel) const
{
    std::shared_lock guard(tableLock_);
    TMux* mux = slots_[channel];
    if (mux == nullptr) {
        return {};
    }
    return TChannelHold(std::move(guard), mux);
}

bool TMuxArray::RemoveChannel(uint8_t channel)
{
    std::unique_ptr<TMux> removed;
    {
        // Waits for a link thread hold on any channel to end.
        std::unique_lock guard(tableLock_);
        TMux* mux = slots_[channel];
        if (mux == nullptr) {
            return false;
        }
        slots_[channel] = nullptr;
        auto it = std::find_if(list_.begin(), list_.end(),
                               [mux](const auto& item) { return item.get() == mux; });
        removed = std::move(*it);
        list_.erase(it);
    }
    // A packet waiting for room in its ring finds it gone and goes on.
    Host.Thread().RingChanged();
    // Deleted outside the lock: closing its windows and files may take a while.
    removed.reset();
    return true;
}

TMux* TMuxArray::Items(int index) const
{
    if (index < 0 || index >= Count()) {
        return nullptr;
    }
    return list_[static_cast<size_t>(index)].get();
}

int TMuxArray::Count() const { return static_cast<int>(list_.size()); }

void TMuxArray::MarkPending(TMux* mux)
{
    std::lock_guard guard(arrivalLock_);
    if (mux->arrival_ == 0) {
        mux->arrival_ = ++arrivalCounter_;
    }
}

TMux* TMuxArray::NextPending()
{
    std::lock_guard guard(arrivalLock_);
    while (nextServe_ < arrivalCounter_) {
        const uint32_t number = ++nextServe_;
        TMux* found = nullptr;
        for (const auto& mux : list_) {
            if (mux->arrival_ == number) {
                found = mux.get();
                break;
            }
        }
        if (nextServe_ == arrivalCounter_) {
            nextServe_ = 0;
            arrivalCounter_ = 0;
        }
        if (found != nullptr) {
            found->arrival_ = 0;
            return found;
        }
    }
    return nullptr;
}

bool TMuxArray::Service(double now)
{
    if (serving_) {
        return false;
    }
    TServingMark mark(serving_);
    // A failure met while serving shows its box after the pass: a modal box inside it would
    // leave every channel unserved for as long as it is open.
    TPostMessageBoxes posted;
    // Indexed walks: a channel's work may end in a window that changes the table.
    for (size_t i = 0; i < list_.size(); ++i) {
        list_[i]->PollPcPort();
    }
    // At most as many channels are served as were waiting when the pass began, so a
    // channel that never stops receiving cannot hold the pass.
    uint32_t waiting = 0;
    {
        std::lock_guard guard(arrivalLock_);
        waiting = arrivalCounter_ - nextServe_;
    }
    bool dispatched = false;
    for (uint32_t served = 0; served < waiting; ++served) {
        TMux* mux = NextPending();
        if (mux == nullptr) {
            break;
        }
        dispatched = mux->ProcessData() || dispatched;
    }
    for (size_t i = 0; i < list_.size(); ++i) {
        list_[i]->UpdateTransfer();
    }
    if (dispatched) {
        lastDataTime_ = now;
    }
    return dispatched;
}

void TMuxArray::RequestService()
{
    if (serviceRequested_.exchange(true)) {
        return;
    }
    std::weak_ptr<char> life = life_;
    PostToUi([this, life] {
        if (life.expired()) {
            return;
        }
        // Cleared first: data that comes during the pass may ask for the next one.
        serviceRequested_ = false;
        Service(NowDateTime());
    });
}

void TMuxArray::SetFixedChannelReaders(IFixedChannelReaders* readers) { readers_ = readers; }

IFixedChannelReaders& TMuxArray::FixedChannelReaders() const
{
    return readers_ != nullptr ? *readers_ : NoReaders();
}
