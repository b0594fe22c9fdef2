#pragma once
// The rows of a list in an order: item pointers kept in blocks of a few
// hundred, so that inserting, removing and finding a row by index or by
// item costs about the square root of the row count rather than the count
// itself. A list of a hundred thousand rows filled one row at a time, at
// any position, then costs no more than a fraction of a second.
//
// Does not own the items. An item may be listed once. GUI thread only
// (not thread-safe).

#include <memory>
#include <unordered_map>
#include <vector>

class CLVListItem;

class RowList
{
public:
    int Size() const { return fSize; }
    // The item at `index` (0 .. Size() - 1).
    CLVListItem* At(int index) const;
    // The index of `item`, or -1 when it is not listed.
    int IndexOf(const CLVListItem* item) const;
    // Inserts `item` so that it lands at `index` (0 .. Size()).
    void Insert(int index, CLVListItem* item);
    // Removes the item at `index`.
    void Erase(int index);
    void Clear();

    // Every item, in order.
    std::vector<CLVListItem*> All() const;
    // Replaces the rows by `items`.
    void Assign(const std::vector<CLVListItem*>& items);

private:
    struct Block
    {
        std::vector<CLVListItem*> items;
    };

    // The block holding `index`, and the index within it.
    size_t _Locate(int index, int* within) const;
    void _Split(size_t block);

    std::vector<std::unique_ptr<Block>> fBlocks;
    std::unordered_map<const CLVListItem*, Block*> fBlockOf;
    int fSize = 0;
};
