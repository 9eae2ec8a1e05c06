// The About box: its texts, its place on the screen, its picture and its links.
#include "desktop/AboutBox.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QtTest/QTest>

#include "link/Global.h"
#include "platform/WindowPlacement.h"
#include "support/QtHelpers.h"

namespace {

// Takes the links the box hands to the desktop, instead of starting a real program.
class TUrlCatcher : public QObject {
    Q_OBJECT
public:
    TUrlCatcher()
    {
        for (const char* scheme : {"file", "mailto", "https"}) {
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
        }
    }
    ~TUrlCatcher() override
    {
        for (const char* scheme : {"file", "mailto", "https"}) {
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        }
    }
    QList<QUrl> opened;

public Q_SLOTS:
    void Open(const QUrl& url) { opened.append(url); }
};

void Click(QLabel* label) { QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center()); }

}  // namespace

TEST(AboutBox, ShowsNameVersionFoldersCentred)
{
    SetPlacementScreenSize(QSize(1024, 768));
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));

    EXPECT_EQ(box.windowTitle(), QStringLiteral("About Wendrok"));
    EXPECT_EQ(box.Label_ProductName->text(), QStringLiteral("Wendrok"));
    EXPECT_EQ(box.Label_Version->text(), QStringLiteral("Version 1.26"));
    EXPECT_EQ(box.OKButton->text(), QStringLiteral("Close"));
    EXPECT_TRUE(box.OKButton->isDefault());
    EXPECT_EQ(box.size(), QSize(440, 346));
    EXPECT_EQ(box.Label_AppDir->text(), GetAppDir());
    EXPECT_EQ(box.Label_TempDir->text(), GetProgramDataDir());
    EXPECT_EQ(box.Label_CurrentDir->text(), QDir::currentPath());

    const QRect frame = box.frameGeometry();
    EXPECT_EQ(frame.left(), 512 - frame.width() / 2);
    EXPECT_EQ(frame.top(), 384 - frame.height() / 2);

    ASSERT_FALSE(box.ProgramIcon->pixmap().isNull());
    EXPECT_EQ(box.ProgramIcon->pixmap().size(), QSize(160, 120));
    // Inside its sunken frame the picture shows at its own size, not squeezed.
    EXPECT_EQ(box.ProgramIcon->size(), QSize(160, 120));

    // Moved away and shown again, it comes back to the centre.
    box.hide();
    box.move(0, 0);
    box.show();
    EXPECT_EQ(box.frameGeometry().left(), 512 - frame.width() / 2);

    box.OKButton->click();
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);
    SetPlacementScreenSize(QSize());
}

TEST(AboutBox, LinksOpenFoldersMailAndWebSite)
{
    TUrlCatcher catcher;
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));

    Click(box.Label_AppDir);
    Click(box.Label_TempDir);
    Click(box.Label_CurrentDir);
    Click(box.Label_Email);
    Click(box.Label_Web);
    ASSERT_EQ(catcher.opened.size(), 5);
    EXPECT_EQ(catcher.opened[0], QUrl::fromLocalFile(GetAppDir()));
    EXPECT_EQ(catcher.opened[1], QUrl::fromLocalFile(GetProgramDataDir()));
    EXPECT_EQ(catcher.opened[2], QUrl::fromLocalFile(QDir::currentPath()));
    EXPECT_EQ(catcher.opened[3].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(catcher.opened[3].path(), TAboutBox::kSupportMail);
    EXPECT_EQ(catcher.opened[4], QUrl(TAboutBox::kWebSite));

    // Plain labels open nothing; the wait cursor is gone after each link.
    QTest::mouseClick(box.Label_ProductName, Qt::LeftButton);
    EXPECT_EQ(catcher.opened.size(), 5);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(AboutBox, LinkLooksPressedWhileHeld)
{
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QLabel* link = box.Label_Web;
    const QColor normal = link->palette().color(QPalette::WindowText);
    EXPECT_EQ(normal, QApplication::palette().color(QPalette::Link));
    EXPECT_TRUE(link->font().underline());
    EXPECT_TRUE(link->wordWrap());

    QTest::mousePress(link, Qt::LeftButton, {}, link->rect().center());
    EXPECT_EQ(link->palette().color(QPalette::WindowText),
              QApplication::palette().color(QPalette::Dark));
    // Released outside the label: the colour comes back and nothing opens.
    TUrlCatcher catcher;
    QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(-5, -5));
    EXPECT_EQ(link->palette().color(QPalette::WindowText), normal);
    EXPECT_TRUE(catcher.opened.isEmpty());

    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(link, &enter);
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    EXPECT_EQ(link->cursor().shape(), Qt::ArrowCursor);
}

#include "AboutBox_test.moc"
