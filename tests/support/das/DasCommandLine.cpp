#include "support/das/DasCommandLine.h"

#include <mutex>

#include "link/MuxClasses.h"
#include "support/das/DasConsole.h"

struct TDasCommandLine::TState {
    std::mutex lock;
    bool detached = false;
};

TDasCommandLine::TDasCommandLine(TDasConsole& console) : state_(std::make_shared<TState>())
{
    std::shared_ptr<TState> state = state_;
    TDasConsole* answer = &console;
    console.OnOther([state, answer](const TConsoleCommand& command) {
        const std::lock_guard guard(state->lock);
        if (state->detached) {
            return;
        }
        answer->SendChannelData(kErrorChannel,
                                "Unknown command: " + command.bytes.trimmed() + "\r\n");
    });
}

TDasCommandLine::~TDasCommandLine()
{
    const std::lock_guard guard(state_->lock);
    state_->detached = true;
}
