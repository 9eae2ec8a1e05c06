#pragma once
// A wait that keeps the event loop running, so windows repaint and posted work goes on while
// the caller waits.

// UI thread (or any thread that runs an event loop). Runs the event loop until `ms`
// milliseconds have passed or the application is closing; returns at once for ms <= 0.
// Re-entrant: work run during the wait may wait in turn.
void WaitMs(int ms);
