#pragma once
// The DAS's command console as the stand-in plays it: it reads the console commands the host
// sends on host channel 255 (text ended by a zero byte, or by CR or LF when typed, unless
// inside a quoted text), records each with its arrival time, and answers it through a table
// of handlers keyed by the command's first word (PicoDos commands by the first word inside
// their quotes, or typed bare when no console command has that word). Tests and later
// stand-in pieces add the answers they need with On and OnPicoDos.
//
// Every public function may be called from any thread. Handlers run on the stand-in's thread,
// one at a time, and may call the Send functions.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "support/TestWaits.h"

class TDasStandIn;

// The destination part of a command such as "SendString Host 20 "text"" or
// "SendDate  Serial 3 "/" 1": the words before the first double quote, the quoted text and
// what follows it.
struct TCommandTarget {
    QByteArray dest;    // the second word, upper-cased ("HOST", "SERIAL", "FILE"), or empty
    int number = -1;    // the third word (a trailing comma allowed), -1 when not a number
    QByteArray quoted;  // between the first and the last double quote
    QByteArray after;   // after the last double quote, trimmed
};

// One console command as the DAS received it.
struct TConsoleCommand {
    QByteArray bytes;             // the command, without its terminator
    char terminator = 0;          // 0, '\r' or '\n'
    uint32_t queueTime = 0;       // the host's queue clock when it arrived
    std::chrono::steady_clock::time_point arrival;

    QString Text() const { return QString::fromLatin1(bytes); }
    // The first blank-separated word, upper-cased.
    QString Word() const;
    // For a PicoDos command (PicoDos "Date "): the text inside the quotes, trimmed; for any
    // other command (also a PicoDos command typed without its wrapper), the command trimmed.
    QString PicoDosText() const;
    // The bytes between the first and the last double quote; empty when there are none.
    QByteArray Quoted() const;
    TCommandTarget Target() const;
};

// The stand-in's command console on host channel 255.
class TDasConsole {
public:
    using THandler = std::function<void(const TConsoleCommand&)>;

    // Starts reading channel 255 of `das` (replacing any earlier reader of that channel).
    explicit TDasConsole(TDasStandIn& das);
    // Stops reading; waits for a handler that is running.
    ~TDasConsole();
    TDasConsole(const TDasConsole&) = delete;
    TDasConsole& operator=(const TDasConsole&) = delete;

    // Answers commands whose first word is `word` (any case), replacing an earlier handler.
    void On(const QString& word, THandler handler);
    // Answers PicoDos commands whose inner first word is `word` (any case).
    void OnPicoDos(const QString& word, THandler handler);
    // Answers every command no other handler takes.
    void OnOther(THandler handler);

    // The stand-in the console answers on.
    TDasStandIn& StandIn() const { return das_; }

    // Every command received so far, in order.
    std::vector<TConsoleCommand> Commands() const;
    // Their texts.
    QStringList Texts() const;
    // Waits until at least `count` commands have arrived.
    bool WaitForCommands(size_t count, int timeoutMs = kTestWaitMs) const;
    // Forgets the commands received so far.
    void Clear();

    // Control text for the host on channel 255 (host-side command lines such as
    // "DataStart 12\r\n"), as Latin-1 bytes.
    void SendControlText(const QString& text);
    // Bytes, or Latin-1 text, for the host on any channel.
    void SendChannelData(uint8_t channel, const QByteArray& bytes);
    void SendChannelText(uint8_t channel, const QString& text);

private:
    struct TState;

    TDasStandIn& das_;
    std::shared_ptr<TState> state_;
};
