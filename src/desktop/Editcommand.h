#pragma once
// The command block editor ("Edit Commands"): one of a device's command blocks with its text
// and raw lines in an editor and its carriage-return suppression and character delay as a
// check box and a field, so the operator never types the directive lines.
//
// UI thread only.

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

class TEditCommandForm : public QDialog {
    Q_OBJECT
public:
    explicit TEditCommandForm(QWidget* parent = nullptr);

    // Loads a block; the result is that block until OK makes a new one.
    void SetCommands(const QStringList& block);
    // The block after the dialog closed: the edited one after OK, the loaded one otherwise.
    const QStringList& Commands() const { return result_; }

    void DevSetupOKButtonClick();
    void DevSetupCancelButtonClick();
    // Escape and the title bar's close count as Cancel.
    void reject() override;

    QPlainTextEdit* RichEdit = nullptr;
    QWidget* Panel1 = nullptr;
    QCheckBox* Cb_SupCR = nullptr;
    QLabel* Label_CharDelay = nullptr;
    QLineEdit* Edit_CharDelay = nullptr;
    QLabel* Label_CharDelay2 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* DevSetupOKButton = nullptr;
    QPushButton* DevSetupCancelButton = nullptr;
    QPushButton* DevSetupHelpButton = nullptr;

private:
    QStringList result_;
};
