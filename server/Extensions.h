#pragma once
// The protocol extensions a client may ask for with FEATURES, and the set a
// connection has asked for. A client that never asks gets none of the
// extension's notices. Pure values; any thread.

#include <string>
#include <string_view>
#include <vector>

namespace tolvar::server {

enum class Feature
{
    Clock,
    Resign,
    Draw,
    Abort,
    Rematch,
    Archive,
    Resume,
    KeepAlive
};

struct FeatureWord
{
    Feature feature;
    std::string_view word;
    bool supported; // this server handles the feature's lines
};

// Every feature in the order the 130 answer lists them. A feature is
// offered to clients once it is marked supported here.
inline constexpr FeatureWord kFeatureWords[] = {
    {Feature::Clock, "clock", true},     {Feature::Resign, "resign", true},
    {Feature::Draw, "draw", true},       {Feature::Abort, "abort", true},
    {Feature::Rematch, "rematch", true}, {Feature::Archive, "archive", true},
    {Feature::Resume, "resume", true},   {Feature::KeepAlive, "keepalive", true},
};

class FeatureSet
{
public:
    // The supported features among `words` (any case); unknown words are
    // ignored.
    static FeatureSet Announced(const std::vector<std::string>& words);

    bool Has(Feature feature) const { return (fBits >> static_cast<unsigned>(feature)) & 1u; }
    // The set's words, blank-separated, in the order of kFeatureWords.
    std::string Words() const;

private:
    unsigned fBits = 0;
};

} // namespace tolvar::server
