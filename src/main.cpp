// The program entry: the application titled "Wendrok" and its main window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wendrok"));
    QApplication::setApplicationDisplayName(QStringLiteral("Wendrok"));
    // TODO(#9): the main window and the program's other windows.
    QMainWindow mainWindow;
    mainWindow.setWindowTitle(QStringLiteral("Wendrok"));
    mainWindow.resize(800, 600);
    mainWindow.show();
    return QApplication::exec();
}
