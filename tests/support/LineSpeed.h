#pragma once
// The line speed a terminal is set to, read and decoded here rather than by the program's own
// speed functions, so that a wrong entry in the program's table shows as a wrong speed.

#include <QString>
#include <cstdint>

// The output speed of the terminal open on `fd` (a pseudo-terminal's master reads its
// slave's); 0 when it cannot be read or the speed code is unknown here.
uint32_t LineSpeed(int fd);
// The same through a descriptor of its own on the device at `path`.
uint32_t LineSpeed(const QString& path);
