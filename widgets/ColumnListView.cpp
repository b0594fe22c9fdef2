#include "widgets/ColumnListView.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>

// The rows in the owner's order, with the column titles.
class ColumnListModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(fItems.size());
    }

    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(fTitles.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const CLVListItem* item = fItems[static_cast<size_t>(index.row())].get();
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return item->ColumnText(index.column());
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < columnCount())
            return fTitles[static_cast<size_t>(section)];
        return {};
    }

    void AddColumn(const QString& title)
    {
        int column = columnCount();
        beginInsertColumns({}, column, column);
        fTitles.push_back(title);
        endInsertColumns();
    }

    void Insert(std::unique_ptr<CLVListItem> item, int index)
    {
        beginInsertRows({}, index, index);
        fItems.insert(fItems.begin() + index, std::move(item));
        endInsertRows();
    }

    std::unique_ptr<CLVListItem> Take(int index)
    {
        beginRemoveRows({}, index, index);
        std::unique_ptr<CLVListItem> item = std::move(fItems[static_cast<size_t>(index)]);
        fItems.erase(fItems.begin() + index);
        endRemoveRows();
        return item;
    }

    void Erase(int first, int count)
    {
        beginRemoveRows({}, first, first + count - 1);
        fItems.erase(fItems.begin() + first, fItems.begin() + first + count);
        endRemoveRows();
    }

    void Changed(int row) { emit dataChanged(index(row, 0), index(row, columnCount() - 1)); }

    CLVListItem* At(int row) const { return fItems[static_cast<size_t>(row)].get(); }

    int Find(const CLVListItem* item) const
    {
        for (size_t i = 0; i < fItems.size(); ++i)
            if (fItems[i].get() == item)
                return static_cast<int>(i);
        return -1;
    }

private:
    std::vector<QString> fTitles;
    std::vector<std::unique_ptr<CLVListItem>> fItems;
};

namespace {

// Sorts numbers as numbers (game ids, ratings) and other texts without case.
class ShownOrder : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override
    {
        QString a = left.data().toString();
        QString b = right.data().toString();
        bool aNumber = false;
        bool bNumber = false;
        double x = a.toDouble(&aNumber);
        double y = b.toDouble(&bNumber);
        if (aNumber && bNumber)
            return x < y;
        if (aNumber != bNumber)
            return aNumber;
        return a.compare(b, Qt::CaseInsensitive) < 0;
    }
};

// Hands each cell to its row for painting.
class RowPainter : public QStyledItemDelegate
{
public:
    RowPainter(ColumnListModel* model, QSortFilterProxyModel* proxy, QObject* parent)
        : QStyledItemDelegate(parent), fModel(model), fProxy(proxy)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QModelIndex source = fProxy->mapToSource(index);
        if (!source.isValid())
            return;
        painter->save();
        painter->setClipRect(option.rect);
        fModel->At(source.row())
            ->DrawItemColumn(painter, option.rect, source.column(),
                             option.state.testFlag(QStyle::State_Selected));
        painter->restore();
    }

private:
    ColumnListModel* fModel;
    QSortFilterProxyModel* fProxy;
};

} // namespace

ColumnListView::ColumnListView(QWidget* parent)
    : QTableView(parent), fModel(new ColumnListModel(this)), fProxy(new ShownOrder(this))
{
    fProxy->setSourceModel(fModel);
    fProxy->setDynamicSortFilter(true);
    setModel(fProxy);
    setItemDelegate(new RowPainter(fModel, fProxy, this));

    // A table rather than a tree: its rows all have one height, so adding
    // a row costs no walk over all the others, which matters when a server
    // announces thousands of games in a burst.
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(16);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    QHeaderView* columns = horizontalHeader();
    columns->setStretchLastSection(false);
    columns->setSectionsMovable(true);
    columns->setFirstSectionMovable(true);
    columns->setSectionsClickable(true);
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setMinimumSectionSize(1);
    columns->setSortIndicatorShown(false);
    connect(columns, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (logical >= 0 && logical < static_cast<int>(fMinimumWidths.size()) &&
            size < fMinimumWidths[static_cast<size_t>(logical)])
            horizontalHeader()->resizeSection(logical,
                                              fMinimumWidths[static_cast<size_t>(logical)]);
    });
    connect(columns, &QHeaderView::sectionClicked, this,
            [this](int section) { _HeaderClicked(section); });

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { SelectionChanged(); });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        int row = _SourceRow(index);
        if (row >= 0 && fInvocationHandler)
            fInvocationHandler(row);
    });
}

ColumnListView::~ColumnListView()
{
    // The selection model reports the rows going away; no hook may run
    // while the derived parts of this object are already gone.
    disconnect(selectionModel(), nullptr, this, nullptr);
}

void ColumnListView::SetRowHeight(int height)
{
    verticalHeader()->setDefaultSectionSize(height);
}

int ColumnListView::RowHeight() const
{
    return verticalHeader()->defaultSectionSize();
}

void ColumnListView::AddColumn(const QString& title, int width, int minWidth)
{
    fMinimumWidths.push_back(minWidth);
    fModel->AddColumn(title);
    horizontalHeader()->resizeSection(fModel->columnCount() - 1, std::max(width, minWidth));
}

int ColumnListView::CountColumns() const
{
    return fModel->columnCount();
}

void ColumnListView::AddItem(std::unique_ptr<CLVListItem> item)
{
    AddItem(std::move(item), CountItems());
}

void ColumnListView::AddItem(std::unique_ptr<CLVListItem> item, int index)
{
    if (!item)
        return;
    index = std::clamp(index, 0, CountItems());
    fModel->Insert(std::move(item), index);
}

std::unique_ptr<CLVListItem> ColumnListView::RemoveItem(int index)
{
    if (index < 0 || index >= CountItems())
        return nullptr;
    _DropSelectionWithin(index, 1);
    return fModel->Take(index);
}

void ColumnListView::RemoveItems(int first, int count)
{
    if (first < 0 || count <= 0 || first >= CountItems())
        return;
    count = std::min(count, CountItems() - first);
    _DropSelectionWithin(first, count);
    fModel->Erase(first, count);
}

void ColumnListView::MakeEmpty()
{
    RemoveItems(0, CountItems());
}

int ColumnListView::CountItems() const
{
    return fModel->rowCount();
}

CLVListItem* ColumnListView::ItemAt(int index) const
{
    if (index < 0 || index >= CountItems())
        return nullptr;
    return fModel->At(index);
}

int ColumnListView::IndexOf(const CLVListItem* item) const
{
    return fModel->Find(item);
}

void ColumnListView::InvalidateItem(int index)
{
    if (index >= 0 && index < CountItems())
        fModel->Changed(index);
}

int ColumnListView::CurrentSelection() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : _SourceRow(rows.first());
}

void ColumnListView::Select(int index)
{
    if (index < 0 || index >= CountItems())
        return;
    QModelIndex shown = fProxy->mapFromSource(fModel->index(index, 0));
    selectionModel()->setCurrentIndex(shown, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
}

void ColumnListView::DeselectAll()
{
    selectionModel()->clearSelection();
}

void ColumnListView::SetInvocationHandler(std::function<void(int index)> handler)
{
    fInvocationHandler = std::move(handler);
}

void ColumnListView::SortShownRows(int column, Qt::SortOrder order)
{
    fSortColumn = column;
    fSortOrder = order;
    horizontalHeader()->setSortIndicatorShown(column >= 0);
    if (column >= 0)
        horizontalHeader()->setSortIndicator(column, order);
    fProxy->sort(column, order);
}

void ColumnListView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        int row = CurrentSelection();
        if (row >= 0 && fInvocationHandler) {
            fInvocationHandler(row);
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

int ColumnListView::_SourceRow(const QModelIndex& shown) const
{
    QModelIndex source = fProxy->mapToSource(shown);
    return source.isValid() ? source.row() : -1;
}

void ColumnListView::_DropSelectionWithin(int first, int count)
{
    // In single selection the item view would move the selection to a
    // neighbour of a removed current row; a removed selected row must leave
    // no selection instead.
    int selected = CurrentSelection();
    QModelIndex current = fProxy->mapToSource(currentIndex());
    bool currentGoes = current.isValid() && current.row() >= first && current.row() < first + count;
    if ((selected >= first && selected < first + count) || currentGoes)
        selectionModel()->clear();
}

void ColumnListView::_HeaderClicked(int section)
{
    // Each click on the same header goes one step further: ascending,
    // descending, then the owner's own order again.
    if (section != fSortColumn)
        SortShownRows(section, Qt::AscendingOrder);
    else if (fSortOrder == Qt::AscendingOrder)
        SortShownRows(section, Qt::DescendingOrder);
    else
        SortShownRows(-1, Qt::AscendingOrder);
}
