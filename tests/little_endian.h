#pragma once
// Little-endian fields for the tests that build BMP and other file images byte by byte.
#include <cstddef>
#include <cstdint>

template <class Bytes>
void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}

template <class Bytes>
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v);
    Put16(b, at + 2, v >> 16);
}
