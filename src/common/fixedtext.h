#pragma once

#include <QString>

// A few fixed texts (the settings file's name, the window caption) are kept in the program as the hex
// digits of the reversed UTF-8 text, so they do not show up as plain strings in the binary.
// Returns the decoded text; an odd or non-hex input decodes as far as it is valid.
QString DecodeFixedText(const char* reversedHex);
