#include "link/Archives.h"

#include <unistd.h>

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "link/Das.h"
#include "link/Global.h"
#include "link/MuxClasses.h"
#include "link/Protocol.h"
#include "platform/Clocks.h"
#include "platform/DateTimeText.h"
#include "platform/Prompt.h"
#include "platform/WaitMs.h"

namespace {

const QString kDefaultCaptureFolder = QStringLiteral("Data\\");
const QString kArchivesFolder = QStringLiteral("Archives\\");
const QString kErrorOpeningArchive = QStringLiteral("Error Opening Archive");
const QString kCannotReadArchive = QStringLiteral("Can not Read Archive File.");
const QString kWriteFileTitle = QStringLiteral("System Error: Could Not Write to File");

QString DasModel() { return Das != nullptr ? Das->Model : kModelPelagrix; }

QString DasId() { return Das != nullptr ? Das->ID : QStringLiteral("PX000000"); }

// "Archives" under the master capture folder, created when missing (native form).
QString ArchiveFolder()
{
    QString capture = kDefaultCaptureFolder;
    if (MuxArray != nullptr) {
        if (IChannelServices* services = MuxArray->ChannelServices()) {
            capture = services->CaptureFolder();
        }
    }
    const QString folder = NativePath(IncludeTrailingBackslash(capture) + kArchivesFolder);
    QDir().mkpath(folder);
    return folder;
}

// The file dialog of an archive: "Record" or "Play Back".
TFileDialogOptions ArchiveDialog(const QString& purpose)
{
    const QString model = DasModel();
    TFileDialogOptions options;
    options.title = QStringLiteral("Select ") + model + QStringLiteral(" Archive File to ") + purpose;
    options.filter = model + QStringLiteral(" Archive Files (*.dar)|*.dar");
    options.defaultExt = QStringLiteral("dar");
    options.folder = ArchiveFolder();
    return options;
}

// The text of a zero-padded field: at most `size` bytes, cut at the first zero.
QString FieldText(const uint8_t* bytes, int size)
{
    const auto* text = reinterpret_cast<const char*>(bytes);
    const auto* end = static_cast<const char*>(std::memchr(text, 0, static_cast<size_t>(size)));
    return QString::fromLatin1(text, end != nullptr ? end - text : size);
}

// Writes every byte to `fd`: 0, or the errno of the failure. The record lock is held around
// it, so it shows no box itself: a box on the UI thread runs the event loop, whose poll of a
// PC device port would come back for the same lock.
int WriteAllBytes(int fd, const uint8_t* bytes, uint32_t count)
{
    if (fd < 0) {
        return EBADF;
    }
    uint32_t written = 0;
    while (written < count) {
        const ssize_t n = ::write(fd, bytes + written, count - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : EIO;
        }
        written += static_cast<uint32_t>(n);
    }
    return 0;
}

}  // namespace

// --- Archive format ---

QByteArray ArchiveTextField(const QString& text, int size)
{
    QByteArray field = text.toLatin1().left(size - 1);
    // A zero inside the text would end it when read back; it ends it here as well.
    const qsizetype zero = field.indexOf('\0');
    if (zero >= 0) {
        field.truncate(zero);
    }
    field.resize(size, '\0');
    return field;
}

TArchiveHeader ParseArchiveHeader(const uint8_t* header)
{
    return {FieldText(header, kArchiveIdBytes),
            FieldText(header + kArchiveIdBytes, kArchiveTimeBytes)};
}

uint32_t MakeHostRecord(DataPacket& packet, uint8_t sequence, uint32_t time, uint8_t channel,
                        const uint8_t* bytes, uint32_t count)
{
    count = std::min<uint32_t>(count, kMaxPayload);
    packet.lineFeed = kPacketStart;
    packet.type = kDataPacketType;
    packet.sequence = sequence;
    packet.flags = kFlagHostRecord;
    SetPacketTimeMsbFirst(packet, time);
    std::memset(packet.channel, 0, sizeof packet.channel);
    std::memset(packet.count, 0, sizeof packet.count);
    packet.channel[0] = channel;
    packet.count[0] = static_cast<uint8_t>(count);
    if (count > 0) {
        std::memcpy(packet.data, bytes, count);
    }
    const uint16_t crc = Crc16(reinterpret_cast<const uint8_t*>(&packet), kDataHeaderSize + count);
    packet.data[count] = static_cast<uint8_t>(crc >> 8);
    packet.data[count + 1] = static_cast<uint8_t>(crc & 0xFF);
    return kDataPacketOverhead + count;
}

// --- TArchive: recording ---

bool TArchive::OpenRecordFile(const QString& path)
{
    std::lock_guard lock(recordLock_);
    host_.SetRecording(false);
    writeFailing_.store(false);
    return recordFile_.OpenWrite(path);
}

bool TArchive::WriteHeader(const QByteArray& bytes)
{
    int error = 0;
    {
        std::lock_guard lock(recordLock_);
        error = WriteAllBytes(recordFile_.Fd(), reinterpret_cast<const uint8_t*>(bytes.constData()),
                              static_cast<uint32_t>(bytes.size()));
    }
    ReportWrite(error);
    return error == 0;
}

void TArchive::SetRecording(bool on)
{
    std::lock_guard lock(recordLock_);
    host_.SetRecording(on && recordFile_.IsOpen());
}

void TArchive::CloseRecordFile()
{
    std::lock_guard lock(recordLock_);
    host_.SetRecording(false);
    recordFile_.Close();
}

void TArchive::ArchivePacket(const DataPacket& packet)
{
    int error = 0;
    {
        std::lock_guard lock(recordLock_);
        if (!host_.Recording() || !recordFile_.IsOpen()) {
            return;
        }
        const uint32_t payload = std::min<uint32_t>(PacketPayloadLength(packet), kMaxPayload);
        error = WriteAllBytes(recordFile_.Fd(), reinterpret_cast<const uint8_t*>(&packet),
                              kDataPacketOverhead + payload);
    }
    ReportWrite(error);
}

void TArchive::ArchiveHostData(const uint8_t* bytes, uint32_t count, uint8_t channel,
                               uint32_t time)
{
    int error = 0;
    {
        std::lock_guard lock(recordLock_);
        if (count == 0 || !host_.Recording() || !recordFile_.IsOpen()) {
            return;
        }
        const uint8_t sequence = sequence_++;
        DataPacket packet{};
        for (uint32_t done = 0; done < count && error == 0;) {
            const uint32_t n = std::min<uint32_t>(count - done, kMaxPayload);
            const uint32_t length =
                MakeHostRecord(packet, sequence, time, channel, bytes + done, n);
            error = WriteAllBytes(recordFile_.Fd(), reinterpret_cast<const uint8_t*>(&packet),
                                  length);
            done += n;
        }
    }
    ReportWrite(error);
}

void TArchive::ReportWrite(int error)
{
    if (error == 0) {
        writeFailing_.store(false);
    } else if (!writeFailing_.exchange(true)) {
        // A full disk fails every record: one box per run of failures.
        ShowSystemError(kWriteFileTitle, error);
    }
}

// --- TArchive: playback ---

bool TArchive::OpenPlayFile(const QString& path)
{
    std::lock_guard lock(playLock_);
    fillAtEnd_ = -1;
    blockTaken_ = 0;
    blockFill_ = 0;
    const bool opened = playFile_.OpenRead(path);
    delivering_.store(opened, std::memory_order_release);
    return opened;
}

bool TArchive::ReadPlayHeader(TArchiveHeader& header)
{
    std::lock_guard lock(playLock_);
    uint8_t bytes[kArchiveHeaderBytes];
    uint32_t got = 0;
    while (got < static_cast<uint32_t>(kArchiveHeaderBytes)) {
        uint32_t count = kArchiveHeaderBytes - got;
        if (!ReadFileHandle(playFile_, bytes + got, count) || count == 0) {
            return false;
        }
        got += count;
    }
    header = ParseArchiveHeader(bytes);
    return true;
}

void TArchive::ClosePlayFile()
{
    std::lock_guard lock(playLock_);
    playFile_.Close();
    blockTaken_ = 0;
    blockFill_ = 0;
    delivering_.store(false, std::memory_order_release);
}

uint32_t TArchive::Read(uint8_t* buffer, uint32_t room)
{
    std::lock_guard lock(playLock_);
    if (blockTaken_ == blockFill_ && playFile_.IsOpen()) {
        blockTaken_ = 0;
        blockFill_ = kPlaybackBlockBytes;
        if (!ReadFileHandle(playFile_, block_.data(), blockFill_) || blockFill_ == 0) {
            // The end of the file, or a read that failed (the file module showed why).
            blockFill_ = 0;
            playFile_.Close();
        }
    }
    if (blockTaken_ < blockFill_) {
        const uint32_t n = std::min(room, blockFill_ - blockTaken_);
        std::memcpy(buffer, block_.data() + blockTaken_, n);
        blockTaken_ += n;
        return n;
    }
    // The parser takes one packet between two reads. The packets read before the end are
    // still being taken while its fill changes; once it stays put (or is empty) the rest can
    // never make a packet, and only then is the playback over. Ending it at the end of the
    // file would let the playback stop before its last packets were handed on.
    const int64_t fill = ReceiveBufferFill();
    if (fill == 0 || fill == fillAtEnd_) {
        delivering_.store(false, std::memory_order_release);
    }
    fillAtEnd_ = fill;
    return 0;
}

void TArchive::Close()
{
    std::lock_guard lock(playLock_);
    playFile_.Close();
}

// --- THost: the operator's side ---

TArchive& THost::Archive() { return *archive_; }

void THost::RecordArchive(bool start)
{
    if (!start) {
        archive_->SetRecording(false);
        WaitMs(kArchiveStopWaitMs);
        archive_->CloseRecordFile();
        UpdateActions();
        return;
    }
    if (archive_->RecordFileOpen()) {
        return;
    }
    const std::optional<QString> path = Prompt().SaveFile(ArchiveDialog(QStringLiteral("Record")));
    if (!path) {
        return;
    }
    if (!archive_->OpenRecordFile(*path)) {
        ShowMessage(kErrorOpeningArchive);
        return;
    }
    if (!archive_->WriteHeader(ArchiveTextField(DasId(), kArchiveIdBytes))) {
        archive_->CloseRecordFile();
        return;
    }
    ShowMessage(QStringLiteral("Click to begin archive recording."));
    // The start is when the operator closed the box.
    const QString startTime = DateTimeToStr(NowDateTime());
    if (!archive_->WriteHeader(ArchiveTextField(startTime, kArchiveTimeBytes))) {
        archive_->CloseRecordFile();
        return;
    }
    SetArchiveRecorder(archive_.get());
    archive_->SetRecording(true);
    UpdateActions();
}

void THost::ArchiveHostData(const void* bytes, uint32_t count, uint8_t channel)
{
    if (!Recording()) {
        return;
    }
    archive_->ArchiveHostData(static_cast<const uint8_t*>(bytes), count, channel,
                              thread_.CurrentPacketTime());
}

void THost::PlayArchive(bool start)
{
    if (!start) {
        StopPlayback();
        return;
    }
    if (PlayingBack() || archive_->IsOpen()) {
        return;
    }
    const std::optional<QString> path =
        Prompt().OpenFile(ArchiveDialog(QStringLiteral("Play Back")));
    if (!path) {
        return;
    }
    const TMsgResult pace =
        MessageDlg(ApplicationTitle(), QStringLiteral("Play back at real-time speed?"),
                   TMsgButtons::YesNoCancel, TMsgIcon::Question);
    if (pace != TMsgResult::Yes && pace != TMsgResult::No) {
        return;
    }
    SetRealTimePlayback(pace == TMsgResult::Yes);
    if (!archive_->OpenPlayFile(*path)) {
        ShowMessage(kErrorOpeningArchive);
        return;
    }
    TArchiveHeader header;
    if (!archive_->ReadPlayHeader(header)) {
        ShowMessage(kCannotReadArchive);
        archive_->ClosePlayFile();
        return;
    }
    // The link state and the engine are reset below: the thread must be parked for that.
    if (!thread_.Pause()) {
        archive_->ClosePlayFile();
        TellNotPaused(QStringLiteral("the archive was not played back"));
        return;
    }
    thread_.Link().Reset();
    // Also forgets the last accepted DAS sequence, so the archive's first packet is never
    // taken for a repeat of the live link's last one.
    ResetProtocolEngine();
    ShowMessage(QStringLiteral("Archive Starts at: ") + header.startTime +
                QStringLiteral(".\r\n Click to start archive playback."));
    thread_.ResetClock();
    SetPlaybackSource(archive_.get());
    SetPlayingBack(true);
    // Zeroed before the thread runs, so the first packet's bytes are counted.
    ResetStatistics();
    thread_.Resume();
    UpdateActions();
}

void THost::StopPlayback()
{
    SetPlayingBack(false);
    // Parked, the thread no longer reads the file, so it may close.
    const bool parked = thread_.Pause();
    WaitMs(kArchiveStopWaitMs);
    archive_->ClosePlayFile();
    SetPlaybackSource(nullptr);
    if (parked) {
        ForgetPlayback();
    } else {
        // The thread runs on without the file; the connect that brings the live link back
        // parks it before anything is opened.
        forgetPlayback_ = true;
    }
    UpdateActions();
}

void THost::ForgetPlayback()
{
    // Archive bytes still waiting in the receive buffer must not reach the live link, nor may
    // the archive's last sequence number make the DAS's next packet look repeated.
    ClearReceiveBuffer();
    ResetProtocolEngine();
    forgetPlayback_ = false;
}

bool THost::EndFinishedPlayback()
{
    if (!PlayingBack() || PlaybackFileOpen()) {
        return false;
    }
    StopPlayback();
    Connect();
    return true;
}
