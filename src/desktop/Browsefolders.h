#pragma once
// The folder picker: lets the operator choose a folder, opening at the one in `Folder`.
// The dialog itself is the prompt service's, so tests script the answer.
//
// UI thread only.

#include <QObject>
#include <QString>

class QWidget;

// A folder dialog component owned by a form; `Folder` goes in as the folder to open at and
// comes back as the chosen one.
class TBrowseFolders : public QObject {
    Q_OBJECT
public:
    explicit TBrowseFolders(QWidget* owner = nullptr);

    // On entry the folder to select when the dialog opens (empty: no preference); after a
    // successful Execute the chosen folder, without a final "/" (the root excepted).
    QString Folder;
    // The text shown with the folder tree.
    QString Title;

    // Shows the dialog: true with `Folder` set to the chosen folder, false on Cancel with
    // `Folder` unchanged.
    bool Execute();
    // The same; `parent` only names the window the dialog belongs to.
    bool Execute(QWidget* parent);
};
