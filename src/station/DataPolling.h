#pragma once
// Data polling and data labels: an on-demand instrument (collection type 0) is asked for one
// packet every packet pause while its data is on; labels and requests go to the device's
// current capture destination through the DAS; labels with their date and time stamps are
// also written straight into the PC capture file (archive playback).
//
// Threads: UI thread only (the data timer polls; the next poll time is set there too).

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

class TDevice;
class TDevices;

// Hundredths of a second in a day: packet pauses are hundredths, poll times days.
constexpr double kTicksPerDay = 8'640'000.0;

// UI thread. Asks the device for data when it is due (`now` in days since 30 December 1899):
// its Prefix label, the request (the get-data block of a serial instrument, "SendAnalog",
// "SendAnalogDiff" or "SendFrequency" otherwise), the Suffix label of the analog and
// frequency kinds, and the next poll time. True when a request was sent.
bool PollData(TDevice& device, double now);

// UI thread. Hooks PollData in as the poll of every device of the list.
void InstallDataPolling(TDevices& devices);

// UI thread. The destination text of the device's labels and requests (" Host 20",
// " File 1", ...).
QString LabelDestination(const TDevice& device);

// UI thread. Sends cmdWord + destination + the quoted text (stamps made into "SendDate" and
// "SendTime" commands) at once, from `tMs`; returns when they will have finished.
int AddLabelCommands(const TDevice& device, const QString& cmdWord, const QString& text, int tMs);

// UI thread. Writes the label block (directive and raw lines dropped, "\D" and "\T" rendered
// now, "\r" as a carriage return) into the device channel's capture; lines are separated by a
// carriage return unless the block suppresses it.
void WriteLabelNow(const TDevice& device, const QStringList& block);

// The date stamp of the device's format for `when` ("\D" of a label), and the time stamp
// ("\T"). Formats 1 to 16 write the device's infixes as they are; format 0 and any unknown
// format keep the system's separators.
QString DateStampText(const TDevice& device, const QDateTime& when);
QString TimeStampText(const TDevice& device, const QDateTime& when);

// Tests: the clock labels read (empty: the local time).
void SetLabelClock(std::function<QDateTime()> clock);
