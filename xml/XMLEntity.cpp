#include "xml/XMLEntity.h"

#include <strings.h>

#include <algorithm>

namespace {

bool SameName(const std::string& name, const char* other)
{
    return strcasecmp(name.c_str(), other) == 0;
}

} // namespace

XMLEntity::XMLEntity(const char* name, const char* const* attributes)
    : fName(name != nullptr ? name : "")
{
    SetAttributes(attributes);
}

XMLEntity::~XMLEntity()
{
    // Unlink the subtree into a work list instead of letting each child's
    // destructor destroy its own children: the recursion would be as deep as
    // the tree.
    std::vector<std::unique_ptr<XMLEntity>> pending = std::move(fChildren);
    while (!pending.empty()) {
        std::unique_ptr<XMLEntity> entity = std::move(pending.back());
        pending.pop_back();
        for (std::unique_ptr<XMLEntity>& child : entity->fChildren)
            pending.push_back(std::move(child));
        entity->fChildren.clear();
    }
}

XMLEntity* XMLEntity::Child(int32 index) const
{
    return fChildren[static_cast<size_t>(index)].get();
}

XMLEntity* XMLEntity::Child(const char* name) const
{
    if (name == nullptr)
        return nullptr;
    for (const std::unique_ptr<XMLEntity>& child : fChildren) {
        if (SameName(child->fName, name))
            return child.get();
    }
    return nullptr;
}

const char* XMLEntity::AttributeKey(int32 index) const
{
    return fAttributes[static_cast<size_t>(index)].first.c_str();
}

const char* XMLEntity::AttributeValue(int32 index) const
{
    return fAttributes[static_cast<size_t>(index)].second.c_str();
}

const char* XMLEntity::Attribute(const char* key) const
{
    if (key == nullptr)
        return nullptr;
    for (const auto& [attributeKey, value] : fAttributes) {
        if (SameName(attributeKey, key))
            return value.c_str();
    }
    return nullptr;
}

const char* XMLEntity::ChildData(const char* name) const
{
    const XMLEntity* child = Child(name);
    return child != nullptr ? child->Data() : nullptr;
}

void XMLEntity::SetName(const char* name)
{
    fName = name != nullptr ? name : "";
}

XMLEntity* XMLEntity::AddChild(std::unique_ptr<XMLEntity> child)
{
    if (child == nullptr)
        return nullptr;
    child->fParent = this;
    fChildren.push_back(std::move(child));
    return fChildren.back().get();
}

XMLEntity* XMLEntity::AddChild(const char* name, const char* const* attributes, const char* data)
{
    auto child = std::make_unique<XMLEntity>(name, attributes);
    child->SetCharacterData(data);
    return AddChild(std::move(child));
}

void XMLEntity::RemoveChild(const char* name)
{
    if (name == nullptr)
        return;
    auto found = std::find_if(fChildren.begin(), fChildren.end(),
                              [name](const auto& child) { return SameName(child->fName, name); });
    if (found != fChildren.end())
        fChildren.erase(found);
}

void XMLEntity::RemoveChild(XMLEntity* child)
{
    auto found = std::find_if(fChildren.begin(), fChildren.end(),
                              [child](const auto& own) { return own.get() == child; });
    if (found != fChildren.end())
        fChildren.erase(found);
}

void XMLEntity::RemoveSelf()
{
    if (fParent != nullptr)
        fParent->RemoveChild(this);
    else
        delete this;
}

void XMLEntity::SetAttributes(const char* const* attributes)
{
    fAttributes.clear();
    if (attributes == nullptr)
        return;
    for (size_t i = 0; attributes[i] != nullptr && attributes[i][0] != '\0'; i += 2) {
        if (attributes[i + 1] == nullptr)
            break;
        fAttributes.emplace_back(attributes[i], attributes[i + 1]);
    }
}

void XMLEntity::SetCharacterData(const char* text)
{
    if (text == nullptr)
        fCharacterData.clear();
    else
        fCharacterData = text;
}

std::string XMLEntity::ToString(bool flag, int32 depth) const
{
    const std::string indent(static_cast<size_t>(std::max(depth, 0)), '\t');
    const bool hasText = !fCharacterData.empty();
    const bool hasChildren = !fChildren.empty();

    std::string out = indent + "<" + fName;
    _AppendAttributes(out);
    if (!hasText && !hasChildren)
        out += "/";
    out += ">";
    out += EscapeText(fCharacterData);
    if (hasChildren) {
        out += "\n";
        // Recursion is bounded by the tree's depth; the reader caps that.
        for (const std::unique_ptr<XMLEntity>& child : fChildren)
            out += child->ToString(flag, depth + 1);
        out += indent;
    }
    if (hasChildren || hasText)
        out += EndToString();
    out += "\n";
    return out;
}

std::string XMLEntity::StartToString(bool) const
{
    std::string out = "<" + fName;
    _AppendAttributes(out);
    out += ">";
    return out;
}

std::string XMLEntity::EndToString() const
{
    return "</" + fName + ">";
}

void XMLEntity::_AppendAttributes(std::string& out) const
{
    for (const auto& [key, value] : fAttributes) {
        out += " ";
        out += key;
        out += "=\"";
        out += EscapeAttribute(value);
        out += "\"";
    }
}

std::string XMLEntity::EscapeText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string XMLEntity::EscapeAttribute(std::string_view value)
{
    std::string out;
    for (char c : EscapeText(value)) {
        switch (c) {
        case '"':
            out += "&quot;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string XMLEntity::DeEscapeText(std::string_view text)
{
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&#13;", '\r'}};
    std::string out;
    out.reserve(text.size());
    // One left-to-right scan that resumes after each replacement, so the "&"
    // produced by "&amp;" never starts another entity.
    size_t i = 0;
    while (i < text.size()) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [entity, c] : kEntities) {
                if (text.substr(i, entity.size()) == entity) {
                    out += c;
                    i += entity.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            out += text[i++];
    }
    return out;
}
