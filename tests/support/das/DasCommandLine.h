#pragma once
// The stand-in DAS's answer to a console command it does not know: a line on the error
// channel (253) naming the command, as an operator typing in the command console expects
// to see when the DAS cannot carry a command out.
//
// Every public function may be called from any thread; the answer runs on the stand-in's
// thread.

#include <memory>

class TDasConsole;

class TDasCommandLine {
public:
    // Answers on `console` every command no other handler takes.
    explicit TDasCommandLine(TDasConsole& console);
    // The console's handler stays but answers nothing from now on.
    ~TDasCommandLine();
    TDasCommandLine(const TDasCommandLine&) = delete;
    TDasCommandLine& operator=(const TDasCommandLine&) = delete;

private:
    struct TState;
    std::shared_ptr<TState> state_;
};
