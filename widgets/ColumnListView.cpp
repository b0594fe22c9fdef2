#include "widgets/ColumnListView.h"

#include "widgets/RowList.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// A cell's text as the header sort compares it: numbers (game ids,
// ratings) as numbers, before any text; other texts without case.
struct SortKey
{
    bool isNumber = false;
    double number = 0;
    QString text;

    explicit SortKey(const QString& cell) : text(cell) { number = cell.toDouble(&isNumber); }

    bool operator<(const SortKey& other) const
    {
        if (isNumber && other.isNumber)
            return number < other.number;
        if (isNumber != other.isNumber)
            return isNumber;
        return text.compare(other.text, Qt::CaseInsensitive) < 0;
    }
};

} // namespace

// The rows, owned, in the owner's order, and the order they are shown in:
// the same, or sorted by one column after a header click. Qt sees the
// shown order. The orders are RowLists, so that a row is inserted, removed
// or found in a time that hardly grows with the list, wherever it goes:
// Qt's own part of an insertion is cheap when no proxy model sits between.
class ColumnListModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    ~ColumnListModel() override { _DeleteAll(); }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : fOwner.Size();
    }

    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(fTitles.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return ShownAt(index.row())->ColumnText(index.column());
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

    CLVListItem* At(int row) const { return fOwner.At(row); }
    int Find(const CLVListItem* item) const { return fOwner.IndexOf(item); }

    CLVListItem* ShownAt(int row) const { return _Sorted() ? fShown.At(row) : fOwner.At(row); }
    int ShownRowOf(const CLVListItem* item) const
    {
        return _Sorted() ? fShown.IndexOf(item) : fOwner.IndexOf(item);
    }

    void Insert(std::unique_ptr<CLVListItem> item, int index)
    {
        CLVListItem* raw = item.release();
        int shown = _Sorted() ? _SortedPosition(raw) : index;
        beginInsertRows({}, shown, shown);
        fOwner.Insert(index, raw);
        if (_Sorted())
            fShown.Insert(shown, raw);
        endInsertRows();
    }

    std::unique_ptr<CLVListItem> Take(int index)
    {
        CLVListItem* item = fOwner.At(index);
        int shown = ShownRowOf(item);
        beginRemoveRows({}, shown, shown);
        fOwner.Erase(index);
        if (_Sorted())
            fShown.Erase(shown);
        endRemoveRows();
        return std::unique_ptr<CLVListItem>(item);
    }

    void Clear()
    {
        beginResetModel();
        _DeleteAll();
        fOwner.Clear();
        fShown.Clear();
        endResetModel();
    }

    // The row's texts changed: it is shown anew, in its sorted place.
    void Changed(int ownerRow)
    {
        CLVListItem* item = fOwner.At(ownerRow);
        int row = ShownRowOf(item);
        if (_Sorted()) {
            fShown.Erase(row);
            int place = _SortedPosition(item);
            fShown.Insert(row, item);
            // Qt wants the destination as an index before the move.
            int destination = place >= row ? place + 1 : place;
            if (destination != row && destination != row + 1 &&
                beginMoveRows({}, row, row, {}, destination)) {
                fShown.Erase(row);
                fShown.Insert(place, item);
                endMoveRows();
                row = place;
            }
        }
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    }

    // Shows the rows sorted by `column`; -1 shows the owner's order.
    void Sort(int column, Qt::SortOrder order)
    {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        std::vector<CLVListItem*> kept;
        for (const QModelIndex& index : before)
            kept.push_back(ShownAt(index.row()));

        fSortColumn = column;
        fSortOrder = order;
        fShown.Clear();
        if (_Sorted()) {
            std::vector<std::pair<SortKey, CLVListItem*>> keyed;
            keyed.reserve(static_cast<size_t>(fOwner.Size()));
            for (CLVListItem* item : fOwner.All())
                keyed.emplace_back(SortKey(item->ColumnText(column)), item);
            // Stable: equal rows stay in the owner's order either way.
            std::stable_sort(keyed.begin(), keyed.end(), [order](const auto& a, const auto& b) {
                return order == Qt::AscendingOrder ? a.first < b.first : b.first < a.first;
            });
            std::vector<CLVListItem*> sorted;
            sorted.reserve(keyed.size());
            for (const auto& entry : keyed)
                sorted.push_back(entry.second);
            fShown.Assign(sorted);
        }

        QModelIndexList after;
        for (qsizetype i = 0; i < before.size(); ++i)
            after.push_back(index(ShownRowOf(kept[static_cast<size_t>(i)]), before[i].column()));
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

private:
    bool _Sorted() const { return fSortColumn >= 0; }

    // Where `item` goes among the shown rows: after every row it does not
    // sort before, so that equal rows keep the order they came in.
    int _SortedPosition(const CLVListItem* item) const
    {
        const SortKey key(item->ColumnText(fSortColumn));
        int low = 0;
        int high = fShown.Size();
        while (low < high) {
            int middle = low + (high - low) / 2;
            const SortKey other(fShown.At(middle)->ColumnText(fSortColumn));
            bool before = fSortOrder == Qt::AscendingOrder ? key < other : other < key;
            if (before)
                high = middle;
            else
                low = middle + 1;
        }
        return low;
    }

    void _DeleteAll()
    {
        for (CLVListItem* item : fOwner.All())
            delete item;
    }

    std::vector<QString> fTitles;
    RowList fOwner;
    RowList fShown; // only while sorted
    int fSortColumn = -1;
    Qt::SortOrder fSortOrder = Qt::AscendingOrder;
};

namespace {

// Hands each cell to its row for painting.
class RowPainter : public QStyledItemDelegate
{
public:
    RowPainter(ColumnListModel* model, QObject* parent) : QStyledItemDelegate(parent), fModel(model)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        if (!index.isValid() || index.row() >= fModel->rowCount())
            return;
        painter->save();
        painter->setClipRect(option.rect);
        fModel->ShownAt(index.row())
            ->DrawItemColumn(painter, option.rect, index.column(),
                             option.state.testFlag(QStyle::State_Selected));
        painter->restore();
    }

private:
    ColumnListModel* fModel;
};

} // namespace

ColumnListView::ColumnListView(QWidget* parent)
    : QTableView(parent), fModel(new ColumnListModel(this))
{
    setModel(fModel);
    setItemDelegate(new RowPainter(fModel, this));

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
    if (count == CountItems()) {
        fModel->Clear();
        return;
    }
    for (int i = 0; i < count; ++i)
        fModel->Take(first);
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
    QModelIndex shown = fModel->index(fModel->ShownRowOf(fModel->At(index)), 0);
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
    fModel->Sort(column, order);
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
    if (!shown.isValid() || shown.row() >= fModel->rowCount())
        return -1;
    return fModel->Find(fModel->ShownAt(shown.row()));
}

void ColumnListView::_DropSelectionWithin(int first, int count)
{
    // In single selection the item view would move the selection to a
    // neighbour of a removed current row; a removed selected row must leave
    // no selection instead.
    int selected = CurrentSelection();
    int current = _SourceRow(currentIndex());
    bool currentGoes = current >= first && current < first + count;
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
