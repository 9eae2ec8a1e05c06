#pragma once
// Where a generated script goes: its path on the PC, the file written there, and the file sent
// to the DAS, which can be told to run it at power-up.
//
// Threads: UI thread (the file send runs a progress window in a nested event loop).

#include <QString>
#include <QStringList>

// The script path of a file field: a name without a folder goes into the data folder's
// "Scripts" folder.
QString ScriptPathOf(const QString& fieldText);

// Creates the folder of the path when missing.
void MakeScriptFolder(const QString& path);

// Writes the lines (Latin-1, each ended by CR LF) to the path; false when it cannot be written.
bool WriteScriptFile(const QString& path, const QStringList& lines);

// The script written to `path` and sent to the DAS, then "DIR"; with `autoRun` the DAS is set
// to load and run it at power-up ("Set AUTORUN=1", "Set INITSCRIPT=<8.3 name>"), but only once
// the file has arrived there. A file that cannot be written is reported and nothing is sent.
// True when the script is on the DAS.
bool SaveAndSendScript(const QString& path, const QStringList& lines, bool autoRun);
