#include <algorithm>
#include <chrono>
#include <cstring>

#include "link/MuxClasses.h"

cbuf_t::cbuf_t(uint32_t size, bool overwrite)
    : overwrite_(overwrite ? 1 : 0),
      size_(size > 0 ? size : 1),
      data_(new uint8_t[size > 0 ? size : 1]())
{
    Reset();
}

uint32_t cbuf_t::CountLocked() const
{
    if (full_) {
        return size_;
    }
    return (size_ - read_ + write_) % size_;
}

uint32_t cbuf_t::Count() const
{
    std::lock_guard guard(lock_);
    return CountLocked();
}

uint32_t cbuf_t::Free() const
{
    std::lock_guard guard(lock_);
    return size_ - CountLocked();
}

namespace {

int64_t SteadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int64_t cbuf_t::UnreadForMs() const
{
    std::lock_guard guard(lock_);
    return CountLocked() == 0 ? 0 : SteadyMs() - readerClockMs_;
}

void cbuf_t::Reset()
{
    std::lock_guard guard(lock_);
    readerClockMs_ = SteadyMs();
    std::memset(data_.get(), 0, size_);
    write_ = 0;
    // The read index goes back with the write index, so a reset ring is empty whenever it
    // is reset, not only when it was new.
    read_ = 0;
    full_ = 0;
}

bool cbuf_t::Put(const void* bytes, uint32_t n)
{
    if (bytes == nullptr || n == 0) {
        return false;
    }
    auto* from = static_cast<const uint8_t*>(bytes);
    std::lock_guard guard(lock_);
    const uint32_t held = CountLocked();
    if (held == 0) {
        // The bytes start waiting for a reader now.
        readerClockMs_ = SteadyMs();
    }
    if (held + static_cast<uint64_t>(n) > size_) {
        if (!overwrite_) {
            return false;
        }
        if (n >= size_) {
            // Only the newest size bytes can be kept; everything held gives way.
            from += n - size_;
            n = size_;
            read_ = write_;
            full_ = 0;
        } else {
            const uint32_t drop = held + n - size_;
            read_ = (read_ + drop) % size_;
            full_ = 0;
        }
    }
    const uint32_t first = std::min(n, size_ - write_);
    std::memcpy(data_.get() + write_, from, first);
    if (n > first) {
        std::memcpy(data_.get(), from + first, n - first);
    }
    write_ = (write_ + n) % size_;
    if (write_ == read_) {
        full_ = 1;
    }
    return true;
}

uint32_t cbuf_t::Get(void* dest, uint32_t n)
{
    std::lock_guard guard(lock_);
    n = std::min(n, CountLocked());
    if (n == 0) {
        return 0;
    }
    if (dest != nullptr) {
        auto* to = static_cast<uint8_t*>(dest);
        const uint32_t first = std::min(n, size_ - read_);
        std::memcpy(to, data_.get() + read_, first);
        if (n > first) {
            std::memcpy(to + first, data_.get(), n - first);
        }
    }
    read_ = (read_ + n) % size_;
    full_ = 0;
    readerClockMs_ = SteadyMs();
    return n;
}
