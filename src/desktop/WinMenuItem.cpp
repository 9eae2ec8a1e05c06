#include "desktop/WinMenuItem.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenuBar>
#include <QWidget>

#include "platform/WindowPlacement.h"

TWindowsList* WindowsList = nullptr;

namespace {

// A window the form list keeps: a top-level window or dialog, not a popup, tool tip or
// floating tool window.
bool IsForm(const QWidget* widget)
{
    if (!widget->isWindow()) {
        return false;
    }
    const Qt::WindowType type = widget->windowType();
    return type == Qt::Window || type == Qt::Dialog;
}

bool IsListed(const QWidget* form) { return form->isVisible() && form->isEnabled(); }

QString StripHotkey(const QString& caption)
{
    QString plain;
    plain.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&')) {
            if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&')) {
                plain += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        plain += caption[i];
    }
    return plain;
}

bool IsNormalState(const QWidget* form)
{
    return (form->windowState() &
            (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) == 0;
}

}  // namespace

bool SameCaption(const QString& a, const QString& b)
{
    return StripHotkey(a).compare(StripHotkey(b), Qt::CaseInsensitive) == 0;
}

// ---- TScreenForms ----

TScreenForms& TScreenForms::Instance()
{
    static QPointer<TScreenForms> instance;
    if (instance.isNull()) {
        // Owned by the application, so it goes with it.
        instance = new TScreenForms;
    }
    return *instance;
}

TScreenForms::TScreenForms() : QObject(QCoreApplication::instance())
{
    QCoreApplication::instance()->installEventFilter(this);
}

QList<QWidget*> TScreenForms::Forms()
{
    Prune();
    // Windows shown before the list started watching come after the ones it knows.
    const QWidgetList topLevel = QApplication::topLevelWidgets();
    for (QWidget* widget : topLevel) {
        if (IsForm(widget) && widget->isVisible()) {
            Append(widget);
        }
    }
    QList<QWidget*> forms;
    forms.reserve(forms_.size());
    for (const QPointer<QWidget>& form : forms_) {
        forms.append(form.data());
    }
    return forms;
}

bool TScreenForms::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::Show || type == QEvent::WindowActivate) && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (IsForm(widget)) {
            if (type == QEvent::WindowActivate) {
                MoveToFront(widget);
            } else {
                Append(widget);
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void TScreenForms::Append(QWidget* form)
{
    if (!forms_.contains(form)) {
        forms_.append(form);
    }
}

void TScreenForms::MoveToFront(QWidget* form)
{
    forms_.removeAll(form);
    forms_.prepend(form);
}

void TScreenForms::Prune()
{
    forms_.removeIf([](const QPointer<QWidget>& form) { return form.isNull(); });
}

// ---- TWindowsMenuItem ----

TWindowsMenuItem::TWindowsMenuItem(QWidget* owner, QMenuBar* mainMenu)
    : QMenu(QStringLiteral("&Window"), owner), owner_(owner)
{
    if (WindowsList != nullptr) {
        WindowsList->Add(this);
    }
    if (mainMenu != nullptr) {
        InsertInto(mainMenu);
    }
    if (owner != nullptr) {
        owner->installEventFilter(this);
    }
    // Windows without a Window menu of their own come and go without a rebuild, so the
    // menu also refreshes itself when it opens.
    connect(this, &QMenu::aboutToShow, this, [this] { Rebuild(TScreenForms::Instance().Forms()); });
}

void AddWindowsMenuOnFirstShow(TWindowsMenuItem*& item, QWidget* owner, QMenuBar* mainMenu)
{
    if (item != nullptr) {
        return;
    }
    item = new TWindowsMenuItem(owner, mainMenu);
    if (WindowsList != nullptr) {
        WindowsList->UpdateMenus();
    }
}

TWindowsMenuItem::~TWindowsMenuItem()
{
    if (WindowsList != nullptr) {
        WindowsList->Remove(this);
    }
}

void TWindowsMenuItem::InsertInto(QMenuBar* mainMenu)
{
    const QList<QAction*> entries = mainMenu->actions();
    if (entries.isEmpty()) {
        mainMenu->addMenu(this);
    } else {
        mainMenu->insertMenu(entries.last(), this);
    }
}

void TWindowsMenuItem::Rebuild(const QList<QWidget*>& forms)
{
    // An entry may be rebuilt away while its own click runs, so old entries are deleted
    // only once control is back in the event loop.
    const QList<QAction*> old = actions();
    for (QAction* action : old) {
        removeAction(action);
        if (action->parent() == this) {
            action->deleteLater();
        }
    }
    QAction* cascade = addAction(QStringLiteral("&Cascade"));
    connect(cascade, &QAction::triggered, this, [] {
        if (WindowsList != nullptr) {
            WindowsList->CascadeClick();
        }
    });
    addSeparator();
    const QWidget* own = owner_ ? owner_->window() : nullptr;
    for (QWidget* form : forms) {
        if (form == own || !IsListed(form)) {
            continue;
        }
        const QString caption = form->windowTitle();
        QAction* entry = addAction(caption);
        connect(entry, &QAction::triggered, this, [caption] {
            if (WindowsList != nullptr) {
                WindowsList->WindowItemClick(caption);
            }
        });
    }
}

bool TWindowsMenuItem::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == owner_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide) &&
        WindowsList != nullptr) {
        WindowsList->UpdateMenus();
    }
    return QMenu::eventFilter(watched, event);
}

// ---- TWindowsList ----

TWindowsList::TWindowsList()
{
    // The form list must be watching before the first window shows.
    TScreenForms::Instance();
}

TWindowsList::~TWindowsList()
{
    if (WindowsList == this) {
        WindowsList = nullptr;
    }
}

void TWindowsList::Add(TWindowsMenuItem* item)
{
    if (!items_.contains(item)) {
        items_.append(item);
    }
}

void TWindowsList::Remove(TWindowsMenuItem* item) { items_.removeAll(item); }

int TWindowsList::Count() const { return int(Items().size()); }

QList<TWindowsMenuItem*> TWindowsList::Items() const
{
    QList<TWindowsMenuItem*> items;
    for (const QPointer<TWindowsMenuItem>& item : items_) {
        if (!item.isNull()) {
            items.append(item.data());
        }
    }
    return items;
}

void TWindowsList::UpdateMenus()
{
    const QList<QWidget*> forms = TScreenForms::Instance().Forms();
    // A rebuild may show or hide nothing, but work on a copy in case a menu goes meanwhile.
    const QList<TWindowsMenuItem*> items = Items();
    for (TWindowsMenuItem* item : items) {
        item->Rebuild(forms);
    }
}

void TWindowsList::CascadeClick()
{
    // Focusing a window moves it to the front of the form list, hence the snapshot.
    const QList<QWidget*> forms = TScreenForms::Instance().Forms();
    const qint64 screenWidth = PlacementScreenSize().width();
    qint64 n = 0;
    for (auto it = forms.crbegin(); it != forms.crend(); ++it) {
        QWidget* form = *it;
        if (!IsListed(form)) {
            continue;
        }
        if (!IsNormalState(form)) {
            form->showNormal();
        }
        const int offset = int(n * screenWidth / 32);
        form->move(offset, offset);
        form->raise();
        form->activateWindow();
        ++n;
    }
}

void TWindowsList::WindowItemClick(const QString& caption)
{
    // Showing a window rebuilds the menus (and this entry), so work from copies.
    const QString wanted = caption;
    const QList<QPointer<QWidget>> forms = [] {
        QList<QPointer<QWidget>> guarded;
        for (QWidget* form : TScreenForms::Instance().Forms()) {
            guarded.append(form);
        }
        return guarded;
    }();
    for (const QPointer<QWidget>& form : forms) {
        if (form.isNull() || !IsListed(form) || !SameCaption(form->windowTitle(), wanted)) {
            continue;
        }
        if (!IsNormalState(form)) {
            form->showNormal();
        } else {
            form->show();
            form->raise();
            form->activateWindow();
        }
    }
}
