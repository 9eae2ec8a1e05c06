#include "support/das/DasStatus.h"

#include <condition_variable>
#include <map>
#include <mutex>

#include "link/MuxClasses.h"
#include "support/das/DasConsole.h"
#include "support/das/DasFiles.h"
#include "support/das/DasInstruments.h"
#include "support/das/DasStandIn.h"

namespace {

QByteArray MuxStatsOf(const TDasStandIn& das)
{
    const auto n = [](auto value) { return QByteArray::number(value); };
    const std::map<uint8_t, TDasStandIn::TChannelTotals> totals = das.ChannelTotals();
    qint64 toHost = 0;
    qint64 fromHost = 0;
    for (const auto& [channel, counts] : totals) {
        toHost += counts.toHost;
        fromHost += counts.fromHost;
    }
    QByteArray report = "All channels: " + n(toHost) + " bytes to host, " + n(fromHost) +
                        " bytes from host\r\n";
    // Two short lines, so that the report fits the statistics window's width.
    report += "Packets sent: " + n(das.dataPacketsSent.load()) + ", resent " +
              n(das.resends.load()) + ", polls " + n(das.polls.load()) + "\r\n";
    report += "Packets received: " + n(das.hostPacketsAccepted.load()) + ", repeated " +
              n(das.hostDuplicates.load()) + ", bad " + n(das.badFrames.load()) + "\r\n";
    for (const auto& [channel, counts] : totals) {
        report += "Channel " + n(channel).rightJustified(3, ' ') + ": " + n(counts.toHost) +
                  " bytes to host, " + n(counts.fromHost) + " bytes from host\r\n";
    }
    return report;
}

}  // namespace

struct TDasStatus::TState {
    TDasConsole* console = nullptr;
    const TDasInstruments* instruments = nullptr;
    const TDasFiles* files = nullptr;
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    bool detached = false;
    QByteArray fixedLine;
    QByteArray script = "xN";
    std::vector<TStatusRequest> requests;

    // The report of request number n (lock held).
    QByteArray Report(int n) const
    {
        if (!fixedLine.isEmpty()) {
            return fixedLine;
        }
        QByteArray ports(kStatusSerialPorts, 'C');
        QByteArray power(kStatusPowerSwitches, '0');
        if (instruments != nullptr) {
            for (int i = 0; i < kStatusSerialPorts; ++i) {
                if (instruments->IsOpen(i)) {
                    ports[i] = 'O';
                }
            }
            for (int i = 0; i < kStatusPowerSwitches; ++i) {
                if (instruments->SwitchOn(i)) {
                    power[i] = '1';
                }
            }
        }
        const double step = (n % 10) * 0.1;
        return MakeStatusLine(21.0 + step, 12.5 - step, 0.25 + step / 10, 10.0 + n % 5, ports,
                              power, files != nullptr ? files->ScriptStateField() : script);
    }
};

TDasStatus::TDasStatus(TDasConsole& console, const TDasInstruments* instruments,
                       const TDasFiles* files)
    : state_(std::make_shared<TState>())
{
    state_->console = &console;
    state_->instruments = instruments;
    state_->files = files;
    std::shared_ptr<TState> state = state_;
    console.On(QStringLiteral("SendStatus"), [state](const TConsoleCommand& command) {
        // "SendStatus Host 247": the channel is the last word.
        const QList<QByteArray> words = command.bytes.simplified().split(' ');
        bool ok = false;
        const int channel = words.size() >= 3 ? words.last().toInt(&ok) : -1;
        QByteArray line;
        {
            std::lock_guard guard(state->lock);
            if (state->detached) {
                return;
            }
            state->requests.push_back({command.queueTime, command.arrival});
            line = state->Report(static_cast<int>(state->requests.size()));
        }
        state->changed.notify_all();
        if (ok && channel >= 0 && channel <= 255 &&
            words.value(1).compare("HOST", Qt::CaseInsensitive) == 0) {
            state->console->SendChannelData(static_cast<uint8_t>(channel), line + "\r\n");
        }
    });
    console.On(QStringLiteral("SENDMUXSTATS"), [state](const TConsoleCommand&) {
        {
            std::lock_guard guard(state->lock);
            if (state->detached) {
                return;
            }
        }
        state->console->SendChannelData(kMuxStatsChannel, MuxStatsOf(state->console->StandIn()));
    });
}

TDasStatus::~TDasStatus()
{
    std::lock_guard guard(state_->lock);
    state_->detached = true;
}

void TDasStatus::SetStatusLine(const QByteArray& line)
{
    std::lock_guard guard(state_->lock);
    state_->fixedLine = line;
}

void TDasStatus::SetScriptState(const QByteArray& state)
{
    std::lock_guard guard(state_->lock);
    state_->script = state;
}

int TDasStatus::Requests() const
{
    std::lock_guard guard(state_->lock);
    return static_cast<int>(state_->requests.size());
}

std::vector<TStatusRequest> TDasStatus::RequestLog() const
{
    std::lock_guard guard(state_->lock);
    return state_->requests;
}

bool TDasStatus::WaitForRequests(int count, int timeoutMs) const
{
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
        return static_cast<int>(state_->requests.size()) >= count;
    });
}

QByteArray TDasStatus::MakeStatusLine(double temperature, double voltage, double current,
                                      double depth, const QByteArray& ports,
                                      const QByteArray& power, const QByteArray& script)
{
    return QByteArray::number(temperature, 'f', 1) + ',' + QByteArray::number(voltage, 'f', 1) +
           ',' + QByteArray::number(current, 'f', 2) + ',' + QByteArray::number(depth, 'f', 1) +
           ',' + ports + ',' + power + ',' + script;
}
