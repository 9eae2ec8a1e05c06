#pragma once
// The shared "&Window" menu: every window that has one lists the program's other open
// windows in it and can cascade them. One list, WindowsList, knows every such menu and
// rebuilds them all when one of their windows is shown or hidden.
//
// UI thread only.

#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

class QMenuBar;
class QWidget;

// The program's top-level windows in the order the Window menus list them: most recently
// activated first, then windows never activated in the order they were first shown.
class TScreenForms : public QObject {
    Q_OBJECT
public:
    // The one list; made on first use, when it starts watching the application's windows.
    static TScreenForms& Instance();

    // A snapshot of the windows (destroyed ones left out), each still a live widget.
    QList<QWidget*> Forms();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TScreenForms();
    void Append(QWidget* form);
    void MoveToFront(QWidget* form);
    void Prune();

    QList<QPointer<QWidget>> forms_;
};

// Whether two captions name the same window as menu captions do: "&" accelerator marks left
// out ("&&" stands for "&") and case ignored.
bool SameCaption(const QString& a, const QString& b);

// The "&Window" menu of one window, owned by that window; it lists the other open windows.
// It rebuilds every Window menu whenever its window is shown or hidden, and its own entries
// whenever it opens.
class TWindowsMenuItem : public QMenu {
    Q_OBJECT
public:
    // Registers with WindowsList (when it exists). With `mainMenu` the item inserts itself
    // there before the last top-level entry; else the owner calls InsertInto.
    explicit TWindowsMenuItem(QWidget* owner, QMenuBar* mainMenu = nullptr);
    // Leaves WindowsList (when it still exists).
    ~TWindowsMenuItem() override;

    // Puts the menu into `mainMenu` before its last top-level entry (last when it has none).
    void InsertInto(QMenuBar* mainMenu);
    // The window whose menu this is.
    QWidget* OwnerForm() const { return owner_; }
    // Replaces the entries: "&Cascade", a separator, then every visible, enabled window of
    // `forms` other than the owner, in that order.
    void Rebuild(const QList<QWidget*>& forms);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> owner_;
};

// For a window's show event: on its first show (`item` still null) gives `owner` its Window
// menu in `mainMenu` and rebuilds every Window menu, since the new item missed this show; from
// then on the item follows its window's shows and hides itself.
void AddWindowsMenuOnFirstShow(TWindowsMenuItem*& item, QWidget* owner, QMenuBar* mainMenu);

// Every registered Window menu; forgets a menu when it is destroyed.
class TWindowsList : public QObject {
    Q_OBJECT
public:
    TWindowsList();
    // Clears the global WindowsList when it is this list.
    ~TWindowsList() override;

    void Add(TWindowsMenuItem* item);
    void Remove(TWindowsMenuItem* item);
    int Count() const;
    QList<TWindowsMenuItem*> Items() const;

    // Rebuilds every registered Window menu, in the order they registered.
    void UpdateMenus();
    // Cascades the visible, enabled windows from the last of the form list to the first,
    // each 1/32 of the screen width further right and down, and focuses each in turn.
    void CascadeClick();
    // Brings back every visible, enabled window captioned `caption`: restored to its normal
    // state when minimised or maximised, else shown and brought to the front.
    void WindowItemClick(const QString& caption);

private:
    QList<QPointer<TWindowsMenuItem>> items_;
};

// The one list, made by the main window before any Window menu and deleted after the last.
extern TWindowsList* WindowsList;
