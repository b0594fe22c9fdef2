#pragma once
// One element of an in-memory XML document: a name, attributes, at most one
// text and child elements.
//
// An element owns its children and copies every text handed to it; destroying
// an element destroys its whole subtree (without recursion, so a deep tree
// cannot exhaust the stack). Name and key lookups ignore ASCII letter case.
// Not thread-safe: a tree is used by one thread at a time, its owner's.
// Nothing here blocks.

#include "kit/Types.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class XMLEntity
{
public:
    // Copies `name` and the attribute array (see SetAttributes); null means none.
    explicit XMLEntity(const char* name, const char* const* attributes = nullptr);
    ~XMLEntity();

    XMLEntity(const XMLEntity&) = delete;
    XMLEntity& operator=(const XMLEntity&) = delete;

    XMLEntity* Parent() const { return fParent; }
    const char* Name() const { return fName.c_str(); }

    int32 CountChildren() const { return static_cast<int32>(fChildren.size()); }
    // `index` must lie in 0 .. CountChildren() - 1.
    XMLEntity* Child(int32 index) const;
    // The first child called `name`, ignoring case; null for a null name or no match.
    XMLEntity* Child(const char* name) const;

    int32 CountAttributes() const { return static_cast<int32>(fAttributes.size()); }
    // `index` is a pair index in 0 .. CountAttributes() - 1.
    const char* AttributeKey(int32 index) const;
    const char* AttributeValue(int32 index) const;
    // The value of the first pair whose key equals `key` ignoring case, or null.
    const char* Attribute(const char* key) const;

    // The element's text; the empty string when it has none, never null.
    const char* CharacterData() const { return fCharacterData.c_str(); }
    const char* Data() const { return CharacterData(); }
    // Data() of Child(name), or null when there is no such child.
    const char* ChildData(const char* name) const;

    bool IsCompleted() const { return fCompleted; }

    void SetName(const char* name);
    // Sets the parent link only; ownership does not move.
    void SetParent(XMLEntity* parent) { fParent = parent; }

    // Appends `child` and takes it; `child` must not belong to another element.
    XMLEntity* AddChild(std::unique_ptr<XMLEntity> child);
    // Appends a new element with that name, attributes and text.
    XMLEntity* AddChild(const char* name, const char* const* attributes, const char* data);

    // Destroys the first child called `name` (ignoring case); the others keep their order.
    void RemoveChild(const char* name);
    // Destroys that exact child, when it is one of ours.
    void RemoveChild(XMLEntity* child);
    // With a parent, the parent destroys this element. A root destroys itself,
    // so a root may call this only when it was made with new and nothing else owns it.
    void RemoveSelf();

    // Copies key/value pairs (key, value, ..., null) up to the first pair whose
    // key is null or empty or whose value is null. Null means no attributes.
    void SetAttributes(const char* const* attributes);
    // A null or empty text leaves the element without text.
    void SetCharacterData(const char* text);
    void SetData(const char* text) { SetCharacterData(text); }
    void SetCompleted(bool completed) { fCompleted = completed; }

    // The element and its subtree as indented XML text, `depth` tabs in front
    // of this element. `flag` is handed down to the children and has no effect.
    std::string ToString(bool flag, int32 depth) const;
    // "<name attributes>", never the empty-element form; `flag` has no effect.
    std::string StartToString(bool flag) const;
    // "</name>".
    std::string EndToString() const;

    // "&", "<" and ">" become "&amp;", "&lt;" and "&gt;", and a carriage
    // return "&#13;" (a reader turns a literal one into a line feed); quotes
    // stay as they are.
    static std::string EscapeText(std::string_view text);
    // The inverse of EscapeText: DeEscapeText(EscapeText(s)) == s for every s.
    static std::string DeEscapeText(std::string_view text);
    // EscapeText, and for a value between double quotes also '"' as
    // "&quot;", and tab and line feed as "&#9;" and "&#10;" (a reader turns
    // literal ones into blanks), so that every value reads back as it was.
    static std::string EscapeAttribute(std::string_view value);

private:
    void _AppendAttributes(std::string& out) const;

    XMLEntity* fParent = nullptr;
    std::vector<std::unique_ptr<XMLEntity>> fChildren;
    std::string fName;
    std::vector<std::pair<std::string, std::string>> fAttributes;
    // Empty means "no text": an empty text is never stored.
    std::string fCharacterData;
    bool fCompleted = false;
};
