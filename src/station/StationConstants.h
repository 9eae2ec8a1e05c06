#pragma once
// Fixed numbers of the station model: power switches, host channel range and setting defaults.

#include <cstdint>

// The DAS has power switches 0 to 16; switch 0 is always powered first.
constexpr int kSwitchCount = 17;
constexpr int kHighestSwitch = kSwitchCount - 1;

// Host channels of the link run from 0 to 255.
constexpr int kHighestHostChannel = 255;

// Least delay before the next instrument is powered, per switch, in hundredths of a second.
constexpr int kDefaultPowerOnDelayTicks = 30;

// Offset of each device terminal window from the previous one, in pixels and screen fractions.
constexpr int kTerminalCascadePixels = 50;
constexpr double kTerminalCascadeFraction = 0.05;
// Terminal window size read for a section without window keys, as a screen fraction.
constexpr double kTerminalSizeFraction = 0.45;

// The fixed settings texts that hold at most 8 characters ("N,8,1").
constexpr int kPortSettingsChars = 8;
