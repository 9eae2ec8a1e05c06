#include "support/das/DasInstruments.h"

#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "support/das/DasConsole.h"
#include "support/das/DasFiles.h"
#include "support/das/DasStandIn.h"

namespace {

// The numbers after the command word ("OpenSerial 3, 9600" gives 3 and 9600).
QList<int> Numbers(const QByteArray& command)
{
    QList<int> out;
    const QList<QByteArray> words = command.simplified().split(' ');
    for (qsizetype i = 1; i < words.size(); ++i) {
        bool ok = false;
        QByteArray word = words[i];
        if (word.endsWith(',')) {
            word.chop(1);
        }
        const int value = word.toInt(&ok);
        if (ok) {
            out << value;
        }
    }
    return out;
}

// The DAS's own reading of the escapes in a SendString text.
QByteArray Unescape(const QByteArray& text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out.append(text[i]);
            continue;
        }
        const char e = text[++i];
        if (e == 'r') {
            out.append('\r');
        } else if (e == 'n') {
            out.append('\n');
        } else if ((e == 'x' || e == 'X') && i + 2 < text.size()) {
            out.append(static_cast<char>(text.mid(i + 1, 2).toInt(nullptr, 16)));
            i += 2;
        } else {
            out.append(e);
        }
    }
    return out;
}

}  // namespace

struct TDasInstruments::TState {
    struct TInstrument {
        TInstrumentSpec spec;
        bool open = false;
        int route = -1;     // host channel the port is routed to
        int fileSlot = -1;  // or the DAS file slot
        bool streaming = false;
        QByteArray partial;
        QList<QByteArray> lines;
        int samples = 0;
    };

    explicit TState(TDasStandIn& d) : das(d) {}

    TDasStandIn& das;
    TDasFiles* disk = nullptr;
    mutable std::mutex lock;
    std::condition_variable wake;
    bool stopping = false;
    std::map<int, TInstrument> instruments;
    std::map<int, bool> switches;
    std::map<int, int> readings;
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::thread streamer;

    // Bytes for the instrument on `port` (lock held); complete lines take effect.
    void Feed(int port, const QByteArray& bytes)
    {
        const auto it = instruments.find(port);
        if (it == instruments.end()) {
            return;
        }
        TInstrument& in = it->second;
        for (const char c : bytes) {
            if (c != '\r' && c != '\n') {
                in.partial.append(c);
                continue;
            }
            if (in.partial.isEmpty()) {
                continue;
            }
            const QByteArray line = in.partial;
            in.partial.clear();
            in.lines << line;
            if (line == in.spec.startLine) {
                in.streaming = true;
            } else if (line == in.spec.stopLine) {
                in.streaming = false;
            } else if (line == in.spec.pollLine && Emit(in, in.spec.sample)) {
                ++in.samples;
            }
        }
    }

    // An open port's bytes go where it is routed (lock held): a host channel or a DAS file.
    bool Emit(const TInstrument& in, const QByteArray& bytes)
    {
        if (!in.open) {
            return false;
        }
        if (in.route >= 0 && in.route <= 255) {
            das.SendChannelData(static_cast<uint8_t>(in.route), bytes);
            return true;
        }
        if (in.fileSlot >= 0 && disk != nullptr) {
            disk->AppendToSlot(in.fileSlot, bytes);
            return true;
        }
        return false;
    }

    void Route(const std::shared_ptr<TState>& self, int port, int channel, int fileSlot = -1)
    {
        TInstrument& in = instruments[port];
        in.fileSlot = fileSlot;
        if (in.route >= 0 && in.route < 255) {
            das.OnChannelData(static_cast<uint8_t>(in.route), nullptr);
        }
        in.route = channel;
        if (channel >= 0 && channel < 255) {
            std::weak_ptr<TState> weak = self;
            das.OnChannelData(static_cast<uint8_t>(channel), [weak, port](const QByteArray& b) {
                if (const std::shared_ptr<TState> state = weak.lock()) {
                    const std::lock_guard guard(state->lock);
                    state->Feed(port, b);
                }
            });
        }
    }

    void Command(const std::shared_ptr<TState>& self, const TConsoleCommand& command)
    {
        const QString word = command.Word();
        const QList<int> n = Numbers(command.bytes);
        const std::lock_guard guard(lock);
        if (word == QLatin1String("SETPOWER") && n.size() >= 2) {
            switches[n[0]] = n[1] != 0;
        } else if (word == QLatin1String("OPENSERIAL") && !n.isEmpty()) {
            instruments[n[0]].open = true;
            wake.notify_all();
        } else if (word == QLatin1String("CLOSESERIAL") && !n.isEmpty()) {
            Route(self, n[0], -1);
            instruments[n[0]].open = false;
        } else if (word == QLatin1String("ROUTESERIAL") && n.size() >= 2) {
            const QByteArray upper = command.bytes.toUpper();
            const bool host = upper.contains(" HOST ");
            const bool file = upper.contains(" FILE ");
            Route(self, n[0], host ? n[1] : -1, file ? n[1] : -1);
            wake.notify_all();
        } else if (word == QLatin1String("UNROUTESERIAL") && !n.isEmpty()) {
            Route(self, n[0], -1);
        } else if (word == QLatin1String("SENDSTRING")) {
            const TCommandTarget target = command.Target();
            SendTo(target.dest, target.number, Unescape(target.quoted));
        } else if (word == QLatin1String("SENDANALOG") || word == QLatin1String("SENDANALOGDIFF") ||
                   word == QLatin1String("SENDFREQUENCY")) {
            // "SendAnalog 4  Host 20": the input's number, then the destination.
            const QList<QByteArray> words = command.bytes.simplified().split(' ');
            if (words.size() >= 4 && !n.isEmpty()) {
                SendTo(words[2].toUpper(), words[3].toInt(), Reading(word, n[0]) + "\r\n");
                ++readings[n[0]];
            }
        }
    }

    // Bytes for a destination of a command (lock held): an instrument's serial port, a host
    // channel or a DAS file slot; others go nowhere.
    void SendTo(const QByteArray& dest, int number, const QByteArray& bytes)
    {
        if (dest == "SERIAL") {
            Feed(number, bytes);
        } else if (dest == "HOST" && number >= 0 && number <= 255) {
            das.SendChannelData(static_cast<uint8_t>(number), bytes);
        } else if (dest == "FILE" && disk != nullptr) {
            disk->AppendToSlot(number, bytes);
        }
    }

    // A reading of input `port` as the DAS reports it: volts for an analog or differential
    // input, hertz for a frequency input; each input drifts slowly on its own.
    QByteArray Reading(const QString& word, int port) const
    {
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                             .count();
        const double phase = t / 7.0 + port;
        if (word == QLatin1String("SENDFREQUENCY")) {
            return QByteArray::number(1500.0 + 250.0 * std::sin(phase), 'f', 2);
        }
        if (word == QLatin1String("SENDANALOGDIFF")) {
            return QByteArray::number(0.05 * std::sin(phase), 'f', 4);
        }
        return QByteArray::number(2.5 + 1.5 * std::sin(phase), 'f', 4);
    }

    void Stream()
    {
        std::unique_lock guard(lock);
        while (!stopping) {
            auto next = std::chrono::milliseconds(50);
            for (auto& [port, in] : instruments) {
                if (in.streaming && Emit(in, in.spec.sample)) {
                    ++in.samples;
                    next = std::min(next, in.spec.interval);
                }
            }
            wake.wait_for(guard, next, [this] { return stopping; });
        }
    }
};

TDasInstruments::TDasInstruments(TDasStandIn& das, TDasConsole& console)
    : state_(std::make_shared<TState>(das))
{
    std::weak_ptr<TState> weak = state_;
    const auto handler = [weak](const TConsoleCommand& command) {
        if (const std::shared_ptr<TState> state = weak.lock()) {
            state->Command(state, command);
        }
    };
    for (const char* word :
         {"SETPOWER", "OpenSerial", "CloseSerial", "RouteSerial", "UnRouteSerial", "SendString",
          "SendAnalog", "SendAnalogDiff", "SendFrequency", "SETBREAK", "CLEARBREAK"}) {
        console.On(QString::fromLatin1(word), handler);
    }
    state_->streamer = std::thread([state = state_.get()] { state->Stream(); });
}

TDasInstruments::~TDasInstruments()
{
    {
        const std::lock_guard guard(state_->lock);
        state_->stopping = true;
        for (auto& [port, in] : state_->instruments) {
            if (in.route >= 0 && in.route < 255) {
                state_->das.OnChannelData(static_cast<uint8_t>(in.route), nullptr);
            }
        }
    }
    state_->wake.notify_all();
    state_->streamer.join();
}

void TDasInstruments::AddSerialInstrument(int port, const TInstrumentSpec& spec)
{
    const std::lock_guard guard(state_->lock);
    state_->instruments[port].spec = spec;
}

void TDasInstruments::SetDisk(TDasFiles* files)
{
    const std::lock_guard guard(state_->lock);
    state_->disk = files;
}

bool TDasInstruments::Emit(int port, const QByteArray& bytes)
{
    const std::lock_guard guard(state_->lock);
    const auto it = state_->instruments.find(port);
    return it != state_->instruments.end() && state_->Emit(it->second, bytes);
}

void TDasInstruments::SendTo(const QByteArray& dest, int number, const QByteArray& bytes)
{
    const std::lock_guard guard(state_->lock);
    state_->SendTo(dest.toUpper(), number, bytes);
}

bool TDasInstruments::SwitchOn(int powerSwitch) const
{
    const std::lock_guard guard(state_->lock);
    const auto it = state_->switches.find(powerSwitch);
    return it != state_->switches.end() && it->second;
}

bool TDasInstruments::IsOpen(int port) const
{
    const std::lock_guard guard(state_->lock);
    const auto it = state_->instruments.find(port);
    return it != state_->instruments.end() && it->second.open;
}

int TDasInstruments::RouteOf(int port) const
{
    const std::lock_guard guard(state_->lock);
    const auto it = state_->instruments.find(port);
    return it != state_->instruments.end() ? it->second.route : -1;
}

bool TDasInstruments::IsStreaming(int port) const
{
    const std::lock_guard guard(state_->lock);
    const auto it = state_->instruments.find(port);
    return it != state_->instruments.end() && it->second.streaming;
}

QList<QByteArray> TDasInstruments::LinesTo(int port) const
{
    const std::lock_guard guard(state_->lock);
    const auto it = state_->instruments.find(port);
    return it != state_->instruments.end() ? it->second.lines : QList<QByteArray>();
}

int TDasInstruments::SamplesFrom(int port) const
{
    const std::lock_guard guard(state_->lock);
    const auto it = state_->instruments.find(port);
    return it != state_->instruments.end() ? it->second.samples : 0;
}

int TDasInstruments::ReadingsFrom(int port) const
{
    const std::lock_guard guard(state_->lock);
    const auto it = state_->readings.find(port);
    return it != state_->readings.end() ? it->second : 0;
}
