#pragma once
// How long a test waits for something it expects to happen. The waits end as soon as it does,
// so a generous limit costs nothing when the test passes and keeps a loaded two-core machine
// running the sanitizer build from failing a test that is only slow.

inline constexpr int kTestWaitMs = 30000;
