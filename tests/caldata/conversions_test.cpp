#include "caldata/conversions.h"
#include "caldata/messages.h"
#include "core/text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace caldata;

TEST(HexText, UpperCaseWithoutPrefixOrLeadingZeros) {
    EXPECT_EQ(hexText16(0), "0");
    EXPECT_EQ(hexText16(0x1A), "1A");
    EXPECT_EQ(hexText16(0x7FF3), "7FF3");
    EXPECT_EQ(hexText16(-2), "FFFE");
    EXPECT_EQ(hexText16(-32768), "8000");
    EXPECT_EQ(hexText32(-2), "FFFFFFFE");
    EXPECT_EQ(hexText32(-1), "FFFFFFFF");
    EXPECT_EQ(hexText32(0xFFFF), "FFFF");
    EXPECT_EQ(hexText32(std::numeric_limits<std::int32_t>::min()), "80000000");
}

TEST(ParseCode, FourDigitsAreASixteenBitPattern) {
    EXPECT_EQ(parseCode("FFFF").optional(), -1);
    EXPECT_EQ(parseCode("8000").optional(), -32768);
    EXPECT_EQ(parseCode("7FFF").optional(), 32767);
    EXPECT_EQ(parseCode("0").optional(), 0);
    EXPECT_EQ(parseCode("ff").optional(), 255);
    EXPECT_EQ(parseCode("00A0").optional(), 0xA0);
    EXPECT_EQ(parseCode(" 7ff3\t").optional(), 0x7FF3);
}

TEST(ParseCode, LongerTextIsAThirtyTwoBitPatternWithinSixteenBits) {
    // A sign-extended slot shown with 8 digits reads back as the same value.
    EXPECT_EQ(parseCode(hexText32(-1)).optional(), -1);
    EXPECT_EQ(parseCode("FFFF8000").optional(), -32768);
    EXPECT_EQ(parseCode("00007FFF").optional(), 32767);
    EXPECT_EQ(parseCode("0000000000001").optional(), 1);
    for (const char* tooBig :
         {"0FFFF", "10000", "FFFF7FFF", "7FFFFFFF", "000000008000", "123456789ABCDEF0123"}) {
        const auto r = parseCode(tooBig);
        EXPECT_FALSE(r) << tooBig;
        EXPECT_THAT(r.refusal(), testing::HasSubstr("does not fit in 16 bits")) << tooBig;
    }
    // Behind many leading zeros the code is a plain number: the message says which.
    EXPECT_THAT(parseCode(std::string(250, '0') + "FFBF").refusal(),
                testing::StartsWith("has 254 digits: behind its leading zeros it is the number "
                                    "65471, which does not fit in 16 bits"));
}

TEST(ParseCode, RefusesWhatIsNoHexCodeAndSaysWhy) {
    EXPECT_EQ(parseCode("").refusal(), "is empty");
    EXPECT_EQ(parseCode("  ").refusal(), "is empty");
    for (const char* bad : {"12G", "-1", "1 2", "+5", "1.0", "\xC3\xA4"}) {
        const auto r = parseCode(bad);
        EXPECT_FALSE(r) << bad;
        EXPECT_EQ(r.refusal(), "is not hexadecimal") << bad;
    }
    // A prefix typed by the user is refused, with a hint.
    for (const char* prefixed : {"&H1A", "&h1a", "0x1A"}) {
        EXPECT_FALSE(parseCode(prefixed)) << prefixed;
        EXPECT_NE(parseCode(prefixed).refusal().find("without a prefix"), std::string::npos);
    }
    const std::string withNul("1\0"
                              "2",
                              3);
    EXPECT_FALSE(parseCode(withNul));
    EXPECT_EQ(parseCode(std::string(100000, 'F')).refusal(), "does not fit in 16 bits");
}

TEST(Reference, WordsOfTheWorkedExamples) {
    struct Case {
        const char* text;
        std::int32_t pattern;
        std::int32_t upper;
        std::int32_t lower;
        const char* shown;
    };
    for (const Case& c :
         {Case{"10.0", 0x41200000, 16672, 0, "10"}, Case{"5.0", 0x40A00000, 16544, 0, "5"},
          Case{"9.9987", 0x411FFAAD, 16671, -1363, "9.9987"},
          Case{"10.0001", 0x41200069, 16672, 105, "10.0001"}}) {
        const auto v = parseReference(c.text);
        ASSERT_TRUE(v) << c.text;
        EXPECT_EQ(Float2Long(*v.optional()), c.pattern) << c.text;
        const ReferenceWords w = referenceWords(*v.optional());
        EXPECT_EQ(w.upper, c.upper) << c.text;
        EXPECT_EQ(w.lower, c.lower) << c.text;
        EXPECT_EQ(referenceText(w.upper, w.lower), c.shown) << c.text;
        // Zero-extended words give the same text.
        EXPECT_EQ(referenceText(w.upper & 0xFFFF, w.lower & 0xFFFF), c.shown) << c.text;
    }
}

TEST(Reference, BitPatternsPassUnchanged) {
    EXPECT_EQ(Float2Long(Long2Float(0x7FC00001)), 0x7FC00001); // a NaN keeps its payload
    EXPECT_EQ(Long2Float(0x41200000), 10.0f);
    EXPECT_EQ(Float2Long(-0.0f), std::numeric_limits<std::int32_t>::min());
}

TEST(Reference, TextHasAtMostSevenSignificantDigits) {
    EXPECT_EQ(formatReference(1.0f / 3.0f), "0.3333333");
    EXPECT_EQ(formatReference(2.5f), "2.5");
    EXPECT_EQ(formatReference(0.0f), "0");
    EXPECT_EQ(formatReference(-5.0012f), "-5.0012");
    EXPECT_EQ(formatReference(12345678.0f), "1.234568e+07");
    // Halves to even at the seventh digit: 0.5 is exact in binary.
    EXPECT_EQ(formatReference(1000000.5f), "1000000");
    EXPECT_EQ(formatReference(1000001.5f), "1000002");
}

TEST(Reference, NotFiniteIsShownAsTextThatIsRefused) {
    // An erased EEPROM: both words FFFF.
    EXPECT_EQ(referenceText(-1, -1), "NaN");
    EXPECT_EQ(referenceText(0xFFFF, 0xFFFF), "NaN");
    EXPECT_EQ(referenceText(0x7F80, 0), "Inf");
    EXPECT_EQ(referenceText(-128, 0), "-Inf"); // 0xFF80
    for (const char* shown : {"NaN", "Inf", "-Inf", "nan", "infinity"}) {
        const auto r = parseReference(shown);
        EXPECT_FALSE(r) << shown;
        EXPECT_EQ(r.refusal(), "is not a finite number") << shown;
    }
}

TEST(Reference, ParsingAcceptsDecimalNumbersOnly) {
    EXPECT_EQ(parseReference(" 9.9987 ").optional(), 9.9987f);
    EXPECT_EQ(parseReference("+5").optional(), 5.0f);
    EXPECT_EQ(parseReference("-0.5").optional(), -0.5f);
    EXPECT_EQ(parseReference("1e1").optional(), 10.0f);
    EXPECT_EQ(parseReference(".5").optional(), 0.5f);
    EXPECT_EQ(parseReference("").refusal(), "is empty");
    EXPECT_EQ(parseReference("1e39").refusal(), "is out of range");
    for (const char* bad : {"abc", "10V", "1 0", "++1", "+-1", "0x10", "1e", "&H10"}) {
        EXPECT_EQ(parseReference(bad).refusal(), "is not a decimal number") << bad;
    }
    EXPECT_EQ(parseReference("9,9987").refusal(), "is not a decimal number (use a decimal point)");
    EXPECT_FALSE(parseReference(std::string("1\0", 2)));
    EXPECT_FALSE(parseReference(std::string(100000, '9')));
}

TEST(Reference, TiesInTheTextRoundToEven) {
    // 16777217 lies exactly between the singles 16777216 and 16777218.
    EXPECT_EQ(parseReference("16777217").optional(), 16777216.0f);
    EXPECT_EQ(parseReference("16777219").optional(), 16777220.0f);
}

TEST(Messages, QuoteIsShortAndPrintable) {
    EXPECT_EQ(core::quoteText("12G"), "\"12G\"");
    EXPECT_EQ(core::quoteText(std::string("a\0b\n", 4)), "\"a?b?\"");
    EXPECT_EQ(core::quoteText(std::string(1000, 'x')), "\"" + std::string(40, 'x') + "...\"");
    // A two-byte character across the cut is not split.
    const std::string text = std::string(39, 'x') + "\xC3\xA4" + "yyy";
    EXPECT_EQ(core::quoteText(text), "\"" + std::string(39, 'x') + "...\"");
    EXPECT_EQ(errorCodeText(12), "Error Code=12");
    EXPECT_EQ(errorCodeText(-3), "Error Code=-3");
}

TEST(PlausibleReference, WithinTenPercentOfNominalOrRefusedNamingBoxTextAndRange) {
    EXPECT_EQ(plausibleReference(ref10(), "9.9987").optional(), 9.9987f);
    EXPECT_EQ(plausibleReference(ref10(), "9.0").optional(), 9.0f);
    EXPECT_EQ(plausibleReference(ref10(), "11").optional(), 11.0f);
    EXPECT_EQ(plausibleReference(ref5(), "4.5").optional(), 4.5f);
    EXPECT_EQ(plausibleReference(ref5(), "5.5").optional(), 5.5f);
    for (const char* bad :
         {"0", "-0", "-10.0", "1e-40", "1e38", "32767", "100000000", "8.99", "11.01", "5.0"}) {
        const auto r = plausibleReference(ref10(), bad);
        EXPECT_FALSE(r) << bad;
        EXPECT_NE(r.refusal().find("10V Ref(TP2)"), std::string::npos) << bad;
        EXPECT_NE(r.refusal().find(std::string("\"") + bad + "\""), std::string::npos) << bad;
    }
    EXPECT_NE(plausibleReference(ref5(), "10").refusal().find("from 4.5 to 5.5 V"),
              std::string::npos);
    EXPECT_NE(plausibleReference(ref5(), "abc").refusal().find("is not a decimal number"),
              std::string::npos);
}
