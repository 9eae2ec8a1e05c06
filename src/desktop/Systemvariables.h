#pragma once
// The system variables window: the DAS's power-up options, which the DAS keeps as named system
// variables and lists on the system variables channel; OK sends a "Set" for each option the
// operator changed.
//
// UI thread only.

#include <QDialog>
#include <QSize>
#include <QString>
#include <array>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The listing's line buffer.
constexpr int kSysVarBufferBytes = 256;

// "Pelagrix Power-up Options". It shows itself when the first variable line of a listing
// arrives; hiding it restores every control's default and forgets the listed values.
class TSystemVarForm : public QDialog {
    Q_OBJECT
public:
    explicit TSystemVarForm(QWidget* parent = nullptr);

    // The variables in table order; SCB.13 and NOVARTYPE have no control.
    static const std::array<const char*, 14> kVariableNames;

    // A chunk of the listing: every complete line (ended by CR or LF) is read; the unended
    // rest waits for the next chunk. A line too long for the buffer is dropped whole, up to
    // its end in whichever chunk that comes.
    void ReceiveListing(const char* bytes, int count);
    // The value last listed for a variable ("" when none), and the last prompt line.
    QString LastValue(const QString& name) const;
    QString LastPrompt() const { return lastPrompt_; }
    // The compact size, and whether the window shows the advanced options now.
    QSize CompactSize() const { return compact_; }

    void FormShow();
    void FormHide();
    void Button_Click();
    void Button_CancelClick();
    void Button_AdvancedClick();

    QLabel* Label_DASWarning = nullptr;
    QLineEdit* Edit_INITSCRIPT = nullptr;
    QCheckBox* CheckBox_AUTORUN = nullptr;
    QCheckBox* CheckBox_SWITCH_SLEEP = nullptr;
    QCheckBox* CheckBox_SWITCH_SCRIPT = nullptr;
    QLineEdit* Edit_HOST_BAUD = nullptr;
    QLineEdit* Edit_HOST_PROTO = nullptr;
    QLineEdit* Edit_INFO_VERBOSE = nullptr;
    QLineEdit* Edit_INFO_DEST = nullptr;
    QLineEdit* Edit_WAKECHAR = nullptr;
    QLineEdit* Edit_WAKECHANNEL = nullptr;
    QLineEdit* Edit_PRSCALE = nullptr;
    QLineEdit* Edit_PROFFSET = nullptr;
    QPushButton* Button_OK = nullptr;
    QPushButton* Button_Cancel = nullptr;
    QPushButton* Button_Advanced = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // One variable and its control (an edit or a check box; neither for SCB.13, NOVARTYPE).
    struct TVariable {
        QString name;
        QLineEdit* edit = nullptr;
        QCheckBox* check = nullptr;
        QString lastValue;
    };

    void BuildControls();
    void ProcessLine(const QByteArray& line);
    // The state a check box shows for its variable's listed value (its default when none).
    static bool ListedChecked(const TVariable& v);
    // What OK compares and sends for a variable's control.
    QString ControlValue(const TVariable& v) const;
    // A value that the DAS would not get as it stands: why, or "" when it may be sent.
    static QString RefusedValue(const QString& name, const QString& value);
    void RestoreDefaults();

    std::vector<TVariable> variables_;
    QString lastPrompt_;
    QSize compact_;
    std::array<char, kSysVarBufferBytes> buffer_{};
    int fill_ = 0;
    // The buffer filled without a line end: the rest of that line is skipped.
    bool skipping_ = false;
};
