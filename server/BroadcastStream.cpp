#include "server/BroadcastStream.h"

#include <algorithm>

namespace tolvar::server {

void BroadcastStream::_Seal()
{
    if (fOpen.empty())
        return;
    std::uint64_t start = fOpenStart;
    fOpenStart += fOpen.size();
    fSealed.emplace_back(start, std::make_shared<const std::string>(std::move(fOpen)));
    fOpen = std::string();
}

void BroadcastStream::Collect(std::uint64_t* from, std::vector<OutputQueue::Piece>* pieces)
{
    if (*from >= End())
        return;
    // Queued text must not change any more, so the open part is sealed.
    _Seal();
    for (const auto& [start, text] : fSealed) {
        std::uint64_t end = start + text->size();
        if (end <= *from)
            continue;
        std::size_t begin = static_cast<std::size_t>(std::max(*from, start) - start);
        pieces->push_back({text, begin, text->size()});
    }
    *from = End();
}

void BroadcastStream::Forget()
{
    _Seal();
    fSealed.clear();
}

} // namespace tolvar::server
