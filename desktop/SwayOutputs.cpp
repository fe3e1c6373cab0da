#include "desktop/SwayOutputs.h"

#include <cmath>
#include <cstddef>
#include <map>
#include <memory>

namespace {
// Just enough JSON for sway's answers: a value tree, no escapes beyond the
// usual ones, nesting capped so that a hostile answer cannot exhaust the stack.
struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool flag = false;
    double number = 0;
    std::string text;
    std::vector<Value> items;
    std::map<std::string, Value> fields;
    const Value* Field(const std::string& key) const {
        auto it = fields.find(key);
        return it == fields.end() ? nullptr : &it->second;
    }
};

class Parser {
  public:
    explicit Parser(const std::string& s) : s_(s) {}
    bool Parse(Value& v, int depth = 0) {
        Skip();
        if (pos_ >= s_.size() || depth > 64) return false;
        const char c = s_[pos_];
        if (c == '{') {
            v.kind = Value::Kind::Object;
            ++pos_;
            Skip();
            if (Eat('}')) return true;
            do {
                Value key;
                Skip();
                if (!String(key.text)) return false;
                Skip();
                if (!Eat(':')) return false;
                if (!Parse(v.fields[key.text], depth + 1)) return false;
                Skip();
            } while (Eat(','));
            return Eat('}');
        }
        if (c == '[') {
            v.kind = Value::Kind::Array;
            ++pos_;
            Skip();
            if (Eat(']')) return true;
            do {
                v.items.emplace_back();
                if (!Parse(v.items.back(), depth + 1)) return false;
                Skip();
            } while (Eat(','));
            return Eat(']');
        }
        if (c == '"') {
            v.kind = Value::Kind::String;
            return String(v.text);
        }
        if (Word("true") || Word("false")) {
            v.kind = Value::Kind::Bool;
            v.flag = s_[pos_ - 1] == 'e' && s_[pos_ - 2] == 'u';
            return true;
        }
        if (Word("null")) return true;
        const std::size_t start = pos_;
        while (pos_ < s_.size() && std::string("+-0123456789.eE").find(s_[pos_]) != std::string::npos)
            ++pos_;
        if (start == pos_) return false;
        v.kind = Value::Kind::Number;
        v.number = std::strtod(s_.substr(start, pos_ - start).c_str(), nullptr);
        return true;
    }

  private:
    void Skip() {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t'))
            ++pos_;
    }
    bool Eat(char c) {
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Word(const char* w) {
        const std::string word(w);
        if (s_.compare(pos_, word.size(), word) != 0) return false;
        pos_ += word.size();
        return true;
    }
    bool String(std::string& out) {
        if (!Eat('"')) return false;
        while (pos_ < s_.size()) {
            char c = s_[pos_++];
            if (c == '"') return true;
            if (c == '\\') {
                if (pos_ >= s_.size()) return false;
                c = s_[pos_++];
                if (c == 'u') { // output names are ASCII; keep the rest as '?'
                    if (pos_ + 4 > s_.size()) return false;
                    pos_ += 4;
                    c = '?';
                } else if (c == 'n') {
                    c = '\n';
                } else if (c == 't') {
                    c = '\t';
                }
            }
            out += c;
        }
        return false;
    }

    const std::string& s_;
    std::size_t pos_ = 0;
};

int Int(const Value* v) {
    if (!v || v->kind != Value::Kind::Number || !std::isfinite(v->number) || std::fabs(v->number) > 1e8)
        return 0;
    return static_cast<int>(v->number);
}
} // namespace

std::vector<platform::Monitor> ParseSwayOutputs(const std::string& json) {
    std::vector<platform::Monitor> list;
    Value root;
    Parser parser(json);
    if (!parser.Parse(root) || root.kind != Value::Kind::Array) return list;
    for (const Value& out : root.items) {
        const Value* name = out.Field("name");
        const Value* active = out.Field("active");
        const Value* rect = out.Field("rect");
        if (!name || name->kind != Value::Kind::String || !rect) continue;
        if (active && active->kind == Value::Kind::Bool && !active->flag) continue;
        platform::Monitor m{Int(rect->Field("x")), Int(rect->Field("y")), Int(rect->Field("width")),
                            Int(rect->Field("height")), name->text};
        if (m.width <= 0 || m.height <= 0) continue;
        list.push_back(m);
    }
    return list;
}
