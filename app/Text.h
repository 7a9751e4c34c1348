#pragma once
// Text that fota-cli writes: JSON strings for --json, and terminal-safe text
// for lines that may carry bytes from outside (settings values, a stick's
// answers) so that no escape sequence reaches the user's terminal.

#include <string>
#include <string_view>

namespace fota::cli {

// A JSON string literal, quotes included: '"', '\' and control characters
// escaped, bytes that are not UTF-8 replaced by U+FFFD, so that the result
// is always valid JSON and valid UTF-8.
std::string JsonString(std::string_view text);

// The text with UTF-8 kept, and control characters (C0, DEL, C1) and bytes
// that are not UTF-8 written as \xNN.
std::string TerminalText(std::string_view text);

// Minutes and seconds, "1:05"; hours when needed, "1:02:03". Negative or
// not finite: "--:--".
std::string Clock(double seconds);

}  // namespace fota::cli
