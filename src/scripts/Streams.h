#pragma once
// Byte streams for the rich edit's stream-in and stream-out, and the error the rich edit
// raises when a transfer fails.
//
// UI thread only (the editors use them); objects are owned by whoever makes them.

#include <QByteArray>
#include <cstdint>
#include <stdexcept>
#include <string>

// A failure of the rich edit's own resources or of a stream transfer.
class EOutOfResources : public std::runtime_error {
public:
    explicit EOutOfResources(const std::string& message) : std::runtime_error(message) {}
};

// An abstract byte stream: Read and Write return the bytes moved and may throw.
class TStream {
public:
    enum class TOrigin { Beginning, Current, End };

    virtual ~TStream() = default;
    virtual int64_t Read(char* buffer, int64_t count) = 0;
    virtual int64_t Write(const char* buffer, int64_t count) = 0;
    // Moves the position and returns the new one.
    virtual int64_t Seek(int64_t offset, TOrigin origin) = 0;
    virtual int64_t Size() const = 0;
    int64_t Position() { return Seek(0, TOrigin::Current); }
};

// A stream held in memory.
class TMemoryStream final : public TStream {
public:
    int64_t Read(char* buffer, int64_t count) override;
    int64_t Write(const char* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TOrigin origin) override;
    int64_t Size() const override { return bytes_.size(); }
    const QByteArray& Bytes() const { return bytes_; }

private:
    QByteArray bytes_;
    int64_t position_ = 0;
};
