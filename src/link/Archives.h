#pragma once
// Link archives (".dar" files): the link's traffic recorded to a file, and a file played back
// through the receive parser as if the DAS were sending it.
//
// An archive is a 72-byte header (the DAS unit ID in 48 bytes, then the start time as text in
// 24 bytes, each zero-padded with at least one zero) followed by data packets in their wire
// form, back to back: every data packet the DAS sent, as it arrived, and the bytes read from
// PC device ports as host records (flag 0x80) that carry the archive's own sequence number.
//
// Threads: the link thread appends received packets and reads the file being played back; the
// UI thread starts and stops both and appends PC device port data. Every record is written
// whole under the recording lock, and the playback file is read and closed under its own.

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "link/Host.h"
#include "link/Packets.h"
#include "link/Serial.h"

// Header fields: the unit ID, the start time text, and the whole header.
constexpr int kArchiveIdBytes = 48;
constexpr int kArchiveTimeBytes = 24;
constexpr int kArchiveHeaderBytes = kArchiveIdBytes + kArchiveTimeBytes;
// How long stopping a recording or a playback lets the event loop run before the file closes.
constexpr int kArchiveStopWaitMs = 200;
// The archive's own sequence number before the first host record.
constexpr uint8_t kFirstArchiveSequence = 255;
// A playback reads its file this many bytes at a time.
constexpr uint32_t kPlaybackBlockBytes = 64 * 1024;

// The texts of an archive header, each read at most to its field's size and cut at its first
// zero byte (Latin-1).
struct TArchiveHeader {
    QString id;
    QString startTime;
};

// Any thread. A header field: the text as Latin-1, cut to size - 1 bytes, zero-padded to size.
QByteArray ArchiveTextField(const QString& text, int size);
// Any thread. The texts of a 72-byte header.
TArchiveHeader ParseArchiveHeader(const uint8_t* header);
// Any thread. Fills `packet` as the host record of `count` (at most 254) bytes for `channel`:
// flags 0x80, `sequence`, `time` most significant byte first, one segment, the CRC after the
// payload. Returns the record's length on the wire (18 + count).
uint32_t MakeHostRecord(DataPacket& packet, uint8_t sequence, uint32_t time, uint8_t channel,
                        const uint8_t* bytes, uint32_t count);

// The archive file being recorded and the one being played back. THost owns the one instance
// and runs the operator's side (dialogs, the link thread); this keeps the files.
class TArchive final : public IArchiveRecorder, public TPlaybackSource {
public:
    explicit TArchive(THost& host) : host_(host) {}
    TArchive(const TArchive&) = delete;
    TArchive& operator=(const TArchive&) = delete;

    // --- Recording ---
    // UI thread. Creates (or replaces) the file; false when that fails (no box).
    bool OpenRecordFile(const QString& path);
    // UI thread. Appends header bytes; false (after a box) when that fails.
    bool WriteHeader(const QByteArray& bytes);
    // UI thread. Recording on or off; off closes nothing.
    void SetRecording(bool on);
    // UI thread. Closes the record file (recording goes off).
    void CloseRecordFile();
    bool RecordFileOpen() const { return recordFile_.IsOpen(); }
    // Link thread: appends a received data packet (18 + its counts bytes) while recording.
    void ArchivePacket(const DataPacket& packet) override;
    // Any thread: appends the bytes as host records for `channel`, one per started 254 bytes,
    // all with the archive's next sequence number, while recording.
    void ArchiveHostData(const uint8_t* bytes, uint32_t count, uint8_t channel, uint32_t time);

    // --- Playback ---
    // UI thread. Opens the file for reading; false when that fails (no box).
    bool OpenPlayFile(const QString& path);
    // UI thread, before playback runs. Reads the 72-byte header; false when the file is
    // shorter or cannot be read.
    bool ReadPlayHeader(TArchiveHeader& header);
    // UI thread. Closes the playback file when open.
    void ClosePlayFile();
    // Any thread. The playback still has packets to deliver: the file is open, or it has
    // ended but the receive parser has not yet taken everything read from it.
    bool IsOpen() const override { return delivering_.load(std::memory_order_acquire); }
    // Link thread. The next bytes of the file (read from it in large blocks); 0 once the file
    // has ended and the parser has taken all it can of them (the playback then counts as
    // closed).
    uint32_t Read(uint8_t* buffer, uint32_t room) override;
    // Link thread. The file has ended: its handle closes.
    void Close() override;

private:
    // Shows a failed write (an errno; 0 is success) once per run of failures. Any thread,
    // without the record lock.
    void ReportWrite(int error);

    THost& host_;

    std::mutex recordLock_;
    TFileHandle recordFile_;
    uint8_t sequence_ = kFirstArchiveSequence;  // guarded by recordLock_
    std::atomic<bool> writeFailing_{false};

    std::mutex playLock_;
    TFileHandle playFile_;
    std::atomic<bool> delivering_{false};
    // The block last read from the file and how far the parser has taken it (playLock_).
    std::vector<uint8_t> block_ = std::vector<uint8_t>(kPlaybackBlockBytes);
    uint32_t blockTaken_ = 0;
    uint32_t blockFill_ = 0;
    // After the end of the file: the parser's fill at the last read, -1 before the end.
    int64_t fillAtEnd_ = -1;  // guarded by playLock_
};
