#pragma once
// The progress window of one file or script transfer on a host channel: the bytes moved so
// far, and the end of the transfer on Cancel or when the channel stays idle too long.
//
// UI thread only.

#include <QDialog>
#include <QString>
#include <cstdint>

#include "link/ChannelInterfaces.h"

class QLabel;
class QProgressBar;
class QPushButton;

// The bar's maximum when the transfer's size is unknown.
constexpr int kUnknownTotalBarMax = 2000;

// The window a channel shows, modally, while its transfer runs; the channel owns it.
class TProgressForm final : public QDialog, public IProgressView {
    Q_OBJECT
public:
    // `total` below 1 means the size is unknown; `idleTimeoutMs` 0 or less means no time-out.
    TProgressForm(TMux& channel, int idleTimeoutMs, int64_t total, const QString& text,
                  const QString& caption);

    // Runs the window modally until the transfer ends, is cancelled or idles too long. With
    // neither a time-out nor a total nothing could end it, so it closes at once.
    void Exec();
    // The transfer is done: any byte for an unknown total, else exactly the total.
    bool IsComplete() const;
    QString BytesText() const;
    int BarValue() const;
    int BarMaximum() const;
    void Button_CancelClick();

    // IProgressView
    void Refresh() override;
    void CloseView() override;
    void DestroyView() override;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* Button_Cancel = nullptr;

private:
    ~TProgressForm() override = default;

    TMux& channel_;
    const int idleTimeoutMs_;
    const int64_t total_;
    bool closed_ = false;
};
