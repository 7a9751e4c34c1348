#pragma once
// A strict little JSON reader for the tests of --json: one object per line,
// RFC 8259 syntax, strings decoded (escapes, \u with surrogate pairs), and
// the text must be valid UTF-8. Top-level members are kept as their decoded
// string (strings) or their raw text (anything else).

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace fota::testing {

class JsonLine {
public:
    // The members of the object on the line, or nullopt when it is no valid JSON object.
    static std::optional<std::map<std::string, std::string>> Parse(std::string_view text) {
        JsonLine p(text);
        std::map<std::string, std::string> members;
        p.space();
        if (!p.object(&members)) {
            return std::nullopt;
        }
        p.space();
        if (p.i_ != p.s_.size() || !validUtf8(text)) {
            return std::nullopt;
        }
        return members;
    }

private:
    explicit JsonLine(std::string_view s) : s_(s) {}

    static bool validUtf8(std::string_view s) {
        for (std::size_t i = 0; i < s.size();) {
            const auto b = static_cast<unsigned char>(s[i]);
            const std::size_t len = b < 0x80         ? 1
                                    : (b >> 5) == 6  ? 2
                                    : (b >> 4) == 14 ? 3
                                    : (b >> 3) == 30 ? 4
                                                     : 0;
            if (len == 0 || i + len > s.size()) {
                return false;
            }
            for (std::size_t k = 1; k < len; ++k) {
                if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                    return false;
                }
            }
            i += len;
        }
        return true;
    }

    void space() {
        while (i_ < s_.size() &&
               (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) {
            ++i_;
        }
    }
    bool eat(char c) {
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    bool literal(std::string_view word) {
        if (s_.substr(i_, word.size()) == word) {
            i_ += word.size();
            return true;
        }
        return false;
    }
    static void put(std::string& out, std::uint32_t cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    bool hex4(std::uint32_t& v) {
        if (i_ + 4 > s_.size()) {
            return false;
        }
        v = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s_[i_++];
            v <<= 4;
            if (c >= '0' && c <= '9') {
                v |= static_cast<std::uint32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                v |= static_cast<std::uint32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                v |= static_cast<std::uint32_t>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }
    bool string(std::string* out) {
        if (!eat('"')) {
            return false;
        }
        std::string text;
        while (i_ < s_.size()) {
            const char c = s_[i_++];
            if (c == '"') {
                if (out) {
                    *out = text;
                }
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c != '\\') {
                text.push_back(c);
                continue;
            }
            if (i_ >= s_.size()) {
                return false;
            }
            const char e = s_[i_++];
            switch (e) {
                case '"':
                    text.push_back('"');
                    break;
                case '\\':
                    text.push_back('\\');
                    break;
                case '/':
                    text.push_back('/');
                    break;
                case 'b':
                    text.push_back('\b');
                    break;
                case 'f':
                    text.push_back('\f');
                    break;
                case 'n':
                    text.push_back('\n');
                    break;
                case 'r':
                    text.push_back('\r');
                    break;
                case 't':
                    text.push_back('\t');
                    break;
                case 'u': {
                    std::uint32_t cp = 0;
                    if (!hex4(cp)) {
                        return false;
                    }
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        std::uint32_t low = 0;
                        if (!eat('\\') || !eat('u') || !hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                            return false;
                        }
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        return false;
                    }
                    put(text, cp);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }
    bool number() {
        const std::size_t start = i_;
        eat('-');
        if (eat('0')) {
        } else if (i_ < s_.size() && s_[i_] >= '1' && s_[i_] <= '9') {
            while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') {
                ++i_;
            }
        } else {
            return false;
        }
        if (eat('.')) {
            const std::size_t digits = i_;
            while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') {
                ++i_;
            }
            if (i_ == digits) {
                return false;
            }
        }
        if (eat('e') || eat('E')) {
            if (!eat('+')) {
                eat('-');
            }
            const std::size_t digits = i_;
            while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') {
                ++i_;
            }
            if (i_ == digits) {
                return false;
            }
        }
        return i_ > start;
    }
    bool value(std::string* out) {
        space();
        const std::size_t start = i_;
        bool ok = false;
        if (i_ < s_.size() && s_[i_] == '"') {
            return string(out);
        }
        if (i_ < s_.size() && s_[i_] == '{') {
            ok = object(nullptr);
        } else if (i_ < s_.size() && s_[i_] == '[') {
            ++i_;
            space();
            if (!eat(']')) {
                do {
                    if (!value(nullptr)) {
                        return false;
                    }
                    space();
                } while (eat(','));
                ok = eat(']');
            } else {
                ok = true;
            }
        } else {
            ok = literal("true") || literal("false") || literal("null") || number();
        }
        if (ok && out) {
            *out = std::string(s_.substr(start, i_ - start));
        }
        return ok;
    }
    bool object(std::map<std::string, std::string>* members) {
        if (!eat('{')) {
            return false;
        }
        space();
        if (eat('}')) {
            return true;
        }
        do {
            space();
            std::string key;
            if (!string(&key)) {
                return false;
            }
            space();
            if (!eat(':')) {
                return false;
            }
            std::string v;
            if (!value(&v)) {
                return false;
            }
            if (members) {
                if (members->count(key)) {
                    return false;  // a key twice
                }
                (*members)[key] = v;
            }
            space();
        } while (eat(','));
        return eat('}');
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

}  // namespace fota::testing
