#pragma once
// A wait that keeps the event loop running, so windows repaint and posted work goes on while
// the caller waits.

// UI thread (or any thread that runs an event loop). Runs the event loop until `ms`
// milliseconds have passed or the application is closing; returns at once for ms <= 0.
// Re-entrant: work run during the wait may wait in turn.
void WaitMs(int ms);

// UI thread. A wait that blocks the program as a plain sleep would, except that its windows
// keep painting: for `ms` milliseconds only the window system's own work (showing, exposing,
// painting, answering the desktop) and work posted to this thread run. The operator's input
// stays queued until the wait ends, the program's timers (QTimer) fire only after it, and a
// request to close a window is refused meanwhile. Returns at once for ms <= 0.
void WaitPaintingOnly(int ms);
