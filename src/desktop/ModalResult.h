#pragma once
// The results the program's own dialogs end with, as callers compare them.

// OK and Cancel.
constexpr int kModalOk = 1;
constexpr int kModalCancel = 2;
