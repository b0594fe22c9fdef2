#include "xml/XMLReader.h"

#include <strings.h>

#include <cstring>

namespace {

// What an element costs beyond its texts: the object and its list slot.
constexpr size_t kElementCost = sizeof(XMLEntity) + sizeof(void*);

} // namespace

XMLReader::XMLReader()
{
    _CreateParser();
}

XMLReader::~XMLReader()
{
    if (fParser != nullptr)
        XML_ParserFree(fParser);
}

void XMLReader::OnEndEntity(std::unique_ptr<XMLEntity>) {}

bool XMLReader::_CreateParser()
{
    fParser = XML_ParserCreate(nullptr);
    if (fParser == nullptr)
        return false;
    XML_SetUserData(fParser, this);
    XML_SetElementHandler(fParser, _StaticOnStartTag, _StaticOnEndTag);
    XML_SetCharacterDataHandler(fParser, _StaticOnCharacterData);
#ifdef TOLVAR_EXPAT_HAS_REPARSE_DEFERRAL
    // Deferral holds back a token that straddles two pieces until enough
    // further input arrives. The input is never marked final, so the root's
    // end tag could stay unparsed for good and a complete file would read as
    // unfinished. The input limit keeps re-scanning a long token cheap.
    XML_SetReparseDeferralEnabled(fParser, XML_FALSE);
#endif
    return true;
}

void XMLReader::_Restart()
{
    if (fParser != nullptr) {
        XML_ParserFree(fParser);
        fParser = nullptr;
    }
    fRoot.reset();
    fCurrent = nullptr;
    fText.clear();
    fNeedsReset = false;
    fOverLimit = false;
    fDepth = 0;
    fInputBytes = 0;
    fContentBytes = 0;
    _CreateParser();
}

void XMLReader::FeedData(const char* data, size_t length)
{
    if (fNeedsReset)
        _Restart();
    if (fParser == nullptr)
        return;
    // The length check also keeps the count within the int that expat takes.
    if (length > kMaxInputBytes - fInputBytes) {
        fNeedsReset = true;
        return;
    }
    fInputBytes += length;
    if (XML_Parse(fParser, data, static_cast<int>(length), 0) == XML_STATUS_ERROR || fOverLimit)
        fNeedsReset = true;
}

bool XMLReader::_Charge(size_t bytes)
{
    if (fOverLimit || bytes > kMaxContentBytes - fContentBytes) {
        fOverLimit = true;
        return false;
    }
    fContentBytes += bytes;
    return true;
}

void XMLCALL XMLReader::_StaticOnStartTag(void* reader, const XML_Char* name,
                                          const XML_Char** attributes)
{
    static_cast<XMLReader*>(reader)->_OnStartTag(name, attributes);
}

void XMLCALL XMLReader::_StaticOnEndTag(void* reader, const XML_Char* name)
{
    static_cast<XMLReader*>(reader)->_OnEndTag(name);
}

void XMLCALL XMLReader::_StaticOnCharacterData(void* reader, const XML_Char* data, int length)
{
    static_cast<XMLReader*>(reader)->_OnCharacterData(data, length);
}

void XMLReader::_OnStartTag(const char* name, const char** attributes)
{
    if (strcasecmp(name, "?xml") == 0)
        return;
    size_t cost = kElementCost + std::strlen(name);
    for (const char** attribute = attributes; attribute != nullptr && *attribute != nullptr;
         ++attribute)
        cost += std::strlen(*attribute) + sizeof(std::string);
    if (fDepth >= kMaxDepth)
        fOverLimit = true;
    if (!_Charge(cost))
        return;

    fText.clear();
    auto entity = std::make_unique<XMLEntity>(name, attributes);
    if (fRoot == nullptr) {
        fRoot = std::move(entity);
        fCurrent = fRoot.get();
    } else {
        fCurrent = fCurrent->AddChild(std::move(entity));
    }
    ++fDepth;
    OnStartTag(fCurrent);
}

void XMLReader::_OnCharacterData(const char* data, int length)
{
    if (fCurrent == nullptr || length <= 0 || !_Charge(static_cast<size_t>(length)))
        return;
    std::string_view piece(data, static_cast<size_t>(length));
    if (fText.empty()) {
        size_t start = piece.find_first_not_of(" \n");
        piece.remove_prefix(start == std::string_view::npos ? piece.size() : start);
    }
    fText += piece;
}

void XMLReader::_OnEndTag(const char*)
{
    // Expat guarantees that the end tag matches the open element, so its
    // name is not compared.
    if (fOverLimit || fCurrent == nullptr)
        return;
    if (!fText.empty())
        fCurrent->SetCharacterData(fText.c_str());
    fCurrent->SetCompleted(true);
    fText.clear();
    OnEndTag(fCurrent);
    --fDepth;
    if (fCurrent == fRoot.get()) {
        fCurrent = nullptr;
        OnEndEntity(std::move(fRoot));
    } else {
        fCurrent = fCurrent->Parent();
    }
}
