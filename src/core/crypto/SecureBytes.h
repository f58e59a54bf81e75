// Buffers for key material and passwords that are wiped before their memory is released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::crypto {

// Overwrites n bytes at p with zeros in a way the compiler may not optimise away.
void secureWipe(void* p, std::size_t n) noexcept;

template <class T> struct WipingAllocator
{
    using value_type = T;
    WipingAllocator() noexcept = default;
    template <class U> WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return std::allocator<T>{}.allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept
    {
        secureWipe(p, n * sizeof(T));
        std::allocator<T>{}.deallocate(p, n);
    }
    template <class U> bool operator==(const WipingAllocator<U>&) const noexcept { return true; }
};

using Byte = std::uint8_t;
using ByteView = std::span<const Byte>;
using SecureBytes = std::vector<Byte, WipingAllocator<Byte>>;

// A string whose heap buffer is wiped when released. Short texts may live in the
// string object itself (small-string optimisation); SecureString::reserve() in
// makeSecureString() keeps them on the heap so that they are wiped too.
using SecureString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;

SecureString makeSecureString(std::string_view text);

inline ByteView asBytes(std::string_view text) noexcept
{
    return {reinterpret_cast<const Byte*>(text.data()), text.size()};
}
inline std::string_view asText(ByteView bytes) noexcept
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}
inline SecureBytes toSecureBytes(ByteView bytes)
{
    return SecureBytes(bytes.begin(), bytes.end());
}

} // namespace kestrava::crypto
