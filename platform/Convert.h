#pragma once
// Conversion of text to integers, the one rule used for every number the
// program reads from text: HEX image fields, typed channel settings.
//
//   [spaces] [+|-] decimal-digits              value must fit a signed 32-bit integer
//   [spaces] [+|-] ($|x|X|0x|0X) hex-digits    1 to 8 digits of either case; the
//                                              32-bit pattern is taken as signed
//                                              ("$FFFFFFFF" is -1)
//
// Only leading spaces (' ') are skipped. Anything else fails: an empty text,
// a sign or prefix with no digits, a tab, an inner or trailing space, a ninth
// hexadecimal digit, a decimal value outside the signed 32-bit range.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace fota {

// The value of a hexadecimal digit (either case), or -1 for any other character.
int HexDigitValue(char c);

// The conversion error. what() is "'<text>' is not a valid integer value".
class ConvertError : public std::runtime_error {
public:
    explicit ConvertError(const std::string& text);
    // The text that failed to convert, as given.
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// Converts text by the rule above; throws ConvertError.
std::int32_t StrToInt(const std::string& text);

// The same rule without an exception: false (and value untouched) on failure.
bool TryStrToInt(const std::string& text, std::int32_t& value);

}  // namespace fota
