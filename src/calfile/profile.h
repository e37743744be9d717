#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace calfile {

// A profile (INI) file held as its bytes, read and changed the way the Windows profile calls
// read and change a file:
//
//  - A section starts at a line whose first non-blank character is '[' and which holds a ']';
//    its name is the text up to the last ']', blanks (space, tab) around it ignored. A line
//    starting with '[' without ']' is no header (it is a key, like any other text line).
//  - An entry is a line of a section holding '=': key before the first '=', value after it,
//    blanks around both ignored. A line of text without '=' is a key without a value: it
//    reads as missing (the default), and being the first match it hides a later key=value of
//    the same name; setting that key completes the line in place. A line whose first
//    non-blank character is ';' is a comment. Lines before the first section belong to no
//    section.
//  - Lines end with CRLF, LF or CR. A UTF-8 byte-order mark at the start is skipped when
//    reading and kept when writing. A file starting with the UTF-16LE mark (FF FE) is read
//    as UTF-16 (values arrive as UTF-8) and written back in UTF-16 with its mark, every
//    other code unit as it was.
//  - Names match regardless of ASCII case; the first matching section, and within it the
//    first matching key, is the one read and written.
//
// set() is a function of the bytes alone: setting several entries on one Profile gives
// exactly the bytes that the same writes, each on the file written by the one before, give.
// Every operation is linear in the size of the file; any bytes at all are accepted.
class Profile {
public:
    Profile() = default;
    explicit Profile(std::string bytes);

    const std::string& bytes() const { return bytes_; }

    // The value of key in section, as a caller with a buffer of bufferSize characters receives
    // it: trimmed of blanks, one pair of matching outer quotes (" or ') removed, cut to
    // bufferSize - 1 characters and ended at its first NUL character. When the section or
    // the key is missing, the default instead, less its trailing spaces (quotes kept), cut
    // the same way.
    std::string read(std::string_view section, std::string_view key, std::string_view fallback,
                     std::size_t bufferSize = 255) const;

    // True when read() with bufferSize gives the key's whole value: it is neither cut to the
    // buffer nor ended early at a NUL character.
    bool readsWhole(std::string_view section, std::string_view key,
                    std::size_t bufferSize = 255) const;

    // True when the first matching section holds the key with a value.
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
    // The value read() cuts to its buffer: unquoted, or the default less trailing spaces.
    std::string_view whole(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    // The text the rules apply to: the bytes, or for a UTF-16 file their UTF-8 decoding.
    std::string_view text() const { return utf16_ ? std::string_view(text_) : bytes_; }
    static void setIn(std::string& text, std::string_view section, std::string_view key,
                      std::string_view value);
    static std::string encodeUtf16(std::string_view text, std::string_view tail);

    std::string bytes_;
    bool utf16_ = false;
    std::string text_; // UTF-16 files only: the text as UTF-8
    std::string tail_; // UTF-16 files only: an odd last byte
};

} // namespace calfile
