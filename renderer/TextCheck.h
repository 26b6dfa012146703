// What vesk.dll will make of a parameter text, worked out before the text
// reaches it: whether it carries the mark, how many fields the plug-in reads,
// and why it stops. Follows the plug-in's reading rule (skip the first
// character, then up to eight numbers with white space between) without
// being its code. Portable: no Windows header.
#pragma once

#include <string>

enum class TextStop {
    None,              // all eight fields are read
    TextEnds,          // nothing but white space is left
    NotANumber,
    BeyondFloatRange,  // a number the plug-in refuses: it would not fit a float
    DecimalComma,      // "0,40": the plug-in reads 0 and stops at the comma
};

struct TextReading {
    bool marked = false;  // starts with '#'
    int fieldsRead = 0;   // 0-8
    TextStop stop = TextStop::None;
    // Where the reading stops, as written: the field's text, or for a decimal
    // comma the whole number with it ("0,40"). Long texts are cut short.
    std::string stoppedAt;
    std::string lastRead;  // the last field read, as written
    bool commaCutsLastRead = false;  // a decimal comma right after it: "0,40" read as 0
};

TextReading ReadAsThePlugInDoes(const std::string& text);

// The field's name as the dialog and the README call it: "XScale", ..., "blue".
const char* ParameterFieldName(int index);

// One line saying which field is the first the plug-in does not read and
// why, and that it keeps its value; empty when all eight are read.
std::string DescribeReading(const TextReading& reading);
