#include "desktop/Muxstatsform.h"

#include <QFontDatabase>
#include <QMenuBar>
#include <QPlainTextEdit>

#include "desktop/WinMenuItem.h"

namespace {

constexpr int kMuxStatsWidth = 517;
constexpr int kMuxStatsHeight = 334;

}  // namespace

TFrmMuxStats::TFrmMuxStats(QWidget* parent) : QMainWindow(parent)
{
    setWindowFlag(Qt::Window, true);
    setWindowTitle(QStringLiteral("DAS Multiplexer Statistics"));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    // The report lines up its figures in columns.
    Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setMaximumBlockCount(kMuxStatsMaxLines);
    setCentralWidget(Memo1);
    resize(kMuxStatsWidth, kMuxStatsHeight + menuBar()->sizeHint().height());
}

void TFrmMuxStats::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    AddWindowsMenuOnFirstShow(windowMenu_, this, menuBar());
}

void TFrmMuxStats::ClearText() { Memo1->clear(); }

void TFrmMuxStats::AddLine(const QString& line) { Memo1->appendPlainText(line); }

QStringList TFrmMuxStats::Lines() const
{
    const QString text = Memo1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}
