// A channel's capture of its received data to a file on the PC: the default capture file
// name, the operator's choice of file, starting a capture (or marking one made on the DAS) and
// host-made text written into it.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "link/Global.h"
#include "link/MuxClasses.h"
#include "platform/Prompt.h"

namespace {

const QString kDefaultCaptureFolder = QStringLiteral("Data\\");
const QString kCaptureTitle = QStringLiteral("Capture");

// A PC file that a channel captures to, fetches into or sends from.
class TChannelFile final : public IChannelFile {
public:
    explicit TChannelFile(const QString& path) : file_(path) {}
    ~TChannelFile() override { Close(); }
    TChannelFile(const TChannelFile&) = delete;
    TChannelFile& operator=(const TChannelFile&) = delete;

    bool Open(TChannelFileMode mode)
    {
        switch (mode) {
        case TChannelFileMode::Read:
            return file_.open(QIODevice::ReadOnly);
        // Written through: what a pass delivers is in the file when the pass ends, so a crash
        // loses nothing already received, and a full disk fails the write that meets it.
        case TChannelFileMode::Write:
            return file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
        case TChannelFileMode::Append:
            return file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
        }
        return false;
    }
    bool Write(const char* bytes, int count) override
    {
        return count <= 0 || file_.write(bytes, count) == count;
    }
    int Read(char* dest, int size) override
    {
        return static_cast<int>(file_.read(dest, size));
    }
    bool Close() override
    {
        if (!file_.isOpen()) {
            return true;
        }
        const bool flushed = !file_.isWritable() || file_.flush();
        file_.close();
        return flushed && file_.error() == QFileDevice::NoError;
    }

private:
    QFile file_;
};

}  // namespace

std::unique_ptr<IChannelFile> OpenChannelFile(const QString& path, TChannelFileMode mode)
{
    auto file = std::make_unique<TChannelFile>(path);
    if (!file->Open(mode)) {
        return nullptr;
    }
    return file;
}

void TMux::SetDefaultCaptureFileName()
{
    if (!captureFileName_.isEmpty()) {
        return;
    }
    IChannelServices* services = owner_->ChannelServices();
    const QString folder = services != nullptr ? services->CaptureFolder() : kDefaultCaptureFolder;
    captureFileName_ = folder + MakeValidName(name_) + QStringLiteral(".CAP");
    append_ = 1;
    numbering_ = 0;
}

void TMux::SetupCapture()
{
    if (device_ != nullptr) {
        if (IChannelServices* services = owner_->ChannelServices()) {
            services->SetupDeviceCapture(*device_);
        }
        return;
    }
    const QString current = NativePath(captureFileName_);
    TFileDialogOptions options;
    options.title = QStringLiteral("Capture File Name for ") + name_;
    options.filter = QStringLiteral("Text files|*.TXT;*.ASC;*.CAP;*.DAT|Binary Files|*.BIN");
    options.folder = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    options.fileName = current;
    const std::optional<QString> chosen = Prompt().SaveFile(options);
    if (!chosen) {
        return;
    }
    captureFileName_ = StoredPath(*chosen);
    if (MessageDlg(kCaptureTitle, QStringLiteral("If File Exists, Append the File?"),
                   TMsgButtons::YesNo, TMsgIcon::Question) == TMsgResult::Yes) {
        append_ = 1;
        return;
    }
    append_ = 0;
    numbering_ = MessageDlg(kCaptureTitle, QStringLiteral("Sequentially Number FileNames?"),
                            TMsgButtons::YesNo, TMsgIcon::Question) == TMsgResult::Yes
                     ? 1
                     : 0;
}

void TMux::StartCapture()
{
    if (HasCaptureFile()) {
        return;
    }
    if (device_ != nullptr) {
        const TCaptureTarget target = device_->CaptureTarget();
        if (!target.onPc) {
            MarkCaptureNotOnPc();
            device_->RefreshListRow();
            return;
        }
        numbering_ = target.numbered ? 1 : 0;
        append_ = !target.numbered && target.append ? 1 : 0;
        captureFileName_ = target.fileName;
        device_->RefreshListRow();
    }
    OpenCaptureOnPc();
}

// Creates the capture file's folder and opens the file; SetCaptureFile then turns capture on
// and tells the window.
bool TMux::OpenCaptureOnPc()
{
    const QString path = NativePath(captureFileName_);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        ReportFailure(QStringLiteral("Could not create directory ") + folder);
        return false;
    }
    std::unique_ptr<IChannelFile> file =
        OpenChannelFile(path, append_ ? TChannelFileMode::Append : TChannelFileMode::Write);
    if (file == nullptr) {
        ReportFailure(QStringLiteral("Error Opening File for ") + name_ + QStringLiteral("!"));
        return false;
    }
    SetCaptureFile(std::move(file));
    return true;
}

void TMux::WriteCapture(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    const int n = static_cast<int>(bytes.size());
    if (captureOn_ && captureFile_ != nullptr && !captureFile_->Write(bytes.constData(), n)) {
        StopCapture();
        ReportChannelError("Capture Error on Host Channel# ");
    }
    if (window_ != nullptr) {
        window_->ShowData(bytes.constData(), n);
    }
}
