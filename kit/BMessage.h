#pragma once
// A message: a 32-bit what-code plus named string, int32 and point fields.
// A plain value type: copy it freely; it is not shared between threads.

#include "kit/Types.h"

#include <string>
#include <variant>
#include <vector>

struct BPoint
{
    float x = 0;
    float y = 0;
    bool operator==(const BPoint&) const = default;
};

class BMessage
{
public:
    BMessage() = default;
    explicit BMessage(uint32 what) : what(what) {}

    uint32 what = 0;

    // Add appends a value; a name may hold several values of one type,
    // and Find returns the one at `index` (the first by default).
    void AddString(const std::string& name, const std::string& value);
    void AddInt32(const std::string& name, int32 value);
    void AddPoint(const std::string& name, BPoint value);

    // Each lookup returns false, and leaves *out alone, when the field is absent.
    bool FindString(const std::string& name, std::string* out, int index = 0) const;
    bool FindInt32(const std::string& name, int32* out, int index = 0) const;
    bool FindPoint(const std::string& name, BPoint* out, int index = 0) const;

    // The string field, or `fallback` when it is absent.
    std::string GetString(const std::string& name, const std::string& fallback = {}) const;

private:
    using Value = std::variant<std::string, int32, BPoint>;
    struct Field
    {
        std::string name;
        Value value;
    };
    template <typename T> const T* _Find(const std::string& name, int index) const;

    std::vector<Field> fFields;
};
