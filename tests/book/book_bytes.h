// Book fixtures spelled out record by record, with their own little-endian
// encoding so that the tests do not lean on the engine's.
#pragma once

#include <cstdint>
#include <string>

namespace kelmo::test {

class BookBytes {
public:
    BookBytes& node(int code, unsigned first = 0, unsigned second = 0, std::uint32_t child = 0) {
        bytes += 'S';
        put(static_cast<std::uint16_t>(static_cast<std::int16_t>(code)), 2);
        put(first, 2);
        put(second, 2);
        put(child, 4);
        return *this;
    }
    BookBytes& jump(std::uint32_t target) {
        bytes += 'J';
        put(target, 4);
        return *this;
    }
    BookBytes& raw(const std::string& more) {
        bytes += more;
        return *this;
    }
    // The offset the next record will get.
    std::uint32_t here() const { return static_cast<std::uint32_t>(bytes.size()); }
    const std::string& str() const { return bytes; }

private:
    void put(std::uint32_t value, int len) {
        for (int i = 0; i < len; ++i)
            bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    std::string bytes;
};

// Bytes from a list such as {0x53, 0x15, 0x00}.
inline std::string bytesOf(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

} // namespace kelmo::test
