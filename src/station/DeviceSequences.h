#pragma once
// Device command sequences: a device's settings made into sorted lists of timed DAS console
// commands (TimedLines.h) for power on and off, data start and stop and capture start and
// stop, alone or as its part of the station batches. Lines beginning with "*" (ended by a
// carriage return) are host-side commands the program runs itself when they fall due.
//
// At equal times the steps of several devices interleave in a fixed order: before each step
// the batches set the running sequence number to a fixed band (0, 10, 40, 50, 80, 90, 100, 120,
// 130, 160, 170, 180, 190, 200, 210, 240), and lines sort by time, band, then text. A command
// block long enough to run the number past 255 wraps to 000 and sorts before its head.
//
// A device on a PC port has no DAS serial port: it gets no DAS serial-port command; the text
// of its command blocks goes to its PC device port through its host channel, when due.
//
// Threads: everything here runs on the UI thread.

#include <QString>
#include <QStringList>
#include <cstdint>

class TDevice;

// Batch times in hundredths of a second: power-on and stop steps start at kBatchStartTime,
// data starts around kBatchDataTime (the step between them counts as no wait).
constexpr int kBatchStartTime = 10'000'000;
constexpr int kBatchDataTime = 50'000'000;

// Sequence-number bands of the batch steps.
enum : uint8_t {
    kBandOpenSerial = 0,
    kBandCaptureAtPower = 10,
    kBandDataStop = 40,
    kBandPowerOn = 50,
    kBandSavedData = 80,
    kBandCaptureAfterCmd = 90,
    kBandCaptureStopData = 100,
    kBandCaptureStopAfter = 120,
    kBandPowerOnCmd = 130,
    kBandPowerOffCmd = 160,
    kBandCaptureBeforeData = 170,
    kBandCaptureStopPower = 180,
    kBandCaptureStopLast = 190,
    kBandPowerOff = 200,
    kBandDataStart = 210,
    kBandCloseSerial = 240,
};

// The command word of a PC port's block text in a timed list ("SendString PCSerial <hc>");
// never sent to the DAS: the bytes go to the device's host channel.
inline const QString kPcDataWord = QStringLiteral("PCSerial");

// The settings letters of a PortSettings text ("N,8,1" and "N,8,1.5" give "N81"); letters the
// text lacks read as "N", "8" and "1".
QString SettingsLetters(const QString& portSettings);

// Sorts a timed list: text order without regard to ASCII case (time, sequence, command);
// equal lines keep their order.
void SortTimedLines(QStringList& list);

// Hands a timed list (sorted here) to the DAS relative to `startStamp`; a PC port's block text
// is queued on its host channel at the time its line falls due. Returns when the last will
// have finished (ms).
int SendSequence(QStringList list, int startStamp);

// Building steps: each appends at `time` with the running sequence number.
void AddOpenSerialCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq);
void AddPowerOnCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq);
void AddPowerOnCmdCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq);
void AddPowerOffCmdCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq);
void AddCloseSerialCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq);
void AddPowerOffCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq);
void AddGetSavedDataCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq);
void AddDataStartCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq);
// Also clears the data on flag and drops what is still queued for the device (its channel's
// data and its queued commands, matched by whole number).
void AddDataStopCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq);

// Capture start and stop; during archive playback they act on the PC side alone.
void AddStartCaptureCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq);
void AddStopCaptureCommands(TDevice& device, QStringList& list, int& time, uint8_t& seq);

// The device's part of the start-all batch: power at `powerTime` (advanced by the switch's
// PowerOnDelay when `power`), data start before `dataTime`, capture as StartDataCapture says.
void AddStartSequence(TDevice& device, QStringList& list, int dataTime, int& powerTime,
                      uint8_t& seq, bool power);
// The device's part of the stop-all batch from `time` (not changed).
void AddStopSequence(TDevice& device, QStringList& list, int time, bool power, uint8_t& seq);

// Single-device sequences, each built in a new list and sent at once.
void SendPowerOnSequence(TDevice& device, bool power, bool commands, bool openSerial, int start);
void SendPowerOffSequence(TDevice& device, bool power, bool commands, bool closeSerial);
void SendDataStart(TDevice& device);
void SendDataStop(TDevice& device);

// Whether starting a host capture would overwrite the device's capture file.
bool CaptureFileExists(const TDevice& device);

// Where the device's running file capture was made, also when the master setting moved
// meanwhile: true for a file open on the PC, false for a DAS file slot held by its name, and
// `toHost` (the master setting) when neither is held.
bool FileCaptureOnPc(const TDevice& device, bool toHost);

// Drops the device's queued work: its channel's data, and the queued commands that name its
// host channel (host-side lines) or its DAS serial port as a whole number.
void RemoveQueuedDeviceCommands(const TDevice& device);
