#pragma once
// The explorer's file list in its four view styles: large icons, small icons, list and details
// (a report with the Name, Size, Type and Modified columns). One icon view and one report show
// the same items with one selection; the one of the current style is shown. Captions are
// renamed in place through a delegate that reports the rename instead of writing it, so that a
// rename to the same name is reported too.
//
// UI thread only.

#include <QList>
#include <QStackedWidget>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QStandardItemModel;
class QTreeView;

// Icon sizes of the large and the small styles.
constexpr int kExplorerLargeIconPx = 32;
constexpr int kExplorerSmallIconPx = 16;

class TExplorerListView final : public QStackedWidget {
    Q_OBJECT
public:
    // Shows `model` (rows of four columns; not owned) with one selection of its own.
    explicit TExplorerListView(QStandardItemModel& model, QWidget* parent = nullptr);

    // The view styles 0 to 3 (TExplorerViewStyle); other values are brought into that range.
    void SetViewStyle(int style);
    int ViewStyle() const { return style_; }

    QListView* Icons() const { return icons_; }
    QTreeView* Report() const { return report_; }
    // The view of the current style, and both views.
    QAbstractItemView* CurrentView() const;
    QList<QAbstractItemView*> Views() const;
    QItemSelectionModel* Selection() const { return selection_; }

    // The selected rows, in list order.
    QList<int> SelectedRows() const;
    // The row at a point of the current view's viewport, or -1.
    int RowAt(const QPoint& pos) const;
    // Starts renaming the caption of `row` in the current view.
    void EditRow(int row);
    // Each column as wide as its widest text (header included). `texts`, when given, are the
    // model's texts, column by column in row order (read faster there than in the model).
    void AutoSizeColumns(const std::vector<QStringList>& texts = {});

    // The rename: started, accepted with the caption it started from and the text entered,
    // and ended (after an acceptance, or when given up).
    std::function<void()> onRenameStarted;
    std::function<void(const QString& from, const QString& to)> onRenamed;
    std::function<void()> onRenameEnded;

private:
    QStandardItemModel& model_;
    QItemSelectionModel* selection_;
    QListView* icons_;
    QTreeView* report_;
    int style_ = 0;
};
