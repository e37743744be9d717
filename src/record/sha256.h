#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// SHA-256 in the standard library alone, so that the record's seal is computed and checked
// the same way with or without Qt.
namespace record {

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();
    // Adds bytes to the message; may be called any number of times.
    void update(std::string_view bytes);
    // The digest of everything added; the object is spent afterwards.
    Digest finish();

private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> h_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0; // bytes added so far
};

// The digest as 64 lower-case hexadecimal digits.
std::string toHex(const Sha256::Digest& digest);

// SHA-256 of bytes, as 64 lower-case hexadecimal digits.
std::string sha256Hex(std::string_view bytes);

} // namespace record
