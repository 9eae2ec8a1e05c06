// Every window of the program, opened as the operator opens it, at the size it opens at:
// no caption, label or column header is cut, and every toolbar button has its picture.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <functional>

#include "desktop/AboutBox.h"
#include "desktop/DesktopFixture.h"
#include "desktop/Terminal.h"
#include "explorer/Dasexplorer.h"
#include "link/MuxClasses.h"
#include "scripts/ScriptEditForm.h"
#include "scripts/Scriptwizard.h"
#include "support/das/DasDirectory.h"
#include "support/das/DasFiles.h"
#include "support/das/DasSystem.h"

namespace {

QString Name(const QWidget* widget)
{
    QString name = QString::fromLatin1(widget->metaObject()->className());
    if (!widget->objectName().isEmpty()) {
        name += QLatin1Char(' ') + widget->objectName();
    }
    return name;
}

// The width a button's caption needs; push buttons may be narrower than the style's usual
// minimum ("..." buttons are).
int Needed(const QAbstractButton* button)
{
    if (qobject_cast<const QPushButton*>(button) == nullptr) {
        return button->sizeHint().width();
    }
    const QStyle* style = button->style();
    return button->fontMetrics().horizontalAdvance(
               QString(button->text()).remove(QLatin1Char('&'))) +
           style->pixelMetric(QStyle::PM_ButtonMargin) +
           2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth);
}

bool IsControl(const QWidget* w)
{
    return qobject_cast<const QAbstractButton*>(w) != nullptr ||
           qobject_cast<const QLabel*>(w) != nullptr ||
           qobject_cast<const QLineEdit*>(w) != nullptr ||
           qobject_cast<const QComboBox*>(w) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(w) != nullptr;
}

// A control made before `control` among its shown siblings that shares some of its place.
const QWidget* Overlapped(const QWidget* control)
{
    if (!IsControl(control)) {
        return nullptr;
    }
    for (const QWidget* other :
         control->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (other == control) {
            return nullptr;
        }
        if (IsControl(other) && other->isVisible() &&
            other->geometry().intersects(control->geometry())) {
            return other;
        }
    }
    return nullptr;
}

// What does not fit in `window` as it stands: captions, labels and lists narrower than their
// text, controls over one another, column headers narrower than their caption or past the
// view's width, toolbar buttons without a picture.
QStringList Misfits(QWidget* window)
{
    QStringList found;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || w->width() == 0) {
            continue;
        }
        if (const QWidget* other = Overlapped(w)) {
            found << QStringLiteral("%1 lies over %2").arg(Name(w), Name(other));
        }
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            if (combo->width() < combo->sizeHint().width()) {
                found << QStringLiteral("%1 %2 < %3")
                             .arg(Name(combo))
                             .arg(combo->width())
                             .arg(combo->sizeHint().width());
            }
        }
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->text().isEmpty()) {
                continue;
            }
            if (label->wordWrap() ? label->height() < label->heightForWidth(label->width())
                                  : label->width() < label->sizeHint().width()) {
                found << QStringLiteral("label \"%1\" %2x%3 < %4")
                             .arg(label->text())
                             .arg(label->width())
                             .arg(label->height())
                             .arg(label->wordWrap() ? label->heightForWidth(label->width())
                                                    : label->sizeHint().width());
            }
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (!button->text().isEmpty() && button->width() < Needed(button)) {
                found << QStringLiteral("%1 \"%2\" %3 < %4")
                             .arg(Name(button), button->text())
                             .arg(button->width())
                             .arg(Needed(button));
            }
        } else if (auto* header = qobject_cast<QHeaderView*>(w)) {
            if (header->orientation() != Qt::Horizontal) {
                continue;
            }
            auto* view = qobject_cast<QAbstractItemView*>(header->parentWidget());
            int total = 0;
            for (int i = 0; i < header->count(); ++i) {
                if (header->isSectionHidden(i)) {
                    continue;
                }
                total += header->sectionSize(i);
                const QString caption = header->model()->headerData(i, Qt::Horizontal).toString();
                if (header->sectionSize(i) < header->sectionSizeHint(i) &&
                    !(header->stretchLastSection() && i == header->count() - 1)) {
                    found << QStringLiteral("column \"%1\" %2 < %3")
                                 .arg(caption)
                                 .arg(header->sectionSize(i))
                                 .arg(header->sectionSizeHint(i));
                }
            }
            if (view != nullptr && total > view->viewport()->width()) {
                found << QStringLiteral("%1 columns %2 > %3")
                             .arg(Name(view))
                             .arg(total)
                             .arg(view->viewport()->width());
            }
        } else if (auto* bar = qobject_cast<QToolBar*>(w)) {
            for (QAction* action : bar->actions()) {
                if (!action->isSeparator() && action->isVisible() && action->icon().isNull() &&
                    bar->widgetForAction(action) != nullptr &&
                    qobject_cast<QAbstractButton*>(bar->widgetForAction(action)) != nullptr) {
                    found << QStringLiteral("toolbar button \"%1\" has no picture")
                                 .arg(action->text());
                }
            }
        }
    }
    return found;
}

class WindowsFit : public DesktopFixture {
protected:
    void SetUp() override
    {
        InstallScriptEditing();
        InstallScriptWizard();
        InstallDASExplorer();
        DesktopFixture::SetUp();
    }

    void TearDown() override
    {
        DesktopFixture::TearDown();
        SetDASExplorerFormMaker({});
        SetScriptWizardFormMaker({});
        SetScriptEditFormsMaker({});
    }

    // Shows `window` as it first opens and reports what does not fit in it.
    void Check(const QString& what, QWidget* window)
    {
        ASSERT_NE(window, nullptr) << what.toStdString();
        window->show();
        // Toolbars and status lines settle after the first layout.
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
        }
        const QStringList found = Misfits(window);
        EXPECT_TRUE(found.isEmpty())
            << what.toStdString() << " (" << window->width() << "x" << window->height() << "):\n  "
            << found.join(QStringLiteral("\n  ")).toStdString();
    }
};

TEST_F(WindowsFit, EveryWindowShowsItsTextsColumnsAndPictures)
{
    const TDasSystem system(console);
    TDASDesktopForm& f = Start();
    Check(QStringLiteral("main window"), &f);
    Check(QStringLiteral("device window"),
          dynamic_cast<TTerminalForm*>(Devices->Items(0)->GetMux()->GetWindow()));

    const std::vector<std::pair<const char*, std::function<QWidget*()>>> windows = {
        {"about box", [] { return AboutBox; }},
        {"command block editor", [] { return EditCommandForm; }},
        {"serial settings", [] { return CommSetupForm; }},
        {"statistics", [] { return StatisticsForm; }},
        {"host communications", [] { return HostCommSetupForm; }},
        {"DAS clock", [] { return SetTimeForm; }},
        {"send commands", [] { return SendCommandForm; }},
        {"DAS statistics", [] { return FrmMuxStats; }},
        {"master directory", [] { return MasterPath; }},
        {"script wizard", [] { return ScriptWizardForm->Window(); }},
        {"script editor", [] { return ScriptEditForms->NewEditor(); }},
    };
    for (const auto& [what, window] : windows) {
        Check(QString::fromLatin1(what), window());
        window()->hide();
    }

    // The power-up options show with the DAS's listing, compact and with the advanced ones.
    Trigger("Desktop_SetupSysVars");
    ASSERT_TRUE(WaitUntil([] { return SystemVarForm->isVisible(); }));
    ASSERT_TRUE(WaitUntil([] { return !SystemVarForm->Edit_HOST_BAUD->text().isEmpty(); }));
    Check(QStringLiteral("system variables"), SystemVarForm);
    SystemVarForm->Button_Advanced->click();
    Check(QStringLiteral("system variables, advanced"), SystemVarForm);
}

TEST_F(WindowsFit, DialogsShowTheirTextsOnEveryPage)
{
    TDASDesktopForm& f = Start();
    std::function<void(QDialog&)> shown;
    TDASDesktopForm::SetModalRunner([&](QDialog& dialog) {
        shown(dialog);
        return int{QDialog::Rejected};
    });

    // The device setup of each kind of port, page by page.
    for (const char* device : {"CTD", "Oxygen", "Current Meter"}) {
        int pages = 0;
        shown = [&](QDialog& dialog) {
            for (;;) {
                ++pages;
                Check(QStringLiteral("%1 setup page %2").arg(QLatin1String(device)).arg(pages),
                      &dialog);
                if (!DeviceSetupForm->DevSetupNextButton->isEnabled() || pages > 6) {
                    break;
                }
                DeviceSetupForm->DevSetupNextButton->click();
            }
        };
        SelectOnly({device});
        Trigger("Desktop_DeviceSetup");
        EXPECT_GE(pages, 5) << device;
    }

    bool warned = false;
    shown = [&](QDialog& dialog) {
        warned = true;
        Check(QStringLiteral("warning"), &dialog);
    };
    ShowWarning(
        QStringLiteral("Script Wizard Warning"),
        QStringLiteral("Please note: the Master Data Directory is set to save data to PC "
                       "files, but scripts cannot normally open files on the PC.  This "
                       "script will save data in files in the Pelagrix\u2019s flash memory."));
    EXPECT_TRUE(warned);

    IProgressView* progress =
        f.CreateProgress(*Devices->Items(0)->GetMux(), QStringLiteral("Sending File"),
                         QStringLiteral("Sending C:\\DATA\\CTD\\CTD_000.RAW to the DAS"), 0, 4096);
    Check(QStringLiteral("progress"), dynamic_cast<QWidget*>(progress));
    progress->DestroyView();
}

TEST_F(WindowsFit, ExplorerShowsItsListingInEveryViewStyle)
{
    TDasFiles files{das, console};
    TDasDirectory disk{das, console, files};
    disk.MakeFolder(QStringLiteral("C:\\LOGS"));
    disk.PutFile(QStringLiteral("C:\\README.TXT"), "a few bytes");
    disk.PutFile(QStringLiteral("C:\\DATA0001.RAW"), QByteArray(123456, 'x'));
    Start();
    Trigger("DASExplorer");
    auto& explorer = dynamic_cast<TDASExplorerForm&>(*DASExplorerForm);
    ASSERT_TRUE(WaitUntil([&] { return explorer.ListModel().rowCount() == 3; }));
    for (int style = 0; style < 4; ++style) {
        explorer.SetViewStyle(style);
        Check(QStringLiteral("explorer, view style %1").arg(style), &explorer);
    }
    // The widest texts a listing puts in the status panels, as a DAS with a large disk gives
    // them.
    const QStringList widest = {QStringLiteral("9999 file(s)"), QStringLiteral("9999 dir(s)"),
                                QStringLiteral("999,999,999 bytes"),
                                QStringLiteral("999,999,999 bytes free")};
    for (int panel = 0; panel < widest.size(); ++panel) {
        explorer.StatusBar_Explorer->findChild<QLabel*>(QStringLiteral("Panel%1").arg(panel))
            ->setText(widest[panel]);
    }
    Check(QStringLiteral("explorer, large disk"), &explorer);
}

}  // namespace
