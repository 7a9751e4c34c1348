#pragma once
// An INI text read the way Qt's QSettings reads its INI and native Linux
// files, so that a program without Qt finds the same values as the window
// program in the same file.
//
//   [Section]            a group; keys below it are "Section/key". [General]
//                        (any case) is the top level, [%General] the group
//                        "General". In section and key names '\' stands for
//                        '/', "%XX" and "%UXXXX" for a character.
//   key = value          spaces around key and value are dropped; a value may
//                        be quoted ("..."), may hold the escapes \a \b \f \n
//                        \r \t \v \" \' \? \\ \xHH... \OOO, and continues on
//                        the next line after a backslash at the end of a line.
//   ; comment            a line starting with ';'; also the rest of a line
//                        after a ';' outside quotes.
//
// A value with a comma outside quotes is a list (kept joined with ',');
// "@Invalid()" is no value; "@ByteArray(...)", "@Variant(...)" and the other
// "@Type(...)" forms are values that are not text; "@@x" is the text "@x".
// Keys are case-sensitive; a later key of the same name wins. A UTF-8 byte
// order mark is skipped. Lines without '=' are ignored. A section header
// without its ']' makes the file malformed (QSettings reports a format error
// for it, and the window program then ignores the whole file).
//
// Parsing never fails and never throws for any bytes: the worst input gives
// fewer values.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace fota {

class IniFile {
public:
    struct Value {
        bool isText = true;   // false: stored as another type (a byte array, a number, ...)
        std::string text;     // the text (UTF-8 as found in the file); empty when !isText
        bool isList = false;  // it had a comma outside quotes (the parts joined with ',')
    };

    // The largest file load() reads; a bigger one is not a settings file.
    static constexpr std::size_t kMaxFileSize = 1 << 20;

    static IniFile parse(std::string_view bytes);

    // Reads and parses a file. A missing file is an empty one. nullopt with
    // *error set when the file exists but cannot be read, or is too big.
    static std::optional<IniFile> load(const std::string& path, std::string* error = nullptr);

    // The value of a full key ("Section/key"), or null.
    const Value* find(std::string_view key) const;

    const std::map<std::string, Value, std::less<>>& values() const { return values_; }

    // False when a section header had no closing ']'.
    bool wellFormed() const { return wellFormed_; }

private:
    std::map<std::string, Value, std::less<>> values_;
    bool wellFormed_ = true;
};

}  // namespace fota
