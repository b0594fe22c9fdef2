#pragma once
// A multi-column list: rows that paint their own cells, titled columns with
// a width and a minimum width that the user may resize and reorder, single
// selection, an invocation hook (double-click or Enter on a row) and a
// selection-changed hook.
//
// The list owns its rows. The row order is the owner's: AddItem, RemoveItem
// and the indexes of CountItems/ItemAt/IndexOf/CurrentSelection are always
// in that order. A click on a column header only sorts what is shown
// (ascending, descending, then back to the owner's order); it never
// reorders the rows themselves.
//
// Adding, removing or finding a row costs about the square root of the row
// count, wherever the row goes, so that a list filled with a hundred
// thousand rows, one at a time, stays quick.
//
// GUI thread only. Nothing here blocks.

#include <QTableView>

#include <algorithm>

#include <functional>
#include <memory>
#include <vector>

class QPainter;
class ColumnListModel;

// One row. Derived rows paint their cells and give each cell's text (used
// for sorting by a header click and for accessibility).
class CLVListItem
{
public:
    virtual ~CLVListItem() = default;

    // Paints one cell; `column` is the column's index in the order the
    // columns were added, whatever order the user dragged them into.
    virtual void DrawItemColumn(QPainter* painter, const QRect& cell, int column,
                                bool selected) const = 0;
    virtual QString ColumnText(int column) const = 0;
};

class ColumnListView : public QTableView
{
public:
    explicit ColumnListView(QWidget* parent = nullptr);
    ~ColumnListView() override;

    // Appends a column. Widths are in pixels; the user cannot drag the
    // column narrower than `minWidth`.
    void AddColumn(const QString& title, int width, int minWidth);
    int CountColumns() const;
    QHeaderView* Header() const { return horizontalHeader(); }

    // Every row has this height in pixels (16 unless set).
    void SetRowHeight(int height);
    int RowHeight() const;

    // Row operations, in the owner's order. Indexes out of range are ignored
    // (AddItem clamps to the end); removed rows are handed back to the caller.
    void AddItem(std::unique_ptr<CLVListItem> item);
    void AddItem(std::unique_ptr<CLVListItem> item, int index);
    std::unique_ptr<CLVListItem> RemoveItem(int index);
    void RemoveItems(int first, int count);
    void MakeEmpty();
    int CountItems() const;
    CLVListItem* ItemAt(int index) const;
    int IndexOf(const CLVListItem* item) const;
    // Repaints one row after its content changed.
    void InvalidateItem(int index);

    // The selected row's index, or -1 when none is selected.
    int CurrentSelection() const;
    void Select(int index);
    void DeselectAll();

    // Called after every change of the selection, including the one caused
    // by removing the selected row.
    virtual void SelectionChanged() {}
    // Called when a row is invoked (double-click, Enter or Return).
    void SetInvocationHandler(std::function<void(int index)> handler);

    // Header sorting of the shown rows (for tests and the header clicks):
    // column -1 restores the owner's order.
    void SortShownRows(int column, Qt::SortOrder order);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    int _SourceRow(const QModelIndex& shown) const;
    void _HeaderClicked(int section);
    void _DropSelectionWithin(int first, int count);

    ColumnListModel* fModel;
    std::vector<int> fMinimumWidths;
    std::function<void(int)> fInvocationHandler;
    int fSortColumn = -1;
    Qt::SortOrder fSortOrder = Qt::AscendingOrder;
};
