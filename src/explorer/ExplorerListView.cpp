#include "explorer/ExplorerListView.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <algorithm>
#include <array>
#include <functional>
#include <utility>
#include <vector>

#include "explorer/ExplorerConstants.h"

namespace {

// Extra room of each report column beyond its widest text.
constexpr int kColumnPaddingPx = 12;
// The cells of a column that the view is asked to measure: those its characters' advances
// make the widest.
constexpr int kMeasuredCells = 32;

// The width of texts by the sum of their characters' advances: kerning aside, the width the
// view gives them, at a small part of the cost.
class TTextWidths {
public:
    explicit TTextWidths(const QFontMetrics& metrics) : metrics_(metrics) { latin1_.fill(-1); }
    int Of(const QString& text)
    {
        int width = 0;
        for (const QChar c : text) {
            if (static_cast<size_t>(c.unicode()) >= latin1_.size()) {
                width += metrics_.horizontalAdvance(c);
                continue;
            }
            int& advance = latin1_[c.unicode()];
            if (advance < 0) {
                advance = metrics_.horizontalAdvance(c);
            }
            width += advance;
        }
        return width;
    }

private:
    const QFontMetrics& metrics_;
    std::array<int, 256> latin1_{};
};

// Edits a caption in place and reports the text entered instead of writing it to the item.
class TRenameDelegate final : public QStyledItemDelegate {
public:
    TRenameDelegate(TExplorerListView& list, QObject* parent)
        : QStyledItemDelegate(parent), list_(list)
    {
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        from_ = index.data().toString();
        if (list_.onRenameStarted) {
            list_.onRenameStarted();
        }
        return QStyledItemDelegate::createEditor(parent, option, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        // The large icons lie in the cells of the view's grid: each item takes its whole cell,
        // so that no entry's text is laid out only to be measured.
        const auto* icons = qobject_cast<const QListView*>(option.widget);
        if (icons != nullptr && icons->viewMode() == QListView::IconMode &&
            icons->gridSize().isValid()) {
            return icons->gridSize();
        }
        return QStyledItemDelegate::sizeHint(option, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* /*model*/,
                      const QModelIndex& /*index*/) const override
    {
        const auto* line = qobject_cast<QLineEdit*>(editor);
        if (line != nullptr && list_.onRenamed) {
            list_.onRenamed(from_, line->text());
        }
    }

    void destroyEditor(QWidget* editor, const QModelIndex& index) const override
    {
        QStyledItemDelegate::destroyEditor(editor, index);
        if (list_.onRenameEnded) {
            list_.onRenameEnded();
        }
    }

private:
    TExplorerListView& list_;
    mutable QString from_;
};

}  // namespace

TExplorerListView::TExplorerListView(QStandardItemModel& model, QWidget* parent)
    : QStackedWidget(parent), model_(model), selection_(new QItemSelectionModel(&model, this))
{
    report_ = new QTreeView(this);
    report_->setObjectName(QStringLiteral("ListView1Report"));
    report_->setRootIsDecorated(false);
    report_->setItemsExpandable(false);
    report_->setUniformRowHeights(true);
    report_->setAllColumnsShowFocus(true);
    report_->setIconSize(QSize(kExplorerSmallIconPx, kExplorerSmallIconPx));
    report_->header()->setSectionsClickable(true);
    report_->header()->setSortIndicatorShown(true);
    report_->header()->setStretchLastSection(false);

    icons_ = new QListView(this);
    icons_->setObjectName(QStringLiteral("ListView1Icons"));
    icons_->setModelColumn(kColName);
    icons_->setWrapping(true);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setUniformItemSizes(false);

    for (QAbstractItemView* view : Views()) {
        view->setModel(&model_);
        view->setSelectionModel(selection_);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        // An item picked in an icon style is the whole entry, as in the details.
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::EditKeyPressed);
        view->setItemDelegate(new TRenameDelegate(*this, view));
        view->setDragEnabled(false);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
    }
    addWidget(icons_);
    addWidget(report_);
    SetViewStyle(kExplorerLargeIcons);
}

void TExplorerListView::SetViewStyle(int style)
{
    style_ = std::clamp(style, static_cast<int>(kExplorerLargeIcons),
                        static_cast<int>(kExplorerDetails));
    if (style_ == kExplorerDetails) {
        setCurrentWidget(report_);
        return;
    }
    const bool large = style_ == kExplorerLargeIcons;
    const int px = large ? kExplorerLargeIconPx : kExplorerSmallIconPx;
    // The view's mode and movement also set whether its viewport takes drops; that belongs
    // to the drop target watching it, and stays as it was.
    const bool takesDrops = icons_->viewport()->acceptDrops();
    icons_->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    icons_->setIconSize(QSize(px, px));
    icons_->setFlow(style_ == kExplorerList ? QListView::TopToBottom : QListView::LeftToRight);
    icons_->setWrapping(true);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setMovement(QListView::Static);
    icons_->setGridSize(large ? QSize(96, 64) : QSize());
    icons_->setWordWrap(large);
    icons_->viewport()->setAcceptDrops(takesDrops);
    setCurrentWidget(icons_);
}

QAbstractItemView* TExplorerListView::CurrentView() const
{
    return style_ == kExplorerDetails ? static_cast<QAbstractItemView*>(report_)
                                      : static_cast<QAbstractItemView*>(icons_);
}

QList<QAbstractItemView*> TExplorerListView::Views() const
{
    return {static_cast<QAbstractItemView*>(icons_), static_cast<QAbstractItemView*>(report_)};
}

QList<int> TExplorerListView::SelectedRows() const
{
    // A row counts when any of its cells is selected: the icon styles show the names only.
    QList<int> rows;
    for (const QModelIndex& index : selection_->selectedIndexes()) {
        rows << index.row();
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int TExplorerListView::RowAt(const QPoint& pos) const
{
    const QModelIndex index = CurrentView()->indexAt(pos);
    return index.isValid() ? index.row() : -1;
}

void TExplorerListView::EditRow(int row)
{
    const QModelIndex index = model_.index(row, kColName);
    if (!index.isValid()) {
        return;
    }
    selection_->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    CurrentView()->edit(index);
}

void TExplorerListView::AutoSizeColumns(const std::vector<QStringList>& texts)
{
    QHeaderView* header = report_->header();
    const QFontMetrics metrics(report_->font());
    TTextWidths widths(metrics);
    const int rows = model_.rowCount();
    std::vector<std::pair<int, int>> cells;  // (estimated width, row)
    cells.reserve(static_cast<size_t>(rows));
    for (int column = 0; column < model_.columnCount(); ++column) {
        const bool given = static_cast<size_t>(column) < texts.size() &&
                           texts[static_cast<size_t>(column)].size() == rows;
        // Every row counts, but only the few cells that may be the widest are laid out.
        cells.clear();
        for (int row = 0; row < rows; ++row) {
            cells.emplace_back(widths.Of(given ? texts[static_cast<size_t>(column)][row]
                                               : model_.index(row, column).data().toString()),
                               row);
        }
        const auto measured =
            cells.begin() + std::min<std::ptrdiff_t>(kMeasuredCells, std::ssize(cells));
        std::partial_sort(cells.begin(), measured, cells.end(), std::greater<>());
        int widest = header->sectionSizeHint(column);
        for (auto cell = cells.begin(); cell != measured; ++cell) {
            widest = std::max(
                widest, report_->sizeHintForIndex(model_.index(cell->second, column)).width());
        }
        report_->setColumnWidth(column, widest + kColumnPaddingPx);
    }
}
