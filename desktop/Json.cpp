#include "desktop/Json.h"

#include <cstdlib>

namespace {
// A hostile or broken answer must not exhaust the stack.
constexpr int kMaxDepth = 256;

class Parser {
  public:
    explicit Parser(const std::string& t) : t_(t) {}

    bool Document(JsonValue& v) {
        if (!Value(v, 0)) return false;
        Blank();
        return p_ == t_.size();
    }

  private:
    void Blank() {
        while (p_ < t_.size() && (t_[p_] == ' ' || t_[p_] == '\t' || t_[p_] == '\n' || t_[p_] == '\r'))
            ++p_;
    }
    bool Literal(const char* word) {
        const std::string w = word;
        if (t_.compare(p_, w.size(), w) != 0) return false;
        p_ += w.size();
        return true;
    }
    static void PutUtf8(std::string& out, unsigned long c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    bool Hex4(unsigned long& c) {
        if (p_ + 4 > t_.size()) return false;
        c = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = t_[p_++];
            c <<= 4;
            if (h >= '0' && h <= '9')
                c |= static_cast<unsigned long>(h - '0');
            else if (h >= 'a' && h <= 'f')
                c |= static_cast<unsigned long>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                c |= static_cast<unsigned long>(h - 'A' + 10);
            else
                return false;
        }
        return true;
    }
    bool String(std::string& out) {
        if (p_ >= t_.size() || t_[p_] != '"') return false;
        ++p_;
        while (p_ < t_.size()) {
            const char c = t_[p_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (p_ >= t_.size()) return false;
            const char e = t_[p_++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned long cp = 0;
                if (!Hex4(cp)) return false;
                if (cp >= 0xD800 && cp < 0xDC00 && t_.compare(p_, 2, "\\u") == 0) {
                    p_ += 2;
                    unsigned long low = 0;
                    if (!Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                PutUtf8(out, cp);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }
    bool Number(JsonValue& v) {
        const std::size_t start = p_;
        if (p_ < t_.size() && t_[p_] == '-') ++p_;
        while (p_ < t_.size() && ((t_[p_] >= '0' && t_[p_] <= '9') || t_[p_] == '.' || t_[p_] == 'e' ||
                                  t_[p_] == 'E' || t_[p_] == '+' || t_[p_] == '-'))
            ++p_;
        const std::string s = t_.substr(start, p_ - start);
        if (s.empty() || s == "-") return false;
        char* end = nullptr;
        v.number = std::strtod(s.c_str(), &end);
        v.type = JsonValue::Type::Number;
        return end && *end == '\0';
    }
    bool Value(JsonValue& v, int depth) {
        if (depth > kMaxDepth) return false;
        Blank();
        if (p_ >= t_.size()) return false;
        const char c = t_[p_];
        if (c == '{') {
            ++p_;
            v.type = JsonValue::Type::Object;
            Blank();
            if (p_ < t_.size() && t_[p_] == '}') return ++p_, true;
            for (;;) {
                Blank();
                std::string name;
                if (!String(name)) return false;
                Blank();
                if (p_ >= t_.size() || t_[p_++] != ':') return false;
                if (!Value(v.members[name], depth + 1)) return false;
                Blank();
                if (p_ >= t_.size()) return false;
                if (t_[p_] == '}') return ++p_, true;
                if (t_[p_++] != ',') return false;
            }
        }
        if (c == '[') {
            ++p_;
            v.type = JsonValue::Type::Array;
            Blank();
            if (p_ < t_.size() && t_[p_] == ']') return ++p_, true;
            for (;;) {
                v.items.emplace_back();
                if (!Value(v.items.back(), depth + 1)) return false;
                Blank();
                if (p_ >= t_.size()) return false;
                if (t_[p_] == ']') return ++p_, true;
                if (t_[p_++] != ',') return false;
            }
        }
        if (c == '"') {
            v.type = JsonValue::Type::String;
            return String(v.string);
        }
        if (Literal("true")) {
            v.type = JsonValue::Type::Boolean;
            v.boolean = true;
            return true;
        }
        if (Literal("false")) {
            v.type = JsonValue::Type::Boolean;
            return true;
        }
        if (Literal("null")) return true;
        return Number(v);
    }

    const std::string& t_;
    std::size_t p_ = 0;
};
} // namespace

const JsonValue* JsonValue::Member(const std::string& name) const {
    if (type != Type::Object) return nullptr;
    const auto it = members.find(name);
    return it == members.end() ? nullptr : &it->second;
}

std::optional<JsonValue> ParseJson(const std::string& text) {
    JsonValue v;
    if (!Parser(text).Document(v)) return std::nullopt;
    return v;
}
