#include "server/Extensions.h"

#include "server/TextRules.h"

namespace tolvar::server {

FeatureSet FeatureSet::Announced(const std::vector<std::string>& words)
{
    FeatureSet set;
    for (const std::string& word : words) {
        std::string lower = NameKey(word);
        for (const FeatureWord& known : kFeatureWords) {
            if (known.supported && known.word == lower)
                set.fBits |= 1u << static_cast<unsigned>(known.feature);
        }
    }
    return set;
}

std::string FeatureSet::Words() const
{
    std::string words;
    for (const FeatureWord& known : kFeatureWords) {
        if (!Has(known.feature))
            continue;
        if (!words.empty())
            words += ' ';
        words += known.word;
    }
    return words;
}

} // namespace tolvar::server
