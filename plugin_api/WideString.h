#pragma once
#include <new>
#include <string>
#include "plugin_api/HResultError.h"

namespace Plugin {
namespace Detail {

// Allocates like std::allocator but reports exhaustion as E_OUTOFMEMORY,
// the module's failure for strings.
template <typename T>
struct StringAllocator {
    using value_type = T;
    StringAllocator() = default;
    template <typename U>
    StringAllocator(const StringAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        try {
            return std::allocator<T>().allocate(count);
        } catch (const std::bad_alloc&) {
            throw HResultError(E_OUTOFMEMORY);
        }
    }
    void deallocate(T* p, std::size_t count) noexcept { std::allocator<T>().deallocate(p, count); }

    template <typename U>
    bool operator==(const StringAllocator<U>&) const noexcept { return true; }
    template <typename U>
    bool operator!=(const StringAllocator<U>&) const noexcept { return false; }
};

}  // namespace Detail

using WideString = std::basic_string<wchar_t, std::char_traits<wchar_t>, Detail::StringAllocator<wchar_t>>;

}  // namespace Plugin
