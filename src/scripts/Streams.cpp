#include "scripts/Streams.h"

#include <algorithm>
#include <cstring>

int64_t TMemoryStream::Read(char* buffer, int64_t count)
{
    const int64_t n = std::clamp<int64_t>(bytes_.size() - position_, 0, std::max<int64_t>(count, 0));
    if (n > 0) {
        std::memcpy(buffer, bytes_.constData() + position_, static_cast<size_t>(n));
        position_ += n;
    }
    return n;
}

int64_t TMemoryStream::Write(const char* buffer, int64_t count)
{
    if (count <= 0) {
        return 0;
    }
    const int64_t end = position_ + count;
    if (end > bytes_.size()) {
        bytes_.resize(static_cast<qsizetype>(end));
    }
    std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TOrigin origin)
{
    int64_t base = 0;
    if (origin == TOrigin::Current) {
        base = position_;
    } else if (origin == TOrigin::End) {
        base = bytes_.size();
    }
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
}
