// SHA-256 against the FIPS 180 test vectors, and the canonical numbers and strings of the
// seal against RFC 8785's rules.
#include "record/canonical.h"
#include "record/sha256.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

using namespace record;

TEST(Sha256, StandardVectors) {
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    // 448 bits: the padding's length no longer fits the block, a second block follows.
    EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(Sha256, AMillionBytesAddedInPiecesThatStraddleTheBlocks) {
    const std::string a(1000000, 'a');
    Sha256 h;
    for (std::size_t at = 0, piece = 1; at < a.size(); at += piece, piece = piece % 130 + 1) {
        h.update(std::string_view(a).substr(at, piece));
    }
    EXPECT_EQ(toHex(h.finish()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(CanonicalForm, NumbersAsEcmaScriptWritesThem) {
    EXPECT_EQ(canonicalNumber(0.0), "0");
    EXPECT_EQ(canonicalNumber(-0.0), "0");
    EXPECT_EQ(canonicalNumber(4.50), "4.5");
    EXPECT_EQ(canonicalNumber(-1.5), "-1.5");
    EXPECT_EQ(canonicalNumber(2e-3), "0.002");
    EXPECT_EQ(canonicalNumber(100.0), "100");
    EXPECT_EQ(canonicalNumber(32000.25), "32000.25");
    EXPECT_EQ(canonicalNumber(0.3125e-3), "0.0003125");
    EXPECT_EQ(canonicalNumber(333333333.33333329), "333333333.3333333");
    EXPECT_EQ(canonicalNumber(9007199254740992.0), "9007199254740992");
    // Plain digits from 1e-6 up to below 1e21, an exponent outside.
    EXPECT_EQ(canonicalNumber(1e-6), "0.000001");
    EXPECT_EQ(canonicalNumber(1e-7), "1e-7");
    EXPECT_EQ(canonicalNumber(1.5e-9), "1.5e-9");
    EXPECT_EQ(canonicalNumber(1e20), "100000000000000000000");
    EXPECT_EQ(canonicalNumber(1e21), "1e+21");
    EXPECT_EQ(canonicalNumber(1e30), "1e+30");
    EXPECT_EQ(canonicalNumber(5e-324), "5e-324");
    EXPECT_EQ(canonicalNumber(1.7976931348623157e308), "1.7976931348623157e+308");
    EXPECT_EQ(canonicalNumber(std::nan("")), "null");
    EXPECT_EQ(canonicalNumber(std::numeric_limits<double>::infinity()), "null");
}

TEST(CanonicalForm, StringsEscapeOnlyWhatJsonRequires) {
    EXPECT_EQ(canonicalString("a\"b\\c/d"), R"("a\"b\\c/d")");
    EXPECT_EQ(canonicalString("\b\f\n\r\t"), R"("\b\f\n\r\t")");
    EXPECT_EQ(canonicalString(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\x7f\"");
    EXPECT_EQ(canonicalString("20 \xc2\xb0"
                              "C"),
              "\"20 \xc2\xb0"
              "C\""); // "20 °C" as it is
}

} // namespace
