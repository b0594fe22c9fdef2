#include "kit/BMessage.h"

template <typename T> const T* BMessage::_Find(const std::string& name, int index) const
{
    for (const Field& field : fFields) {
        if (field.name != name)
            continue;
        const T* value = std::get_if<T>(&field.value);
        if (value == nullptr)
            continue;
        if (index-- == 0)
            return value;
    }
    return nullptr;
}

void BMessage::AddString(const std::string& name, const std::string& value)
{
    fFields.push_back({name, value});
}

void BMessage::AddInt32(const std::string& name, int32 value)
{
    fFields.push_back({name, value});
}

void BMessage::AddPoint(const std::string& name, BPoint value)
{
    fFields.push_back({name, value});
}

bool BMessage::FindString(const std::string& name, std::string* out, int index) const
{
    const std::string* value = _Find<std::string>(name, index);
    if (value != nullptr && out != nullptr)
        *out = *value;
    return value != nullptr;
}

bool BMessage::FindInt32(const std::string& name, int32* out, int index) const
{
    const int32* value = _Find<int32>(name, index);
    if (value != nullptr && out != nullptr)
        *out = *value;
    return value != nullptr;
}

bool BMessage::FindPoint(const std::string& name, BPoint* out, int index) const
{
    const BPoint* value = _Find<BPoint>(name, index);
    if (value != nullptr && out != nullptr)
        *out = *value;
    return value != nullptr;
}

std::string BMessage::GetString(const std::string& name, const std::string& fallback) const
{
    const std::string* value = _Find<std::string>(name, 0);
    return value != nullptr ? *value : fallback;
}
