#pragma once
// The host communications setup: which PC serial port talks to the DAS, the link's baud rate
// and protocol level, and which other PC serial ports are offered to devices. OK optionally
// tells the DAS the new baud rate and protocol, then parks the link thread, reopens the DAS
// port with the new settings and lets the link run on.
//
// UI thread only.

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QWidget;

// The COM ports the window offers, 1 to this.
constexpr int kHighestComPort = 15;
// Rows are this far apart.
constexpr int kComRowHeight = 28;

// "Host Communications Setup".
class THostCommSetupForm : public QDialog {
    Q_OBJECT
public:
    explicit THostCommSetupForm(QWidget* parent = nullptr);

    // One PC COM port's row; all null for a port the PC does not have.
    struct TRow {
        QLabel* port = nullptr;
        QRadioButton* dasPort = nullptr;
        QCheckBox* devicePort = nullptr;
        QLabel* device = nullptr;
    };
    // The row of COM n (1..15).
    const TRow& Row(int n) const { return rows_[static_cast<size_t>(n - 1)]; }
    // The window's height as designed, with one row.
    int DesignedHeight() const { return designedHeight_; }

    void FormShow();
    void FormHide();
    void UpdateDependencies();
    void Button_OKClick();
    void Button_CancelClick();

    QWidget* Panel_COM = nullptr;
    QGroupBox* GroupBox_DAS = nullptr;
    QComboBox* ComboBox_Protocol = nullptr;
    QComboBox* ComboBox_BaudRate = nullptr;
    QCheckBox* Cb_ChangeDAS = nullptr;
    QPushButton* Button_OK = nullptr;
    QPushButton* Button_Cancel = nullptr;

    // Tests: how the window waits while the DAS and the PC switch (default: WaitMs, the event
    // loop running). An empty function restores it.
    static void SetWaitForTest(std::function<void(int ms)> wait);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildRows();
    void DestroyRows();
    void ApplyDevicePorts(int& newPort);
    // Tells the DAS (when asked), then switches the PC's side of the link.
    void SwitchLink(int newPort, int newBaud, int newProtocol, bool tellDas);
    static void Wait(int ms);
    // Whether the DAS port can be set to `baud`; the link runs on, at the working rate, when
    // this returns, and no box tells of a refused rate.
    static bool DasPortTakesBaud(uint32_t baud);
    // "Unable to Set Baud Rate to " + baud + ".".
    static void ShowBaudRefused(int baud);

    std::array<TRow, kHighestComPort> rows_{};
    int designedHeight_ = 0;
};
