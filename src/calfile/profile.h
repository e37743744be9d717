#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace calfile {

// A profile (INI) file held as its bytes, read and changed the way the Windows profile calls
// read and change a file:
//
//  - A section starts at a line whose first non-blank character is '['; its name is the text
//    up to the first ']' (or the end of the line), blanks (space, tab) around it ignored.
//  - An entry is a line of a section holding '=': key before the first '=', value after it,
//    blanks around both ignored. A line whose first non-blank character is ';' is a comment.
//    Lines before the first section belong to no section.
//  - Lines end with CRLF, LF or CR. A UTF-8 byte-order mark at the start is skipped when
//    reading and kept when writing.
//  - Names match regardless of ASCII case; the first matching section, and within it the
//    first matching key, is the one read and written.
//
// set() is a function of the bytes alone: setting several entries on one Profile gives
// exactly the bytes that the same writes, each on the file written by the one before, give.
// Every operation is linear in the size of the file; any bytes at all are accepted.
class Profile {
public:
    Profile() = default;
    explicit Profile(std::string bytes) : bytes_(std::move(bytes)) {}

    const std::string& bytes() const { return bytes_; }

    // The value of key in section, as a caller with a buffer of bufferSize characters receives
    // it: trimmed of blanks, one pair of matching outer quotes (" or ') removed, cut to
    // bufferSize - 1 characters and ended at its first NUL character. When the section or
    // the key is missing, the default instead, less its trailing spaces (quotes kept), cut
    // the same way.
    std::string read(std::string_view section, std::string_view key, std::string_view fallback,
                     std::size_t bufferSize = 255) const;

    // True when the first matching section holds the key.
    bool contains(std::string_view section, std::string_view key) const;

    // Sets key in section to value, written exactly as given:
    //  - an existing key keeps its place and spelling, its line becoming "key=value" CRLF;
    //    when its value already is exactly value, nothing changes at all;
    //  - a missing key is inserted after the last entry line of the first matching section
    //    (after its header when it has none);
    //  - a missing section is appended at the end, after a CRLF when the file does not end
    //    with a line end, as "[section]" CRLF "key=value" CRLF.
    // New names are written less their surrounding blanks. Every other byte stays as it was.
    void set(std::string_view section, std::string_view key, std::string_view value);

private:
    std::string bytes_;
};

} // namespace calfile
