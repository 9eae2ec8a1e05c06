#pragma once
// The multiplexer statistics window: the report the DAS sends on the statistics channel when
// asked, one line after the other.
//
// UI thread only.

#include <QMainWindow>
#include <QString>
#include <QStringList>

class QPlainTextEdit;

// The window keeps at most this many lines, the oldest going first: a DAS that streams
// statistics without ever starting a new report must not fill the memory.
constexpr int kMuxStatsMaxLines = 2000;
class TWindowsMenuItem;

// "DAS Multiplexer Statistics", with the shared Window menu.
class TFrmMuxStats : public QMainWindow {
    Q_OBJECT
public:
    explicit TFrmMuxStats(QWidget* parent = nullptr);

    void ClearText();
    void AddLine(const QString& line);
    // The report's lines as shown.
    QStringList Lines() const;

    QPlainTextEdit* Memo1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TWindowsMenuItem* windowMenu_ = nullptr;
};
