#include "support/das/DasSystem.h"

#include <QList>
#include <mutex>
#include <utility>
#include <vector>

#include "support/das/DasClock.h"
#include "support/das/DasConsole.h"
#include "support/das/DasInstruments.h"
#include "support/das/DasStandIn.h"

namespace {

// The DAS console's prompt as it ends a listing.
const QByteArray kPrompt = "PX>";

// The variables a DAS keeps from the factory.
std::vector<std::pair<QString, QString>> FactoryVariables()
{
    return {{QStringLiteral("AUTORUN"), QStringLiteral("0")},
            {QStringLiteral("SWITCH.SLEEP"), QStringLiteral("1")},
            {QStringLiteral("HOST.BAUD"), QStringLiteral("115200")},
            {QStringLiteral("HOST.PROTO"), QStringLiteral("1")},
            {QStringLiteral("INFO.VERBOSE"), QStringLiteral("0")},
            {QStringLiteral("INFO.DEST"), QStringLiteral("HOST")},
            {QStringLiteral("WAKECHAR"), QStringLiteral("3")},
            {QStringLiteral("WAKECHANNEL"), QStringLiteral("0")},
            {QStringLiteral("PRSCALE"), QStringLiteral("1.000")},
            {QStringLiteral("PROFFSET"), QStringLiteral("0.000")}};
}

// The text after a PicoDos command's first word, trimmed.
QString Argument(const TConsoleCommand& command)
{
    const QString text = command.PicoDosText();
    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    return blank < 0 ? QString() : text.mid(blank + 1).trimmed();
}

}  // namespace

struct TDasSystem::TState {
    TDasConsole* console = nullptr;
    TDasInstruments* instruments = nullptr;
    mutable std::mutex lock;
    bool detached = false;
    int conOut = -1;  // host channel of the console output; -1: the serial console
    TDasClock clock;
    std::vector<std::pair<QString, QString>> variables = FactoryVariables();
    int sequenceNumber = 0;

    // What a PicoDos command prints (lock held).
    void Print(const QByteArray& text) const
    {
        if (conOut >= 0 && conOut <= 255 && !text.isEmpty()) {
            console->SendChannelData(static_cast<uint8_t>(conOut), text);
        }
    }

    void SetConOut(const TConsoleCommand& command)
    {
        const TCommandTarget target = command.Target();
        conOut = target.dest == "HOST" ? target.number : -1;
    }

    void Date(const TConsoleCommand& command)
    {
        const QString text = Argument(command);
        if (text.isEmpty()) {
            Print("\n" + TDasClock::DateLine(clock.Now()) + "\r\n");
        } else if (!clock.Set(text)) {
            Print("Invalid date or time\r\n");
        }
    }

    void Set(const TConsoleCommand& command)
    {
        const QString text = Argument(command);
        const qsizetype equals = text.indexOf(QLatin1Char('='));
        if (equals < 0) {
            QByteArray listing;
            for (const auto& [name, value] : variables) {
                if (name.startsWith(text, Qt::CaseInsensitive)) {
                    listing += (name + QLatin1Char('=') + value).toLatin1() + "\r\n";
                }
            }
            Print(listing + kPrompt + "\r\n");
            return;
        }
        const QString name = text.left(equals).trimmed().toUpper();
        const QString value = text.mid(equals + 1).trimmed();
        auto it = variables.begin();
        while (it != variables.end() && it->first != name) {
            ++it;
        }
        if (it != variables.end()) {
            it->second = value;
        } else if (!name.isEmpty()) {
            variables.emplace_back(name, value);
        }
    }

    // "SendDate" and "SendTime" (lock held).
    void SendStamp(const TConsoleCommand& command, bool date) const
    {
        const TCommandTarget target = command.Target();
        const QByteArray text =
            date ? TDasClock::DateStamp(clock.Now(), target.quoted, target.after.toInt())
                 : TDasClock::TimeStamp(clock.Now(), target.quoted);
        if (instruments != nullptr) {
            instruments->SendTo(target.dest, target.number, text);
        } else if (target.dest == "HOST" && target.number >= 0 && target.number <= 255) {
            console->SendChannelData(static_cast<uint8_t>(target.number), text);
        }
    }

    void SetProtocol(const TConsoleCommand& command) const
    {
        const QList<QByteArray> words = command.bytes.simplified().split(' ');
        const int baud = words.value(1).toInt();
        const int level = words.value(2).toInt();
        TDasStandIn& das = console->StandIn();
        if (level == 1 || level == 2) {
            das.SetProtocol(level);
        }
        if (das.BaudRate() > 0 && baud > 0) {
            das.SetBaudRate(static_cast<uint32_t>(baud));
        }
    }
};

TDasSystem::TDasSystem(TDasConsole& console, TDasInstruments* instruments)
    : state_(std::make_shared<TState>())
{
    state_->console = &console;
    state_->instruments = instruments;
    std::shared_ptr<TState> state = state_;
    // Each handler runs under the lock, and not at all once this is gone.
    const auto locked = [state](void (*run)(TState&, const TConsoleCommand&)) {
        return [state, run](const TConsoleCommand& command) {
            const std::lock_guard guard(state->lock);
            if (!state->detached) {
                run(*state, command);
            }
        };
    };
    console.On(QStringLiteral("SetConOut"),
               locked([](TState& s, const TConsoleCommand& c) { s.SetConOut(c); }));
    console.OnPicoDos(QStringLiteral("Date"),
                      locked([](TState& s, const TConsoleCommand& c) { s.Date(c); }));
    console.OnPicoDos(QStringLiteral("Set"),
                      locked([](TState& s, const TConsoleCommand& c) { s.Set(c); }));
    console.On(QStringLiteral("SendDate"),
               locked([](TState& s, const TConsoleCommand& c) { s.SendStamp(c, true); }));
    console.On(QStringLiteral("SendTime"),
               locked([](TState& s, const TConsoleCommand& c) { s.SendStamp(c, false); }));
    console.On(QStringLiteral("SETPROTOCOL"),
               locked([](TState& s, const TConsoleCommand& c) { s.SetProtocol(c); }));
    console.On(QStringLiteral("ResetSeqNum"), locked([](TState& s, const TConsoleCommand& c) {
                   s.sequenceNumber = c.bytes.simplified().split(' ').value(1).toInt();
               }));
    for (const char* word : {"Sleep", "WaitTicks"}) {
        console.On(QString::fromLatin1(word), [](const TConsoleCommand&) {});
    }
}

TDasSystem::~TDasSystem()
{
    const std::lock_guard guard(state_->lock);
    state_->detached = true;
}

QString TDasSystem::Variable(const QString& name) const
{
    const std::lock_guard guard(state_->lock);
    for (const auto& [stored, value] : state_->variables) {
        if (stored == name.toUpper()) {
            return value;
        }
    }
    return QString();
}

int TDasSystem::SequenceNumber() const
{
    const std::lock_guard guard(state_->lock);
    return state_->sequenceNumber;
}

std::chrono::milliseconds TDasSystem::ClockAhead() const
{
    const std::lock_guard guard(state_->lock);
    return state_->clock.Ahead();
}
