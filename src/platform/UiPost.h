#pragma once
// Hand-off of work to the UI thread: posted callables run on the UI thread's event loop in the
// order they were posted. Posting never blocks the caller.

#include <functional>

// Any thread. Runs `work` on the UI thread later (also when called on the UI thread).
void PostToUi(std::function<void()> work);
// True on the thread that runs the application's event loop.
bool IsUiThread();
