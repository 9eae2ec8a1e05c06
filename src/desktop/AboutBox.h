#pragma once
// The About box: the program's name and version, who makes it, and links that open the
// program folder, the program data folder and the current folder.
//
// UI thread only.

#include <QByteArray>
#include <QDialog>
#include <QString>

class QFrame;
class QLabel;
class QPushButton;

// The bytes of the picture the About box shows, as built into the program.
QByteArray AboutPictureBytes();

// The About box ("About Wendrok"), centred on the screen whenever it is shown.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    // The support mail address and web site the two maker links open.
    static const QString kSupportMail;
    static const QString kWebSite;

    QFrame* Panel_Picture = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* Label_ProductName = nullptr;
    QLabel* Label_Version = nullptr;
    QLabel* Label_Maker = nullptr;
    QLabel* Label_Notice = nullptr;
    QLabel* Label_Email = nullptr;
    QLabel* Label_Web = nullptr;
    QLabel* Label_AppDir = nullptr;
    QLabel* Label_TempDir = nullptr;
    QLabel* Label_CurrentDir = nullptr;
    QPushButton* OKButton = nullptr;

    void FormShow();
    void OKButtonClick();
    void Label_AppDirClick();
    void Label_TempDirClick();
    void Label_CurrentDirClick();
    void Label_EmailClick();
    void Label_WebClick();
    void LabelMouseEnter(QLabel* label);
    void LabelMouseLeave(QLabel* label);
    void LabelMouseDown(QLabel* label);
    void LabelMouseUp(QLabel* label);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* MakeLink(const QString& text);
    void LabelClick(QLabel* label);
    void SetLinkColour(QLabel* label, bool pressed);
};
