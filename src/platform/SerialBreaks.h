#pragma once
// Line breaks and line errors in a serial port's input. With line marks on (ISerialPort::
// SetLineMarks) the terminal driver hands them on inside the byte stream; TLineMarkParser
// takes that stream apart again into data, breaks and errors, in the order they came.

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <vector>

// One piece of marked input.
struct TLineChunk {
    enum class TKind {
        Data,       // bytes received (a bad byte's own value comes as data after its error)
        Break,      // a break condition on the line (several in a row count as one)
        LineError,  // the next byte came with a parity or framing error
    };
    TKind kind = TKind::Data;
    QByteArray bytes;  // Data only
};

// Splits marked input into chunks; a mark cut between two reads is finished by the next one.
// One object per reader; not shared between threads.
class TLineMarkParser {
public:
    // Appends the chunks of `count` bytes of input to `out`: adjacent data joined into one
    // chunk, adjacent breaks into one.
    void Feed(const uint8_t* bytes, size_t count, std::vector<TLineChunk>& out);
    // Forgets a mark left unfinished.
    void Reset() { state_ = TState::Plain; }

private:
    enum class TState { Plain, Mark, MarkZero };

    static void AddData(std::vector<TLineChunk>& out, char byte);
    static void AddEvent(std::vector<TLineChunk>& out, TLineChunk::TKind kind);

    TState state_ = TState::Plain;
};
