#pragma once
// The station the program opens at start, as the demo's stand-in sees it: the configuration
// file remembered in the settings ("INIFile" of the main window's key, under any version's
// key, newest first, as the program looks for it).
//
// A DAS keeps the link level a station switched it to while the program is restarted; the
// demo starts its stand-in anew each time, so the stand-in starts at the level of the station
// the program is about to open, and the link meets it.

#include <QString>

// Makes `stored` (a path relative to the program data folder) the configuration file the
// program opens, unless the settings already remember one.
void RememberStation(const QString& stored);

// The link level ("UseProtocol", 1 or 2) of the configuration file the program will open; 0
// when none is remembered or the file names no level.
int RememberedStationProtocol();
