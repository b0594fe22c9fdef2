#include "widgets/RowList.h"

#include <algorithm>

namespace {
// A block is split in two when it grows past this many items.
constexpr size_t kMaxBlock = 512;
} // namespace

CLVListItem* RowList::At(int index) const
{
    int within = 0;
    size_t block = _Locate(index, &within);
    return fBlocks[block]->items[static_cast<size_t>(within)];
}

int RowList::IndexOf(const CLVListItem* item) const
{
    auto found = fBlockOf.find(item);
    if (found == fBlockOf.end())
        return -1;
    const Block* block = found->second;
    int index = 0;
    for (const std::unique_ptr<Block>& before : fBlocks) {
        if (before.get() == block)
            break;
        index += static_cast<int>(before->items.size());
    }
    auto at = std::find(block->items.begin(), block->items.end(), item);
    return index + static_cast<int>(at - block->items.begin());
}

void RowList::Insert(int index, CLVListItem* item)
{
    if (fBlocks.empty())
        fBlocks.push_back(std::make_unique<Block>());
    size_t block;
    int within;
    if (index >= fSize) {
        block = fBlocks.size() - 1;
        within = static_cast<int>(fBlocks[block]->items.size());
    } else {
        block = _Locate(index, &within);
    }
    std::vector<CLVListItem*>& items = fBlocks[block]->items;
    items.insert(items.begin() + within, item);
    fBlockOf[item] = fBlocks[block].get();
    ++fSize;
    if (items.size() > kMaxBlock)
        _Split(block);
}

void RowList::Erase(int index)
{
    int within = 0;
    size_t block = _Locate(index, &within);
    std::vector<CLVListItem*>& items = fBlocks[block]->items;
    fBlockOf.erase(items[static_cast<size_t>(within)]);
    items.erase(items.begin() + within);
    --fSize;
    if (items.empty())
        fBlocks.erase(fBlocks.begin() + static_cast<std::ptrdiff_t>(block));
}

void RowList::Clear()
{
    fBlocks.clear();
    fBlockOf.clear();
    fSize = 0;
}

std::vector<CLVListItem*> RowList::All() const
{
    std::vector<CLVListItem*> all;
    all.reserve(static_cast<size_t>(fSize));
    for (const std::unique_ptr<Block>& block : fBlocks)
        all.insert(all.end(), block->items.begin(), block->items.end());
    return all;
}

void RowList::Assign(const std::vector<CLVListItem*>& items)
{
    Clear();
    for (size_t start = 0; start < items.size(); start += kMaxBlock / 2) {
        auto block = std::make_unique<Block>();
        size_t end = std::min(items.size(), start + kMaxBlock / 2);
        block->items.assign(items.begin() + static_cast<std::ptrdiff_t>(start),
                            items.begin() + static_cast<std::ptrdiff_t>(end));
        for (CLVListItem* item : block->items)
            fBlockOf[item] = block.get();
        fBlocks.push_back(std::move(block));
    }
    fSize = static_cast<int>(items.size());
}

size_t RowList::_Locate(int index, int* within) const
{
    for (size_t block = 0; block < fBlocks.size(); ++block) {
        int size = static_cast<int>(fBlocks[block]->items.size());
        if (index < size) {
            *within = index;
            return block;
        }
        index -= size;
    }
    // Past the end: the caller's precondition was broken.
    *within = 0;
    return fBlocks.size() - 1;
}

void RowList::_Split(size_t block)
{
    auto second = std::make_unique<Block>();
    std::vector<CLVListItem*>& items = fBlocks[block]->items;
    size_t half = items.size() / 2;
    second->items.assign(items.begin() + static_cast<std::ptrdiff_t>(half), items.end());
    items.resize(half);
    for (CLVListItem* item : second->items)
        fBlockOf[item] = second.get();
    fBlocks.insert(fBlocks.begin() + static_cast<std::ptrdiff_t>(block) + 1, std::move(second));
}
