#pragma once
// What the desktop knows of a file by its name: the icon and type name a file manager shows
// for it. The explorer asks for each entry of a listing; every answer's icon is an index into
// one shared icon list, whose first slots are fixed.
//
// UI thread only.

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QString>
#include <vector>

// Fixed slots of the shared icon list.
enum TShellIconSlot : int {
    kIconUnknown = 0,
    kIconDocument = 1,
    kIconApplication = 2,
    kIconFolder = 3,
    kIconFile = 4,
    kFixedIconSlots = 5
};

// Answers a TMimeFileInfo keeps before it starts afresh.
constexpr int kMaxShellAnswers = 65536;

struct TShellFileInfo {
    int iconIndex = kIconUnknown;
    QString typeName;  // empty when the desktop has none
};

// The desktop's file information; tests install one of their own.
class IShellFileInfo {
public:
    virtual ~IShellFileInfo() = default;
    // The icon and type name of a file of that name (the folder part is ignored and the file
    // is never read, so it need not exist).
    virtual TShellFileInfo Query(const QString& path) = 0;
    // The icon at `index` of the shared list; an unknown index gives the generic file icon.
    virtual QIcon Icon(int index) const = 0;
};

// File types from the MIME database's name patterns (never from content: an empty
// placeholder file is typed by its name), icons from the icon theme with the widget style's
// pictures where the theme has none. A name is looked up once: its answer is kept.
class TMimeFileInfo final : public IShellFileInfo {
public:
    TMimeFileInfo();
    TShellFileInfo Query(const QString& path) override;
    QIcon Icon(int index) const override;

private:
    TShellFileInfo Ask(const QString& name);

    // The answers given so far, by file name (at most kMaxShellAnswers).
    QHash<QString, TShellFileInfo> answers_;
    QMimeDatabase mimes_;
    std::vector<QIcon> icons_;
    QHash<QString, int> slotOfIcon_;
};
