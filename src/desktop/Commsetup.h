#pragma once
// The serial settings dialog ("Setup Communications"): baud rate, parity, data bits, stop bits
// and, for echo ports, flow control of one serial line. The caller fills it, shows it modally
// and always reads the values back; every close but OK puts back the values it was given.
//
// UI thread only.

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QPushButton;

class TCommSetupForm : public QDialog {
    Q_OBJECT
public:
    explicit TCommSetupForm(QWidget* parent = nullptr);

    // Shows the values (settings text such as "N,8,1", flow 0 none, 1 XonXoff, 2 hardware)
    // and remembers them. A value that is not in its list leaves that list without a choice.
    void SetSettings(int baud, const QString& settings, int flow);
    // The same without flow control: its label and list are hidden and the remembered flow
    // stays as it was.
    void SetSettingsNoFlow(int baud, const QString& settings);
    // The values shown; a list without a choice gives the remembered value.
    void GetSettings(int& baud, QString& settings, int& flow) const;
    void GetSettingsNoFlow(int& baud, QString& settings) const;

    void Button_DefaultsClick();
    void Button_OKClick();
    void Button_CancelClick();
    // Escape and the title bar's close count as Cancel.
    void reject() override;

    QLabel* Label_Baud = nullptr;
    QComboBox* ComboBox_Baud = nullptr;
    QLabel* Label_Parity = nullptr;
    QComboBox* ComboBox_Parity = nullptr;
    QLabel* Label_Bits = nullptr;
    QComboBox* ComboBox_Bits = nullptr;
    QLabel* Label_StopBits = nullptr;
    QComboBox* ComboBox_StopBits = nullptr;
    QLabel* Label_Flow = nullptr;
    QComboBox* ComboBox_Flow = nullptr;
    QPushButton* Button_Defaults = nullptr;
    QPushButton* Button_OK = nullptr;
    QPushButton* Button_Cancel = nullptr;

private:
    void ShowSettings(int baud, const QString& settings);
    void ShowFlow(bool shown);
    // The index of the first parity item whose first letter is `letter`, -1 when none.
    int FindParityIndex(const QString& letter) const;
    int ReadBaud() const;
    QString ReadSettings() const;

    int baud_ = 9600;
    QString settings_ = QStringLiteral("N,8,1");
    int flow_ = 0;
};
