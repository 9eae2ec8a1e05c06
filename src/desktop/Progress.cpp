#include "desktop/Progress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/Dasdesktop.h"
#include "link/Das.h"
#include "link/Global.h"
#include "link/Host.h"
#include "link/MuxClasses.h"
#include "platform/Clocks.h"

namespace {

constexpr double kMsPerDay = 86'400'000.0;

}  // namespace

TProgressForm::TProgressForm(TMux& channel, int idleTimeoutMs, int64_t total,
                             const QString& text, const QString& caption)
    : QDialog(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      channel_(channel),
      idleTimeoutMs_(idleTimeoutMs),
      total_(total)
{
    setWindowTitle(caption);
    resize(491, 135);
    Label1 = new QLabel(text, this);
    Label1->setWordWrap(true);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, total < 1 ? kUnknownTotalBarMax
                                        : static_cast<int>(std::min<int64_t>(total, INT32_MAX)));
    ProgressBar1->setValue(0);
    Label2 = new QLabel(QStringLiteral("0 bytes sent."), this);
    Button_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(Button_Cancel, &QPushButton::clicked, this, &TProgressForm::Button_CancelClick);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Label2, 1);
    bottom->addWidget(Button_Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1, 1);
    layout->addWidget(ProgressBar1);
    layout->addLayout(bottom);
}

void TProgressForm::Exec()
{
    if (idleTimeoutMs_ <= 0 && total_ < 1) {
        return;
    }
    if (idleTimeoutMs_ > 0) {
        channel_.TouchActivity();
    }
    // The transfer may have ended before the window got to run.
    if (!closed_) {
        TDASDesktopForm::RunModal(*this);
    }
}

bool TProgressForm::IsComplete() const
{
    const int64_t moved = channel_.GetBytesTransferred();
    return total_ < 1 ? moved > 0 : moved == total_;
}

QString TProgressForm::BytesText() const { return Label2->text(); }

int TProgressForm::BarValue() const { return ProgressBar1->value(); }

int TProgressForm::BarMaximum() const { return ProgressBar1->maximum(); }

void TProgressForm::Refresh()
{
    const int64_t moved = channel_.GetBytesTransferred();
    ProgressBar1->setValue(static_cast<int>(std::min<int64_t>(moved, ProgressBar1->maximum())));
    Label2->setText(total_ < 1 ? QString::number(moved) + QStringLiteral(" bytes sent.")
                               : QString::number(moved) + QStringLiteral(" of ") +
                                     QString::number(total_) + QStringLiteral(" bytes sent."));
    if (idleTimeoutMs_ > 0 &&
        NowDateTime() > channel_.GetLastActivity() + idleTimeoutMs_ / kMsPerDay) {
        CloseView();
    }
}

void TProgressForm::Button_CancelClick()
{
    if (Das != nullptr) {
        Das->SendCommand(QStringLiteral("STOPTRANSFER"));
    }
    Host.ClearChannelData(channel_.GetChannelNumber());
    CloseView();
}

void TProgressForm::CloseView()
{
    closed_ = true;
    done(QDialog::Rejected);
    hide();
}

void TProgressForm::DestroyView()
{
    hide();
    deleteLater();
}

// --- The main window's services to the host channels ---

QString TDASDesktopForm::CaptureFolder() const
{
    return Devices != nullptr ? Devices->GetCaptureDir()
                              : QStringLiteral("Data\\");
}

void TDASDesktopForm::SetupDeviceCapture(IChannelDevice& device)
{
    if (auto* d = dynamic_cast<TDevice*>(&device)) {
        ExecuteDeviceSetupPage(*d, kSetupPageCapture);
    }
}

IProgressView* TDASDesktopForm::CreateProgress(TMux& channel, const QString& caption,
                                               const QString& text, int idleTimeoutMs,
                                               int64_t total)
{
    return new TProgressForm(channel, idleTimeoutMs, total, text, caption);
}

void TDASDesktopForm::ExecProgress(IProgressView& view)
{
    if (auto* form = dynamic_cast<TProgressForm*>(&view)) {
        form->Exec();
    }
}
