#include "net/Features.h"

#include <algorithm>
#include <mutex>
#include <set>

namespace Features {

namespace {

std::mutex sLock;
std::set<std::string> sSupported;
bool sAnswered = false;

std::string Lower(std::string word)
{
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    return word;
}

} // namespace

const std::vector<std::string>& Announced()
{
    static const std::vector<std::string> kWords = {"clock",   "resign",  "draw",   "abort",
                                                    "rematch", "archive", "resume", "keepalive"};
    return kWords;
}

void SetSupported(const std::vector<std::string>& words)
{
    std::lock_guard<std::mutex> lock(sLock);
    sSupported.clear();
    for (const std::string& word : words)
        sSupported.insert(Lower(word));
    sAnswered = true;
}

bool Supports(const std::string& word)
{
    std::lock_guard<std::mutex> lock(sLock);
    return sSupported.count(Lower(word)) > 0;
}

bool Answered()
{
    std::lock_guard<std::mutex> lock(sLock);
    return sAnswered;
}

void Clear()
{
    std::lock_guard<std::mutex> lock(sLock);
    sSupported.clear();
    sAnswered = false;
}

} // namespace Features
