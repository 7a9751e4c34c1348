#include "platform/IniFile.h"

#include "platform/Convert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace fota {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isSpecial(char c) {
    return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}

// A character of the 16-bit range as UTF-8 (a lone surrogate as U+FFFD).
void appendCodePoint(std::string& out, std::uint32_t cp) {
    cp &= 0xFFFF;
    if (cp >= 0xD800 && cp <= 0xDFFF) {
        cp = 0xFFFD;
    }
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// One logical line from pos on: its start and length, and where its first
// '=' outside quotes is (npos: none). A quoted value may run over line ends;
// a backslash takes the next character (a line end too) with it; a ';' at the
// start makes the line a comment, elsewhere outside quotes it ends the line.
// False at the end of the data.
bool readLine(std::string_view data, std::size_t& pos, std::size_t& lineStart, std::size_t& lineLen,
              std::size_t& equalsPos) {
    const std::size_t n = data.size();
    bool inQuotes = false;
    equalsPos = std::string_view::npos;
    lineStart = pos;
    while (lineStart < n && isSpace(data[lineStart])) {
        ++lineStart;
    }
    std::size_t i = lineStart;
    while (i < n) {
        while (i < n && !isSpecial(data[i])) {
            ++i;
        }
        if (i == n) {
            break;
        }
        const char ch = data[i++];
        if (ch == '=') {
            if (!inQuotes && equalsPos == std::string_view::npos) {
                equalsPos = i - 1;
            }
        } else if (ch == '\n' || ch == '\r') {
            if (i == lineStart + 1) {
                ++lineStart;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (ch == '\\') {
            if (i < n) {
                const char next = data[i++];
                if (i < n) {
                    const char after = data[i];
                    if ((next == '\n' && after == '\r') || (next == '\r' && after == '\n')) {
                        ++i;
                    }
                }
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else {  // ';'
            if (i == lineStart + 1) {
                while (i < n && data[i] != '\n' && data[i] != '\r') {
                    ++i;
                }
                while (i < n && isSpace(data[i])) {
                    ++i;
                }
                lineStart = i;
            } else if (!inQuotes) {
                --i;
                break;
            }
        }
    }
    pos = i;
    lineLen = i - lineStart;
    return lineLen > 0;
}

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isWhite(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isWhite(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// The digits of a "%XX" or "%UXXXX" code, read as Qt reads them: spaces
// around, a '+' and a "0x" are allowed.
std::optional<std::uint32_t> hexField(std::string_view field) {
    field = trimmed(field);
    if (!field.empty() && field.front() == '+') {
        field.remove_prefix(1);
    }
    if (field.size() > 2 && field[0] == '0' && (field[1] == 'x' || field[1] == 'X')) {
        field.remove_prefix(2);
    }
    if (field.empty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : field) {
        const int h = HexDigitValue(c);
        if (h < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint32_t>(h);
    }
    return value;
}

// A section or key name: '\' is '/', "%XX" and "%UXXXX" are characters; a
// '%' that starts no such code stays.
std::string unescapeKey(std::string_view key) {
    std::string out;
    out.reserve(key.size());
    std::size_t i = 0;
    while (i < key.size()) {
        const char ch = key[i];
        if (ch == '\\') {
            out.push_back('/');
            ++i;
            continue;
        }
        if (ch != '%' || i + 1 == key.size()) {
            out.push_back(ch);
            ++i;
            continue;
        }
        std::size_t first = i + 1;
        std::size_t digits = 2;
        if (key[first] == 'U') {
            ++first;
            digits = 4;
        }
        const auto value =
            first + digits <= key.size() ? hexField(key.substr(first, digits)) : std::nullopt;
        if (!value) {
            out.push_back('%');
            ++i;
            continue;
        }
        appendCodePoint(out, *value);
        i = first + digits;
    }
    return out;
}

void chopTrailingSpaces(std::string& s, std::size_t limit) {
    while (s.size() > limit && (s.back() == ' ' || s.back() == '\t')) {
        s.pop_back();
    }
}

// A value: quotes, escapes, line continuations, and commas that make a list.
// Returns true for a list (in `list`), else the text is in `text`.
bool unescapeValue(std::string_view s, std::string& text, std::vector<std::string>& list) {
    static constexpr char kEscapes[][2] = {{'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},
                                           {'r', '\r'}, {'t', '\t'},  {'v', '\v'}, {'"', '"'},
                                           {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    const std::size_t n = s.size();
    bool isList = false;
    bool inQuotes = false;
    bool currentQuoted = false;
    std::size_t i = 0;
    bool skipSpaces = true;
    bool chop = true;  // chop trailing spaces at the end (not after an escape at the very end)

    while (true) {
        if (skipSpaces) {
            while (i < n && (s[i] == ' ' || s[i] == '\t')) {
                ++i;
            }
            skipSpaces = false;
        }
        std::size_t chopLimit = text.size();
        bool restart = false;
        while (i < n && !restart) {
            const char c = s[i];
            if (c == '\\') {
                ++i;
                if (i >= n) {
                    chop = false;
                    break;
                }
                const char e = s[i++];
                bool mapped = false;
                for (const auto& m : kEscapes) {
                    if (e == m[0]) {
                        text.push_back(m[1]);
                        mapped = true;
                        break;
                    }
                }
                if (mapped) {
                    chopLimit = text.size();
                    continue;
                }
                if (e == 'x' && i < n && HexDigitValue(s[i]) >= 0) {
                    std::uint32_t v = 0;
                    while (i < n && HexDigitValue(s[i]) >= 0) {
                        v = ((v << 4) | static_cast<std::uint32_t>(HexDigitValue(s[i]))) & 0xFFFFF;
                        ++i;
                    }
                    appendCodePoint(text, v);
                    chopLimit = text.size();
                    if (i >= n) {
                        chop = false;
                    }
                    continue;
                }
                if (e >= '0' && e <= '7') {
                    std::uint32_t v = static_cast<std::uint32_t>(e - '0');
                    while (i < n && s[i] >= '0' && s[i] <= '7') {
                        v = ((v << 3) | static_cast<std::uint32_t>(s[i] - '0')) & 0xFFFFF;
                        ++i;
                    }
                    appendCodePoint(text, v);
                    chopLimit = text.size();
                    if (i >= n) {
                        chop = false;
                    }
                    continue;
                }
                if ((e == '\n' || e == '\r') && i < n) {
                    const char after = s[i];
                    if ((after == '\n' || after == '\r') && after != e) {
                        ++i;
                    }
                }
                // Anything else after a backslash is dropped with it.
                chopLimit = text.size();
                continue;
            }
            if (c == '"') {
                ++i;
                currentQuoted = true;
                inQuotes = !inQuotes;
                if (!inQuotes) {
                    skipSpaces = true;
                    restart = true;
                }
                continue;
            }
            if (c == ',' && !inQuotes) {
                if (!currentQuoted) {
                    chopTrailingSpaces(text, chopLimit);
                }
                if (!isList) {
                    isList = true;
                    list.clear();
                }
                list.push_back(std::move(text));
                text.clear();
                currentQuoted = false;
                ++i;
                skipSpaces = true;
                restart = true;
                continue;
            }
            std::size_t j = i + 1;
            while (j < n && s[j] != '\\' && s[j] != '"' && s[j] != ',') {
                ++j;
            }
            text.append(s.substr(i, j - i));
            i = j;
        }
        if (restart) {
            continue;
        }
        if (chop && !currentQuoted) {
            chopTrailingSpaces(text, chopLimit);
        }
        break;
    }
    if (isList) {
        list.push_back(std::move(text));
        text.clear();
    }
    return isList;
}

std::size_t countArgs(std::string_view s, std::size_t openParen) {
    std::size_t count = 0;
    for (std::size_t k = openParen + 1; k < s.size(); ++k) {
        if (s[k] == ' ' || s[k] == ')') {
            ++count;
        }
    }
    return count;
}

// What a single text stands for: nullopt for "@Invalid()".
std::optional<IniFile::Value> toValue(std::string_view s) {
    IniFile::Value v;
    if (!s.empty() && s.front() == '@') {
        if (s.back() == ')') {
            auto startsWith = [&](std::string_view p) { return s.substr(0, p.size()) == p; };
            if (startsWith("@ByteArray(") || startsWith("@Variant(") || startsWith("@DateTime(")) {
                v.isText = false;
                return v;
            }
            if ((startsWith("@Rect(") && countArgs(s, 5) == 4) ||
                (startsWith("@Size(") && countArgs(s, 5) == 2) ||
                (startsWith("@Point(") && countArgs(s, 6) == 2)) {
                v.isText = false;
                return v;
            }
            if (s == "@Invalid()") {
                return std::nullopt;
            }
        }
        if (s.size() >= 2 && s[1] == '@') {
            s.remove_prefix(1);
        }
    }
    v.text = std::string(s);
    return v;
}

IniFile::Value toListValue(std::vector<std::string> parts) {
    IniFile::Value v;
    v.isList = true;
    for (std::string& p : parts) {
        if (!p.empty() && p.front() == '@') {
            if (p.size() >= 2 && p[1] == '@') {
                p.erase(0, 1);
            } else {
                v.isText = false;  // a list of other types
                return v;
            }
        }
    }
    for (std::size_t k = 0; k < parts.size(); ++k) {
        if (k != 0) {
            v.text.push_back(',');
        }
        v.text += parts[k];
    }
    return v;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t k = 0; k < a.size(); ++k) {
        char x = a[k];
        char y = b[k];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace

IniFile IniFile::parse(std::string_view data) {
    IniFile ini;
    if (data.size() >= 3 && static_cast<unsigned char>(data[0]) == 0xEF &&
        static_cast<unsigned char>(data[1]) == 0xBB &&
        static_cast<unsigned char>(data[2]) == 0xBF) {
        data.remove_prefix(3);
    }

    // First the sections, each with its lines (a section that appears more
    // than once has them all, in order); then the keys of each section, the
    // sections taken in name order as QSettings does.
    std::map<std::string, std::string> sections;
    std::string current;  // "" (the top level) or "Name/"
    std::size_t pos = 0;
    std::size_t sectionStart = 0;
    std::size_t lineStart = 0;
    std::size_t lineLen = 0;
    std::size_t equalsPos = 0;
    auto flush = [&](std::size_t end) {
        std::string& text = sections[current];
        if (!text.empty()) {
            text.push_back('\n');
        }
        text.append(data.substr(sectionStart, end - sectionStart));
    };
    while (readLine(data, pos, lineStart, lineLen, equalsPos)) {
        if (data[lineStart] != '[') {
            continue;
        }
        flush(lineStart);
        const std::string_view line = data.substr(lineStart, lineLen);
        std::string_view name;
        const std::size_t close = line.find(']');
        if (close == std::string_view::npos) {
            ini.wellFormed_ = false;
            name = line.substr(1);
        } else {
            name = line.substr(1, close - 1);
        }
        name = trimmed(name);
        if (equalsNoCase(name, "general")) {
            current.clear();
        } else {
            if (equalsNoCase(name, "%general")) {
                current = std::string(name.substr(1));
            } else {
                current = unescapeKey(name);
            }
            current.push_back('/');
        }
        sectionStart = pos;
    }
    flush(data.size());

    for (const auto& [section, text] : sections) {
        std::size_t p = 0;
        while (readLine(text, p, lineStart, lineLen, equalsPos)) {
            if (equalsPos == std::string_view::npos) {
                continue;  // a comment, or a line that is no key
            }
            std::string key = section + unescapeKey(trimmed(std::string_view(text).substr(
                                            lineStart, equalsPos - lineStart)));
            const std::string_view raw =
                std::string_view(text).substr(equalsPos + 1, lineStart + lineLen - equalsPos - 1);
            std::string single;
            std::vector<std::string> list;
            if (unescapeValue(raw, single, list)) {
                ini.values_[std::move(key)] = toListValue(std::move(list));
            } else if (auto v = toValue(single)) {
                ini.values_[std::move(key)] = std::move(*v);
            } else {
                ini.values_.erase(key);  // "@Invalid()": no value
            }
        }
    }
    return ini;
}

std::optional<IniFile> IniFile::load(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<IniFile> {
        if (error) {
            *error = why;
        }
        return std::nullopt;
    };
    // Non-blocking, so that a FIFO in its place cannot hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return IniFile{};  // no settings yet
        }
        return fail(std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail("not a regular file");
    }
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const std::string why = std::strerror(errno);
            ::close(fd);
            return fail(why);
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() > kMaxFileSize) {
            ::close(fd);
            return fail("larger than " + std::to_string(kMaxFileSize / 1024) + " KiB");
        }
    }
    ::close(fd);
    return parse(bytes);
}

const IniFile::Value* IniFile::find(std::string_view key) const {
    const auto it = values_.find(key);
    return it == values_.end() ? nullptr : &it->second;
}

}  // namespace fota
