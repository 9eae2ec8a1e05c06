#include "desktop/AboutBox.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "desktop/JpegImage.h"
#include "link/Global.h"
#include "link/Host.h"
#include "platform/WindowPlacement.h"

// The resource initialiser must be called from the global namespace, and a static library
// drops the resource object unless something calls it.
static void InitDesktopResources() { Q_INIT_RESOURCE(desktop); }

namespace {

constexpr int kAboutWidth = 440;
constexpr int kAboutHeight = 346;

void OpenWithShell(const QUrl& url)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // A desktop without a handler for the link simply opens nothing.
    QDesktopServices::openUrl(url);
    QApplication::restoreOverrideCursor();
}

QLabel* MakeCaption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

}  // namespace

const QString TAboutBox::kSupportMail = QStringLiteral("support@wendrok.example");
const QString TAboutBox::kWebSite = QStringLiteral("https://www.wendrok.example/");

QByteArray AboutPictureBytes()
{
    static const bool initialised = (InitDesktopResources(), true);
    Q_UNUSED(initialised);
    QFile file(QStringLiteral(":/desktop/AboutPicture.jpg"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Wendrok"));
    setFixedSize(kAboutWidth, kAboutHeight);

    Panel_Picture = new QFrame(this);
    Panel_Picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel_Picture->setLineWidth(2);
    Panel_Picture->setFixedSize(164, 124);
    ProgramIcon = new QLabel(Panel_Picture);
    ProgramIcon->setScaledContents(true);
    const QImage picture = DecodeJpeg(AboutPictureBytes());
    if (!picture.isNull()) {
        ProgramIcon->setPixmap(QPixmap::fromImage(picture));
    }
    auto* pictureLayout = new QVBoxLayout(Panel_Picture);
    // The frame takes 2 pixels a side; the picture fills the rest at its own size.
    pictureLayout->setContentsMargins(0, 0, 0, 0);
    pictureLayout->addWidget(ProgramIcon);

    Label_ProductName = new QLabel(QStringLiteral("Wendrok"), this);
    QFont big = Label_ProductName->font();
    big.setPointSize(20);
    big.setBold(true);
    Label_ProductName->setFont(big);
    Label_Version = new QLabel(QStringLiteral("Version "), this);
    Label_Maker = new QLabel(QStringLiteral("Wendrok project"), this);
    Label_Notice =
        new QLabel(QStringLiteral("Provided as is, without warranty of any kind."), this);
    Label_Notice->setWordWrap(true);
    Label_Email = MakeLink(kSupportMail);
    Label_Web = MakeLink(kWebSite);

    auto* maker = new QVBoxLayout;
    maker->addWidget(Label_ProductName);
    maker->addWidget(Label_Version);
    maker->addSpacing(6);
    maker->addWidget(Label_Maker);
    maker->addWidget(Label_Notice);
    maker->addWidget(Label_Email);
    maker->addWidget(Label_Web);
    maker->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(Panel_Picture, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(maker, 1);

    Label_AppDir = MakeLink(QString());
    Label_TempDir = MakeLink(QString());
    Label_CurrentDir = MakeLink(QString());
    auto* folders = new QGridLayout;
    folders->addWidget(MakeCaption(QStringLiteral("Application Directory:"), this), 0, 0,
                       Qt::AlignTop);
    folders->addWidget(Label_AppDir, 0, 1);
    folders->addWidget(MakeCaption(QStringLiteral("User Files:"), this), 1, 0, Qt::AlignTop);
    folders->addWidget(Label_TempDir, 1, 1);
    folders->addWidget(MakeCaption(QStringLiteral("Current directory:"), this), 2, 0, Qt::AlignTop);
    folders->addWidget(Label_CurrentDir, 2, 1);
    folders->setColumnStretch(1, 1);

    OKButton = new QPushButton(QStringLiteral("Close"), this);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(6);
    layout->addLayout(folders);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

QLabel* TAboutBox::MakeLink(const QString& text)
{
    auto* label = new QLabel(text, this);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    SetLinkColour(label, false);
    label->installEventFilter(this);
    return label;
}

void TAboutBox::SetLinkColour(QLabel* label, bool pressed)
{
    QPalette palette = label->palette();
    const QColor colour = QApplication::palette().color(pressed ? QPalette::Dark : QPalette::Link);
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

void TAboutBox::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TAboutBox::FormShow()
{
    CentreOnScreen(this);
    Label_Version->setText(QStringLiteral("Version ") +
                           QString::number(static_cast<double>(kHostVersion), 'f', 2));
    Label_AppDir->setText(GetAppDir());
    Label_TempDir->setText(GetProgramDataDir());
    Label_CurrentDir->setText(QDir::currentPath());
}

void TAboutBox::OKButtonClick() { accept(); }

void TAboutBox::Label_AppDirClick() { OpenWithShell(QUrl::fromLocalFile(GetAppDir())); }

void TAboutBox::Label_TempDirClick() { OpenWithShell(QUrl::fromLocalFile(GetProgramDataDir())); }

void TAboutBox::Label_CurrentDirClick() { OpenWithShell(QUrl::fromLocalFile(QDir::currentPath())); }

void TAboutBox::Label_EmailClick()
{
    OpenWithShell(QUrl(QStringLiteral("mailto:") + kSupportMail));
}

void TAboutBox::Label_WebClick() { OpenWithShell(QUrl(kWebSite)); }

void TAboutBox::LabelMouseEnter(QLabel* label) { label->setCursor(Qt::PointingHandCursor); }

void TAboutBox::LabelMouseLeave(QLabel* label) { label->unsetCursor(); }

void TAboutBox::LabelMouseDown(QLabel* label) { SetLinkColour(label, true); }

void TAboutBox::LabelMouseUp(QLabel* label) { SetLinkColour(label, false); }

void TAboutBox::LabelClick(QLabel* label)
{
    if (label == Label_AppDir) {
        Label_AppDirClick();
    } else if (label == Label_TempDir) {
        Label_TempDirClick();
    } else if (label == Label_CurrentDir) {
        Label_CurrentDirClick();
    } else if (label == Label_Email) {
        Label_EmailClick();
    } else if (label == Label_Web) {
        Label_WebClick();
    }
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    auto* label = qobject_cast<QLabel*>(watched);
    if (label == nullptr) {
        return QDialog::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::Enter:
        LabelMouseEnter(label);
        break;
    case QEvent::Leave:
        LabelMouseLeave(label);
        break;
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            LabelMouseDown(label);
        }
        break;
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            LabelMouseUp(label);
            // A click is a release over the label that was pressed.
            if (label->rect().contains(mouse->position().toPoint())) {
                LabelClick(label);
            }
        }
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}
