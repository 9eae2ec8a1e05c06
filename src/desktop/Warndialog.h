#pragma once
// The warning dialog: a warning text with a "Show this warning again" box, and the operator's
// choice per warning title kept in the settings store, so a warning the operator turned off
// stays off. ShowWarning is how the program shows a warning.
//
// UI thread only.

#include <QDialog>
#include <QString>

#include "desktop/ModalResult.h"

class QCheckBox;
class QLabel;
class QPushButton;

// The one warning window ("Warning"), made at program start; it serves every warning.
class TWarningForm : public QDialog {
    Q_OBJECT
public:
    explicit TWarningForm(QWidget* parent = nullptr);

    // Remembers `title` as the warning's key and loads its choice; when the warning is to be
    // shown, sets the caption to the title and the text, and returns true.
    bool SetWarning(const QString& text, const QString& title);
    // The stored choice of the current title (true when none is stored).
    void LoadWarnAgain();
    // Stores the box's state under the current title when it differs from the stored one.
    void SaveWarnAgain();
    bool WarnAgain() const { return warnAgain_; }
    QString KeyName() const { return keyName_; }
    // The result of the last showing (0 before the first).
    int LastResult() const { return lastResult_; }

    QLabel* Label_Warning = nullptr;
    QCheckBox* CheckBox_WarnAgain = nullptr;
    QPushButton* Button1_OK = nullptr;

    // Ends a showing: the result is kept and the choice stored.
    void done(int result) override;
    // Closing the window any other way than OK answers Cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool warnAgain_ = true;
    QString keyName_;
    int lastResult_ = 0;
};

// Shows the warning titled `key` with `text` modally unless the operator turned that warning
// off, and returns the dialog's answer: that of this showing, or of the last showing when the
// warning is off (0 when it was never shown).
int ShowWarning(const QString& key, const QString& text);
