// Windows error codes in the system's own words, for vesk-render's messages.
#pragma once

#include <string>

// "The specified module could not be found (error 126)": FormatMessage's
// text without its full stop and line break, "%1" replaced by subject.
std::string SystemMessage(unsigned long code, const std::string& subject = "it");
