#pragma once
// Turns XML text, fed in pieces of any size, into XMLEntity trees with expat.
//
// Each finished top-level element is handed, with its ownership, to
// OnEndEntity. A parse error marks the reader; the next FeedData then starts
// a fresh document. Because the input may be a corrupted file, one document
// may nest at most kMaxDepth elements, feed at most kMaxInputBytes and make
// the reader hold at most kMaxContentBytes (entity expansions included);
// going past a limit counts as a parse error.
// Not thread-safe: one thread at a time. FeedData blocks only for parsing.

#include "xml/XMLEntity.h"

#include <expat.h>

#include <cstddef>
#include <memory>
#include <string>

class XMLReader
{
public:
    static constexpr int32 kMaxDepth = 256;
    static constexpr size_t kMaxInputBytes = 1 << 20;
    static constexpr size_t kMaxContentBytes = 4 << 20;

    XMLReader();
    virtual ~XMLReader();

    XMLReader(const XMLReader&) = delete;
    XMLReader& operator=(const XMLReader&) = delete;

    // Parses the next piece of the document. Does nothing when no parser
    // could be created.
    void FeedData(const char* data, size_t length);
    // The next FeedData begins a new document.
    void Reset() { fNeedsReset = true; }
    // True after Reset() or a parse error, until the next FeedData.
    bool NeedsReset() const { return fNeedsReset; }

protected:
    virtual void OnStartTag(XMLEntity*) {}
    virtual void OnEndTag(XMLEntity*) {}
    // Receives a finished root element and owns it from then on.
    virtual void OnEndEntity(std::unique_ptr<XMLEntity> root);

private:
    bool _CreateParser();
    void _Restart();
    // Charges `bytes` to the document; false (and the document fails) past the limit.
    bool _Charge(size_t bytes);

    static void XMLCALL _StaticOnStartTag(void* reader, const XML_Char* name,
                                          const XML_Char** attributes);
    static void XMLCALL _StaticOnEndTag(void* reader, const XML_Char* name);
    static void XMLCALL _StaticOnCharacterData(void* reader, const XML_Char* data, int length);

    void _OnStartTag(const char* name, const char** attributes);
    void _OnEndTag(const char* name);
    void _OnCharacterData(const char* data, int length);

    bool fNeedsReset = false;
    XML_Parser fParser = nullptr;
    std::unique_ptr<XMLEntity> fRoot;
    XMLEntity* fCurrent = nullptr;
    std::string fText;

    // Limits of the current document. Once one is passed, the callbacks
    // ignore the rest of the piece being parsed.
    bool fOverLimit = false;
    int32 fDepth = 0;
    size_t fInputBytes = 0;
    size_t fContentBytes = 0;
};
