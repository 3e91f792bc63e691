#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace DevHost {

// One `name=value` edit of `devhost set`.
struct SetRequest {
    int32_t id;
    std::wstring name;
    std::wstring value;
};

// Parses every argument or none: on the first bad one returns false with a
// message in error. A property named twice is refused, since one of the two
// values would be dropped silently.
bool ParseSetArguments(const std::vector<std::wstring>& arguments, std::vector<SetRequest>& requests,
                       std::wstring& error);

}  // namespace DevHost
