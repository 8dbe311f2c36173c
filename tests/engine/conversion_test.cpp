// The integer conversion used for every typed number, and the texts of the error box.
#include "engine/convert.h"
#include "engine/errors.h"

#include <gtest/gtest.h>

namespace brennix {
namespace {

TEST(Conversion, DecimalWithBlanksAndSign) {
    EXPECT_EQ(TryStrToInt("60"), 60);
    EXPECT_EQ(TryStrToInt("0"), 0);
    EXPECT_EQ(TryStrToInt("007"), 7);
    EXPECT_EQ(TryStrToInt("   26"), 26);
    EXPECT_EQ(TryStrToInt("-5"), -5);
    EXPECT_EQ(TryStrToInt("+5"), 5);
    EXPECT_EQ(TryStrToInt(" -12"), -12);
}

TEST(Conversion, HexadecimalPrefixes) {
    EXPECT_EQ(TryStrToInt("$3C"), 60);
    EXPECT_EQ(TryStrToInt("x3c"), 60);
    EXPECT_EQ(TryStrToInt("X3c"), 60);
    EXPECT_EQ(TryStrToInt("0x3C"), 60);
    EXPECT_EQ(TryStrToInt("0XfF"), 255);
    EXPECT_EQ(TryStrToInt("  $b4"), 180);
    EXPECT_EQ(TryStrToInt("$7FFFFFFF"), INT32_MAX);
}

TEST(Conversion, RejectsWhatIsNotAWholeNumber) {
    for (const char* text :
         {"",    " ", "60 ", "6 0", "abc", "1e2",  "12.5", "+",     "-",   "--5", "+-5",
          "- 5", "$", "x",   "0x",  "$G",  "0x1g", "-$10", "+0x10", "\t5", "５"})
        EXPECT_FALSE(TryStrToInt(text).has_value()) << '"' << text << '"';
}

TEST(Conversion, SignedThirtyTwoBitRange) {
    EXPECT_EQ(TryStrToInt("2147483647"), INT32_MAX);
    EXPECT_EQ(TryStrToInt("-2147483648"), INT32_MIN);
    EXPECT_FALSE(TryStrToInt("2147483648"));
    EXPECT_FALSE(TryStrToInt("-2147483649"));
    EXPECT_FALSE(TryStrToInt("$80000000"));
    EXPECT_FALSE(TryStrToInt("99999999999999999999999"));
    EXPECT_EQ(TryStrToInt("00000000000000000000042"), 42);
}

TEST(Conversion, ErrorNamesTheTextAsTyped) {
    try {
        StrToInt(" 6x");
        FAIL() << "no error raised";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "' 6x' is not a valid integer value");
        EXPECT_EQ(ErrorBoxText(error.what()), "' 6x' is not a valid integer value.");
    }
    EXPECT_THROW(StrToInt(""), EConvertError);
    EXPECT_EQ(StrToInt("180"), 180);
}

TEST(ErrorBox, FullStopOnlyAfterCharactersSortingAfterIt) {
    EXPECT_EQ(ErrorBoxText("Invalid filename"), "Invalid filename.");
    EXPECT_EQ(ErrorBoxText("'abc' is not a valid integer value"),
              "'abc' is not a valid integer value.");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("Really?"), "Really?.");    // '?' sorts after '.'
    EXPECT_EQ(ErrorBoxText("value 'x'"), "value 'x'"); // '\'' sorts before '.'
    EXPECT_EQ(ErrorBoxText("ends with -"), "ends with -");
    EXPECT_EQ(ErrorBoxText("ends with /"), "ends with /.");
    EXPECT_EQ(ErrorBoxText("I/O error 5"), "I/O error 5.");
    EXPECT_EQ(ErrorBoxText(""), "");
    EXPECT_EQ(ErrorBoxText("Fehler \xC3\xA4"), "Fehler \xC3\xA4.");
}

TEST(ErrorBox, InputOutputConditions) {
    EXPECT_EQ(EInOutError(2).what(), std::string("File not found"));
    EXPECT_EQ(EInOutError(3).what(), std::string("Invalid filename"));
    EXPECT_EQ(EInOutError(4).what(), std::string("Too many open files"));
    EXPECT_EQ(EInOutError(5).what(), std::string("File access denied"));
    EXPECT_EQ(EInOutError(100).what(), std::string("Read beyond end of file"));
    EXPECT_EQ(EInOutError(101).what(), std::string("Disk full"));
    EXPECT_EQ(EInOutError(123).what(), std::string("I/O error 123"));
    EXPECT_EQ(EInOutError(5).Code(), 5);
    EXPECT_EQ(EInOutError(-7).Code(), -7);
    EXPECT_EQ(ErrorBoxText(EInOutError(123).what()), "I/O error 123.");
}

} // namespace
} // namespace brennix
