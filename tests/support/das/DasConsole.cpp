#include "support/das/DasConsole.h"

#include <condition_variable>
#include <map>
#include <mutex>

#include "link/MuxClasses.h"
#include "link/TimedLines.h"
#include "platform/Clocks.h"
#include "support/das/DasStandIn.h"

namespace {

QString FirstWord(const QString& text)
{
    const QString trimmed = text.trimmed();
    const qsizetype blank = trimmed.indexOf(QLatin1Char(' '));
    return UpperAscii(blank < 0 ? trimmed : trimmed.left(blank));
}

}  // namespace

QString TConsoleCommand::Word() const { return FirstWord(Text()); }

QString TConsoleCommand::PicoDosText() const
{
    if (Word() != QLatin1String("PICODOS")) {
        return Text().trimmed();
    }
    return QString::fromLatin1(Quoted()).trimmed();
}

QByteArray TConsoleCommand::Quoted() const
{
    const qsizetype first = bytes.indexOf('"');
    const qsizetype last = bytes.lastIndexOf('"');
    return first >= 0 && last > first ? bytes.mid(first + 1, last - first - 1) : QByteArray();
}

TCommandTarget TConsoleCommand::Target() const
{
    TCommandTarget target;
    const qsizetype quote = bytes.indexOf('"');
    const QList<QByteArray> words =
        bytes.left(quote < 0 ? bytes.size() : quote).simplified().split(' ');
    if (words.size() >= 3) {
        target.dest = words[1].toUpper();
        QByteArray number = words[2];
        if (number.endsWith(',')) {
            number.chop(1);
        }
        bool ok = false;
        target.number = number.toInt(&ok);
        if (!ok) {
            target.number = -1;
        }
    }
    target.quoted = Quoted();
    const qsizetype last = bytes.lastIndexOf('"');
    if (quote >= 0 && last > quote) {
        target.after = bytes.mid(last + 1).trimmed();
    }
    return target;
}

// What the console shares with the stand-in's thread; kept alive by the reader until a call
// in flight has finished.
struct TDasConsole::TState {
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    QByteArray partial;
    bool inQuote = false;  // the partial command has an open double quote
    std::vector<TConsoleCommand> commands;
    std::map<QString, THandler> handlers;
    std::map<QString, THandler> picoDosHandlers;
    THandler other;

    // Held while handlers run, so the console's end waits for them.
    std::mutex dispatch;
    bool closed = false;

    THandler HandlerFor(const TConsoleCommand& command) const
    {
        const std::lock_guard guard(lock);
        const QString word = command.Word();
        const bool wrapped = word == QLatin1String("PICODOS");
        if (wrapped) {
            const auto it = picoDosHandlers.find(FirstWord(command.PicoDosText()));
            if (it != picoDosHandlers.end()) {
                return it->second;
            }
        }
        if (const auto it = handlers.find(word); it != handlers.end()) {
            return it->second;
        }
        // A PicoDos command typed at the console without its wrapper ("Date", "Set").
        if (!wrapped) {
            if (const auto it = picoDosHandlers.find(word); it != picoDosHandlers.end()) {
                return it->second;
            }
        }
        return other;
    }

    // Cuts the commands out of the bytes that came, records and answers them.
    void Receive(const QByteArray& bytes)
    {
        const std::lock_guard running(dispatch);
        if (closed) {
            return;
        }
        std::vector<TConsoleCommand> complete;
        {
            const std::lock_guard guard(lock);
            for (const char c : bytes) {
                // A line end inside a quoted text belongs to the text ("SendString Host 254
                // "done<CR>""); a zero byte always ends the command.
                if (c == '"') {
                    inQuote = !inQuote;
                }
                if (c != 0 && ((c != '\r' && c != '\n') || inQuote)) {
                    partial.append(c);
                    continue;
                }
                inQuote = false;
                if (!partial.isEmpty()) {
                    TConsoleCommand command;
                    command.bytes = partial;
                    command.terminator = c;
                    command.queueTime = QueueClockNow();
                    command.arrival = std::chrono::steady_clock::now();
                    commands.push_back(command);
                    complete.push_back(command);
                    partial.clear();
                }
            }
            changed.notify_all();
        }
        for (const TConsoleCommand& command : complete) {
            if (const THandler handler = HandlerFor(command)) {
                handler(command);
            }
        }
    }
};

TDasConsole::TDasConsole(TDasStandIn& das) : das_(das), state_(std::make_shared<TState>())
{
    std::shared_ptr<TState> state = state_;
    das_.OnChannelData(kCommandChannel,
                       [state](const QByteArray& bytes) { state->Receive(bytes); });
}

TDasConsole::~TDasConsole()
{
    das_.OnChannelData(kCommandChannel, nullptr);
    const std::lock_guard running(state_->dispatch);
    state_->closed = true;
}

void TDasConsole::On(const QString& word, THandler handler)
{
    const std::lock_guard guard(state_->lock);
    state_->handlers[UpperAscii(word)] = std::move(handler);
}

void TDasConsole::OnPicoDos(const QString& word, THandler handler)
{
    const std::lock_guard guard(state_->lock);
    state_->picoDosHandlers[UpperAscii(word)] = std::move(handler);
}

void TDasConsole::OnOther(THandler handler)
{
    const std::lock_guard guard(state_->lock);
    state_->other = std::move(handler);
}

std::vector<TConsoleCommand> TDasConsole::Commands() const
{
    const std::lock_guard guard(state_->lock);
    return state_->commands;
}

QStringList TDasConsole::Texts() const
{
    QStringList texts;
    for (const TConsoleCommand& command : Commands()) {
        texts.append(command.Text());
    }
    return texts;
}

bool TDasConsole::WaitForCommands(size_t count, int timeoutMs) const
{
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                    [&] { return state_->commands.size() >= count; });
}

void TDasConsole::Clear()
{
    const std::lock_guard guard(state_->lock);
    state_->commands.clear();
}

void TDasConsole::SendControlText(const QString& text)
{
    das_.SendChannelData(kCommandChannel, text.toLatin1());
}

void TDasConsole::SendChannelData(uint8_t channel, const QByteArray& bytes)
{
    das_.SendChannelData(channel, bytes);
}

void TDasConsole::SendChannelText(uint8_t channel, const QString& text)
{
    das_.SendChannelData(channel, text.toLatin1());
}
