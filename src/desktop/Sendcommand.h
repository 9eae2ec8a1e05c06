#pragma once
// The command console: one DAS console command at a time, typed or picked from a "Commands"
// menu made from the keyword file, with the commands sent kept as a drop-down history. The
// DAS's replies arrive in the terminal windows of the channels concerned.
//
// UI thread only.

#include <QMainWindow>
#include <QString>

class QAction;
class QComboBox;
class QMenu;
class QPushButton;

// The Commands menu holds at most this many items: a keyword file far larger than any
// command set would otherwise hold up the window for long.
constexpr int kMaxCommandMenuItems = 2000;

// "Send Commands".
class TSendCommandForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TSendCommandForm(QWidget* parent = nullptr);

    // The keyword file the menu is made from: the program folder's "Keywords/Pelagrix.key".
    static QString KeywordFilePath();
    // Tests: the menu is made from `path` instead (empty: the program's file again).
    static void SetKeywordFilePathForTest(const QString& path);

    // Reads the keyword file and makes one Commands item per line (captioned with the line's
    // first word, the whole line its template). A file that cannot be read is reported and
    // the menu keeps its items; lines past kMaxCommandMenuItems are left out, with a message.
    void FormShow();
    // The combo box text becomes the template (the menu's title has an empty one).
    void CommandsClick(const QString& commandTemplate);
    // Sends the combo box text as a console command and adds it to the history unless the
    // history holds it in any letter case.
    void Button_SendCommandClick();
    void CloseFormClick();

    QComboBox* ComboBox_SendCommand = nullptr;
    QPushButton* Button_SendCommand = nullptr;
    QMenu* Commands = nullptr;
    QAction* CloseForm = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};
