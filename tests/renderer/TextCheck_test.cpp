// vesk-render's reading of a parameter text before it hands the text on:
// labelled cases for where and why the reading stops, and a sweep that holds
// its count of fields read to the plug-in's own reader.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "params/ParameterText.h"
#include "renderer/TextCheck.h"

namespace {

struct ReadingCase {
    const char* label;
    const char* text;
    bool marked;
    int fieldsRead;
    TextStop stop;
    const char* stoppedAt;
    const char* message;  // a part of the one-line description
};

const ReadingCase ReadingCases[] = {
    {"the defaults", "# 1.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00", true, 8, TextStop::None, "", ""},
    {"no space after the mark", "#2 3 4 0.5 0.2 1 2 3", true, 8, TextStop::None, "", ""},
    {"tabs and newlines between", "#\t1\n2\r3 4 5 6 7 8", true, 8, TextStop::None, "", ""},
    {"more than eight numbers", "# 1 2 3 4 5 6 7 8 9 10", true, 8, TextStop::None, "", ""},
    {"no mark: the first character is skipped", "11.5 2 3 4 5 6 7 8", false, 8, TextStop::None, "", ""},
    {"empty", "", false, 0, TextStop::TextEnds, "", "fields 1-8 (XScale to blue) keep their values"},
    {"mark alone", "#", true, 0, TextStop::TextEnds, "", "before the first number"},
    {"three numbers", "# 3 4 5", true, 3, TextStop::TextEnds, "",
     "fields 4-8 (Threshold to blue) keep their values: the text ends after field 3 (ZScale)"},
    {"seven numbers and spaces", "# 1 2 3 4 5 6 7   ", true, 7, TextStop::TextEnds, "",
     "field 8 (blue) keeps its value"},
    {"letters", "#hello", true, 0, TextStop::NotANumber, "hello", "\"hello\" is not a number"},
    {"letters after four numbers", "# 1 2 3 4 x5 6", true, 4, TextStop::NotANumber, "x5",
     "fields 5-8 (Sharpness to blue) keep their values: \"x5\" is not a number"},
    {"a lone sign", "# 1 - 3", true, 1, TextStop::NotANumber, "-", "\"-\" is not a number"},
    {"a lone point", "# .", true, 0, TextStop::NotANumber, ".", "not a number"},
    {"infinity is not read", "# inf 2", true, 0, TextStop::NotANumber, "inf", "not a number"},
    {"hexadecimal stops after its 0", "# 0x1p3 2", true, 1, TextStop::NotANumber, "x1p3", "not a number"},
    {"a letter right after a number", "# 1 2a 3", true, 2, TextStop::NotANumber, "a", "\"a\" is not a number"},
    {"decimal commas", "# 1,00 1,00 1,00 0,40 0,20 235,00 225,00 200,00", true, 1, TextStop::DecimalComma, "1,00",
     "fields 2-8 (YScale to blue) keep their values and field 1 (XScale) reads as 1: \"1,00\" has a decimal comma "
     "(write 1.00)"},
    {"one decimal comma", "# 1.00 1.00 1.00 0,40 0.20", true, 4, TextStop::DecimalComma, "0,40",
     "field 4 (Threshold) reads as 0"},
    {"comma before the first number", "# ,5 1", true, 0, TextStop::DecimalComma, ",5",
     "fields 1-8 (XScale to blue) keep their values: \",5\" has a decimal comma (write .5)"},
    {"comma after the eighth number", "# 1 1 1 0.5 0.2 120 128 128,5", true, 8, TextStop::DecimalComma, "128,5",
     "field 8 (blue) reads as 128: \"128,5\" has a decimal comma (write 128.5)"},
    {"a comma and a space is no decimal comma", "# 1, 2", true, 1, TextStop::NotANumber, ",", "not a number"},
    {"beyond the float range", "# 1e39 1", true, 0, TextStop::BeyondFloatRange, "1e39",
     "fields 1-8 (XScale to blue) keep their values: \"1e39\" is beyond the float range"},
    {"negative beyond the float range", "# 1 -3.5e38", true, 1, TextStop::BeyondFloatRange, "-3.5e38",
     "beyond the float range"},
    {"beyond even a double", "# 1 2 3 4 5 6 7 1e400", true, 7, TextStop::BeyondFloatRange, "1e400",
     "field 8 (blue) keeps its value"},
    {"the largest float", "# 3.4028234e38 1 1 1 1 1 1 1", true, 8, TextStop::None, "", ""},
    {"too small rounds to zero", "# 1e-50 1e-400 1 1 1 1 1 1", true, 8, TextStop::None, "", ""},
    {"an exponent without digits ends the number", "# 1e 2", true, 1, TextStop::NotANumber, "e", "not a number"},
    {"long letters are cut short", "# abcdefghijklmnopqrstuvwxyz0123456789", true, 0, TextStop::NotANumber,
     "abcdefghijklmnopqrstuvwx...", "not a number"},
};

TEST(TextCheck, SaysWhereAndWhyThePlugInStopsReading) {
    for (const ReadingCase& c : ReadingCases) {
        TextReading reading = ReadAsThePlugInDoes(c.text);
        EXPECT_EQ(reading.marked, c.marked) << c.label;
        EXPECT_EQ(reading.fieldsRead, c.fieldsRead) << c.label;
        EXPECT_EQ(reading.stop, c.stop) << c.label;
        EXPECT_EQ(reading.stoppedAt, c.stoppedAt) << c.label;
        std::string message = DescribeReading(reading);
        if (c.stop == TextStop::None) {
            EXPECT_EQ(message, "") << c.label;
        } else {
            EXPECT_NE(message.find(c.message), std::string::npos) << c.label << ": " << message;
        }
        // It counts what the plug-in's own reader stores.
        ShaderParameters record = DefaultParameters;
        EXPECT_EQ(reading.fieldsRead, ReadParameterText(c.text, record)) << c.label;
    }
}

// Texts stitched from pieces that sit on the edges of the reading rule.
TEST(TextCheck, CountsTheFieldsThePlugInReadsOnStitchedTexts) {
    const char* numbers[] = {"1",   "0.5",  "-2",   "+3",    ".5",    "5.",           "1e3",
                             "2E-2", "0",   "00012", "1e-46", "1e-400", "3.4028234e38", "-0.0"};
    const char* others[] = {"1,5", ",5",  "1e39", "-1e39", "3.4028236e38", "1e",    "1e+", "abc", "x", "-", "+",
                            ".",   "e5",  "inf",  "nan",   "0x10",         "1.2.3", ",",
                            "9999999999999999999999999999999999999999"};
    const char* gaps[] = {" ", " ", " ", "  ", "\t", "\n", "", ","};
    std::mt19937 random(20261211u);
    int stopped = 0, complete = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string text = random() % 8 ? "#" : "";
        int count = 3 + random() % 8;
        for (int k = 0; k < count; ++k) {
            text += gaps[random() % std::size(gaps)];
            text += random() % 10 ? numbers[random() % std::size(numbers)] : others[random() % std::size(others)];
        }
        ShaderParameters record = DefaultParameters;
        TextReading reading = ReadAsThePlugInDoes(text);
        ASSERT_EQ(reading.fieldsRead, ReadParameterText(text.c_str(), record)) << "'" << text << "'";
        // A stop before the eighth field always has its reason.
        if (reading.fieldsRead < 8) {
            ASSERT_NE(reading.stop, TextStop::None) << "'" << text << "'";
        }
        (reading.fieldsRead < 8 ? stopped : complete)++;
    }
    // Both outcomes came often enough for the comparison to mean something.
    EXPECT_GT(stopped, 1000);
    EXPECT_GT(complete, 500);
}

}  // namespace
