#pragma once
// The DAS clock window: the PC's clock and the DAS's side by side, refreshed once a second by
// a query whose reply comes back on the clock channel, and setting the DAS clock to the PC's
// time or to a time the operator types.
//
// UI thread only.

#include <QDialog>
#include <QString>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// The query's period.
constexpr int kClockQueryMs = 1000;

// "Set DAS Date & Time".
class TSetTimeForm : public QDialog {
    Q_OBJECT
public:
    explicit TSetTimeForm(QWidget* parent = nullptr);

    // Asks the DAS for its date and time: the console goes to the clock channel for PicoDos
    // "Date" and back to the serial port 20 ms later.
    static void SendDateQuery();
    // The DAS's date line as it reads it ("Tuesday, June 3, 2008  14:05:31"): the date and
    // time it names, or nothing when it names none.
    static std::optional<double> ParseDasDateTime(const QString& text);

    // A chunk of the clock channel: its first byte is dropped and the rest parsed alone.
    void ReceiveDateReply(const char* bytes, int count);
    // Shows the date and time a reply names; a reply that names none is reported (one box at a
    // time) and the shown DAS time stays.
    void ParseDasDate(const QString& text);

    void FormShow();
    void Timer_TimeTimer();
    void Button_SetPCTimeClick();
    void Button_SetOtherTimeClick();
    void Button_CloseClick();

    QLabel* Label_PCTime = nullptr;
    QLineEdit* Edit_OtherTime = nullptr;
    QLabel* Label_DASTime = nullptr;
    QPushButton* Button_SetPCTime = nullptr;
    QPushButton* Button_SetOtherTime = nullptr;
    QPushButton* Button_Close = nullptr;
    QTimer* Timer_Time = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // However the window goes, the queries stop.
    void hideEvent(QHideEvent* event) override;

private:
    void SetDasDate(double value);
    bool reporting_ = false;
};
