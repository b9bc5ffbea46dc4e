#pragma once

// A second reading of JSON, written apart from the store's reader, for the fuzz targets to hold
// the store against. It reads as JSON.parse does where that differs from RFC 8259 in what a
// reader may choose: the last of duplicated keys wins, any integer keeps its digits, a lone
// surrogate escape is kept (as its three-byte WTF-8 form), a leading byte-order mark is skipped.
// It recurses once per level, so it gives up (tooDeep) past a depth the fuzzers never reach
// with their input size; the store's reader has no such limit.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace JsonReference {

struct Member;

struct Value
{
    enum class Kind
    {
        null,
        boolean,
        number,
        string,
        array,
        object
    };
    Kind kind = Kind::null;
    std::string text; // a number as written; a string decoded (WTF-8); "true"/"false"
    std::vector<Value> elements;
    std::vector<Member> members; // sorted by UTF-8 bytes, duplicates resolved
};

struct Member
{
    std::string first; // the key, decoded
    Value second;
};

struct Result
{
    std::optional<Value> value; // nullopt: not JSON
    bool tooDeep = false;       // nesting beyond what this reader follows: no verdict
};

Result parse(std::string_view text, int maxDepth = 3000);

// Whether `written` holds the number `read`: integers written without a fraction or an exponent
// must keep their exact value (sign of zero included); a number written with one is a double to
// JSON.parse, so rewriting it as the same double is allowed ("1E5" as "100000.0").
bool sameNumber(std::string_view read, std::string_view written);

// Value for value, numbers by sameNumber, object members as maps.
bool sameValue(const Value &read, const Value &written);

// One line of JSON for failure reports (strings as their escaped bytes).
std::string describe(const Value &value);

} // namespace JsonReference
