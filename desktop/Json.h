#pragma once
// A small JSON reader for the answers of desktop tools (swaymsg). Only
// what those answers need: no number precision beyond double. "Boolean",
// not "Bool": Xlib defines Bool as a macro.
#include <map>
#include <optional>
#include <string>
#include <vector>

struct JsonValue {
    enum class Type { Null, Boolean, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    // The member of that name, or null when absent or not an object.
    const JsonValue* Member(const std::string& name) const;
};

// nullopt for anything that is not one complete JSON text, or nests too deep.
std::optional<JsonValue> ParseJson(const std::string& text);
