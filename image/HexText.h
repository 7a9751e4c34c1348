#pragma once
// Intel HEX text as a whole: splitting it into lines and loading it, line by
// line, into a TFirmware. The image store and the image tool both load
// through here, so a bad line is reported the same way everywhere.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "image/UFirmware.h"
#include "platform/Convert.h"

namespace fota {

// A line of HEX text that addHex rejected. what() is the conversion error of
// that line, unchanged; line() says which line (counted from 1).
class HexLineError : public ConvertError {
public:
    HexLineError(const ConvertError& error, std::size_t line) : ConvertError(error), line_(line) {}
    std::size_t line() const { return line_; }

private:
    std::size_t line_;
};

// Splits text into lines: CR LF, a lone CR and a lone LF each end a line; the
// break after the last line gives no empty line. Every other byte is kept.
std::vector<std::string> SplitHexLines(std::string_view text);

// Hands every line of text to fw.addHex in order. Appends to what fw holds.
// Throws HexLineError at the first rejected line; the lines before it stay.
void LoadHexText(std::string_view text, TFirmware& fw);

// The bytes of all blocks, concatenated in block order.
std::vector<std::uint8_t> ConcatenatedBytes(const TFirmware& fw);

}  // namespace fota
