#include "calfile/profile.h"

#include <gtest/gtest.h>

#include <string>

using calfile::Profile;

namespace {

std::string afterSet(std::string bytes, std::string_view section, std::string_view key,
                     std::string_view value) {
    Profile profile(std::move(bytes));
    profile.set(section, key, value);
    return profile.bytes();
}

// Text as a UTF-16LE file with its mark (the text is ASCII or UTF-8 of the Basic
// Multilingual Plane).
std::string utf16(std::string_view text) {
    std::string out = "\xFF\xFE";
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        unsigned unit = c;
        if (c >= 0xE0) {
            unit = (c & 0x0Fu) << 12 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6 |
                   (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            i += 2;
        } else if (c >= 0xC0) {
            unit = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            i += 1;
        }
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

std::string readFrom(std::string bytes, std::string_view section, std::string_view key,
                     std::string_view fallback = "0", std::size_t bufferSize = 255) {
    return Profile(std::move(bytes)).read(section, key, fallback, bufferSize);
}

} // namespace

TEST(ProfileRead, NamesMatchRegardlessOfCaseAndBlanks) {
    const std::string file = "[ Ref ]\r\n  10v \t=  10.5 \r\n";
    EXPECT_EQ(readFrom(file, "REF", "10V"), "10.5");
    EXPECT_EQ(readFrom(file, " ref", "10V "), "10.5");
    EXPECT_EQ(readFrom(file, "REF", "5V"), "0");
    EXPECT_EQ(readFrom(file, "AOCH0", "10V"), "0");
}

TEST(ProfileRead, QuotesCommentsAndSpecialCharacters) {
    const std::string file = "[S]\r\n"
                             "dq=\"a b\"\r\n"
                             "sq=' x '\r\n"
                             "mixed=\"x'\r\n"
                             "one=\"\r\n"
                             "inner=a\"b\"\r\n"
                             "tail=b ;x\r\n"
                             ";hidden=1\r\n"
                             "  ; hidden2=1\r\n"
                             "#hash=2\r\n"
                             "empty=\r\n"
                             "no equals sign\r\n"
                             "a.b c=dots\r\n";
    EXPECT_EQ(readFrom(file, "S", "dq"), "a b");
    EXPECT_EQ(readFrom(file, "S", "sq"), " x ");
    EXPECT_EQ(readFrom(file, "S", "mixed"), "\"x'");
    EXPECT_EQ(readFrom(file, "S", "one"), "\"");
    EXPECT_EQ(readFrom(file, "S", "inner"), "a\"b\"");
    EXPECT_EQ(readFrom(file, "S", "tail"), "b ;x");
    EXPECT_EQ(readFrom(file, "S", ";hidden"), "0");
    EXPECT_EQ(readFrom(file, "S", "hidden2"), "0");
    EXPECT_EQ(readFrom(file, "S", "#hash"), "2");
    EXPECT_EQ(readFrom(file, "S", "empty"), "");
    EXPECT_EQ(readFrom(file, "S", "a.b c"), "dots");
}

TEST(ProfileRead, FirstSectionAndFirstKeyWin) {
    const std::string file = "k=outside\r\n[S]\r\nk=1\r\nK=2\r\n[s]\r\nk=3\r\nother=4\r\n";
    EXPECT_EQ(readFrom(file, "S", "k"), "1");
    EXPECT_EQ(readFrom(file, "S", "other", "none"), "none") << "second [s] not searched";
    EXPECT_EQ(readFrom("k=1\r\n", "", "k"), "0") << "lines before any section are not found";
    EXPECT_EQ(readFrom("[]\r\nk=1\r\n", "", "k"), "1");
}

TEST(ProfileRead, DefaultAndBuffer) {
    EXPECT_EQ(readFrom("", "S", "k", "\"q\"  "), "\"q\"") << "trailing spaces only go";
    EXPECT_EQ(readFrom("", "S", "k", "\t0 "), "\t0");
    const std::string longValue(300, 'A');
    EXPECT_EQ(readFrom("[S]\r\nk=" + longValue + "\r\n", "S", "k"), std::string(254, 'A'));
    EXPECT_EQ(readFrom("[S]\r\nk=abc\r\n", "S", "k", "0", 3), "ab");
    EXPECT_EQ(readFrom("[S]\r\nk=abc\r\n", "S", "k", "0", 0), "");
    EXPECT_EQ(readFrom(std::string("[S]\r\nk=ab\0cd\r\n", 14), "S", "k"), "ab");
}

TEST(ProfileRead, LineEndsByteOrderMarkAndNoFinalLineEnd) {
    EXPECT_EQ(readFrom("[S]\rk=cr\r", "S", "k"), "cr");
    EXPECT_EQ(readFrom("[S]\nk=lf", "S", "k"), "lf");
    EXPECT_EQ(readFrom("[A]\r\n[S]\rx=1\nk=mixed\r\n", "S", "k"), "mixed");
    EXPECT_EQ(readFrom("\xEF\xBB\xBF[S]\r\nk=bom\r\n", "S", "k"), "bom");
    EXPECT_EQ(readFrom("[S", "S", "k"), "0");
    EXPECT_EQ(readFrom("[S\r\nk=1", "S", "k"), "0") << "a line without ] is no header";
}

TEST(ProfileWrite, NewFileHasExactlyTheEntry) {
    EXPECT_EQ(afterSet("", " REF ", " 10V ", " 10.0"), "[REF]\r\n10V= 10.0\r\n");
    EXPECT_EQ(afterSet("", "S", "k", ""), "[S]\r\nk=\r\n");
    EXPECT_EQ(afterSet("\xEF\xBB\xBF", "S", "k", "v"), "\xEF\xBB\xBF[S]\r\nk=v\r\n");
}

TEST(ProfileWrite, ExistingKeyKeepsPlaceAndSpellingOtherBytesStay) {
    const std::string file = "; top\n[Ref]\n  10v = 9 \r\n5V=5\n\n[Other]\rx=1\r";
    EXPECT_EQ(afterSet(file, "REF", "10V", "10.0"),
              "; top\n[Ref]\n10v=10.0\r\n5V=5\n\n[Other]\rx=1\r");
    EXPECT_EQ(afterSet(file, "REF", "10V", "9"), file) << "same value: not one byte changes";
    EXPECT_EQ(afterSet("[S]\r\nk=1", "S", "k", "2"), "[S]\r\nk=2\r\n");
    EXPECT_EQ(afterSet("[S]\r\nk=\"1\"\r\n", "S", "k", "1"), "[S]\r\nk=1\r\n");
}

TEST(ProfileWrite, MissingKeyGoesAfterLastEntryOfFirstSection) {
    const std::string file = "[S]\r\na=1\r\nnot an entry\r\n; comment\r\n\r\n[T]\r\n[s]\r\nb=2\r\n";
    // "not an entry" is a key without a value: the new key goes after it.
    EXPECT_EQ(afterSet(file, "s", "new", "v"),
              "[S]\r\na=1\r\nnot an entry\r\nnew=v\r\n; comment\r\n\r\n[T]\r\n[s]\r\nb=2\r\n");
    EXPECT_EQ(afterSet(file, "T", "new", "v"),
              "[S]\r\na=1\r\nnot an entry\r\n; comment\r\n\r\n[T]\r\nnew=v\r\n[s]\r\nb=2\r\n");
    EXPECT_EQ(afterSet("[S]\na=1", "S", "b", "2"), "[S]\na=1\r\nb=2\r\n");
    EXPECT_EQ(afterSet("[S]", "S", "b", "2"), "[S]\r\nb=2\r\n");
}

TEST(ProfileWrite, MissingSectionAppendedAtEnd) {
    EXPECT_EQ(afterSet("[A]\r\nx=1\r\n", "B", "k", "v"), "[A]\r\nx=1\r\n[B]\r\nk=v\r\n");
    EXPECT_EQ(afterSet("[A]\r\nx=1", "B", "k", "v"), "[A]\r\nx=1\r\n[B]\r\nk=v\r\n");
    EXPECT_EQ(afterSet("[A]\rx=1\r", "B", "k", "v"), "[A]\rx=1\r[B]\r\nk=v\r\n");
    EXPECT_EQ(afterSet("\xEF\xBB\xBF; c", "B", "k", "v"), "\xEF\xBB\xBF; c\r\n[B]\r\nk=v\r\n");
}

TEST(ProfileWrite, AnyBytesAreSafe) {
    std::string binary;
    for (int i = 0; i < 256; ++i) {
        binary.push_back(static_cast<char>(i));
    }
    binary += binary;
    const std::string nul("[S]\0\r\nk\0=1\r\n", 12);
    for (const std::string& bytes :
         {std::string(), binary, nul, std::string("\r\r\n\n["), std::string("\xEF\xBB")}) {
        Profile profile(bytes);
        EXPECT_EQ(profile.read("S", "k", "d"), "d");
        profile.set("S", "k", "v");
        EXPECT_EQ(profile.read("S", "k", "d"), "v");
        EXPECT_EQ(profile.bytes().substr(0, bytes.size()), bytes) << "the old bytes stay in front";
    }
}

TEST(ProfileWrite, MegabyteLinesAndThousandsOfSections) {
    std::string file = "[S]\r\nk=" + std::string(1 << 20, 'x') + "\r\n";
    for (int i = 0; i < 5000; ++i) {
        file += "[Section" + std::to_string(i) + "]\r\nkey=" + std::to_string(i) + "\r\n";
    }
    Profile profile(file);
    EXPECT_EQ(profile.read("S", "k", "0").size(), 254u);
    EXPECT_EQ(profile.read("section4999", "KEY", "none"), "4999");
    profile.set("Section2500", "key", "changed");
    profile.set("Last", "key", "new");
    EXPECT_EQ(profile.read("Section2500", "key", "0"), "changed");
    EXPECT_EQ(profile.read("Section2501", "key", "0"), "2501");
    EXPECT_TRUE(profile.bytes().ends_with("[Section4999]\r\nkey=4999\r\n[Last]\r\nkey=new\r\n"));
}

TEST(ProfileKeyWithoutValue, ReadsAsMissingAndHidesALaterEntry) {
    const std::string file = "[S]\r\n  Key  \r\nkey=1\r\nother=2\r\n";
    EXPECT_EQ(readFrom(file, "S", "key", "d"), "d") << "the first match has no value";
    EXPECT_EQ(readFrom(file, "S", "other", "d"), "2");
    EXPECT_FALSE(Profile(file).contains("S", "key"));
    EXPECT_TRUE(Profile(file).contains("S", "other"));
    EXPECT_EQ(readFrom("[S]\r\nkey\r\n", "S", "key", "d"), "d");
    EXPECT_EQ(readFrom("[S]\r\n; key\r\nkey=1\r\n", "S", "key", "d"), "1") << "a comment is no key";
}

TEST(ProfileKeyWithoutValue, WritingCompletesTheLineInPlace) {
    const std::string file = "[S]\r\n  Key  \nkey=1\r\n";
    EXPECT_EQ(afterSet(file, "S", "KEY", "2"), "[S]\r\nKey=2\r\nkey=1\r\n");
    EXPECT_EQ(afterSet(file, "S", "key", ""), "[S]\r\nKey=\r\nkey=1\r\n")
        << "an empty value still completes it";
    Profile profile(file);
    profile.set("S", "key", "3");
    EXPECT_EQ(profile.read("S", "key", "d"), "3");
    EXPECT_EQ(afterSet("[S]\r\nk", "S", "k", "v"), "[S]\r\nk=v\r\n");
}

TEST(ProfileHeader, NameRunsToTheLastBracket) {
    EXPECT_EQ(readFrom("[a]b]\r\nk=1\r\n", "a]b", "k"), "1");
    EXPECT_EQ(readFrom("[a]b]\r\nk=1\r\n", "a", "k"), "0");
    EXPECT_EQ(readFrom(" [ S ] x ]\r\nk=2\r\n", "S ] x", "k"), "2");
    EXPECT_EQ(afterSet("[a]b]\r\nk=1\r\n", "a]b", "k", "2"), "[a]b]\r\nk=2\r\n");
}

TEST(ProfileHeader, ALineWithoutBracketIsNoHeader) {
    const std::string file = "[T]\r\n[S\r\nk=1\r\n[S=x\r\n";
    EXPECT_EQ(readFrom(file, "T", "k"), "1") << "[S is a line of section T";
    EXPECT_EQ(readFrom(file, "S", "k", "d"), "d");
    EXPECT_EQ(readFrom(file, "T", "[S", "d"), "d") << "a key without a value";
    EXPECT_EQ(afterSet(file, "S", "k", "v"), file + "[S]\r\nk=v\r\n");
}

TEST(ProfileUtf16, ReadsTheTextOfAUtf16File) {
    const std::string file = utf16("[Ref]\r\n10V = 10.5\r\nname=\xC3\xA9t\xC3\xA9\r\n");
    EXPECT_EQ(readFrom(file, "REF", "10v"), "10.5");
    EXPECT_EQ(readFrom(file, "Ref", "name"), "\xC3\xA9t\xC3\xA9") << "as UTF-8";
    EXPECT_EQ(readFrom(file, "Ref", "5V", "d"), "d");
    EXPECT_EQ(readFrom("\xFF\xFE", "S", "k", "d"), "d");
}

TEST(ProfileUtf16, WritesBackInUtf16KeepingEveryOtherUnit) {
    const std::string file = utf16("; \xE2\x82\xAC\n[S]\r\nk=1\r\n");
    EXPECT_EQ(afterSet(file, "S", "k", "2"), utf16("; \xE2\x82\xAC\n[S]\r\nk=2\r\n"));
    EXPECT_EQ(afterSet(file, "S", "k", "1"), file) << "same value: not one byte changes";
    EXPECT_EQ(afterSet(file, "T", "u", "\xC3\xBC"),
              utf16("; \xE2\x82\xAC\n[S]\r\nk=1\r\n[T]\r\nu=\xC3\xBC\r\n"));
    EXPECT_EQ(afterSet("\xFF\xFE", "S", "k", "v"), utf16("[S]\r\nk=v\r\n"));

    // A surrogate without its partner and an odd last byte survive a write elsewhere.
    std::string odd = utf16("[S]\r\nk=1\r\nx=") + std::string("\x00\xD8", 2) + "\r\0" + "\x41";
    Profile profile(odd);
    profile.set("S", "k", "2");
    std::string want = utf16("[S]\r\nk=2\r\nx=") + std::string("\x00\xD8", 2) + "\r\0" + "\x41";
    EXPECT_EQ(profile.bytes(), want);
    // A pair stays a pair.
    const std::string pair = utf16("[S]\r\nk=1\r\nx=") + std::string("\x3D\xD8\x00\xDE", 4);
    EXPECT_EQ(afterSet(pair, "S", "k", "2"),
              utf16("[S]\r\nk=2\r\nx=") + std::string("\x3D\xD8\x00\xDE", 4));
}
