#include "desktop/SwayOutputs.h"

#include "desktop/Json.h"

#include <cmath>

namespace {
// Coordinates and sizes as whole pixels; anything else counts as 0.
int Int(const JsonValue* v) {
    if (!v || v->type != JsonValue::Type::Number || !std::isfinite(v->number) || std::fabs(v->number) > 1e8)
        return 0;
    return static_cast<int>(v->number);
}
} // namespace

std::vector<platform::Monitor> ParseSwayOutputs(const std::string& json) {
    std::vector<platform::Monitor> list;
    const std::optional<JsonValue> root = ParseJson(json);
    if (!root || root->type != JsonValue::Type::Array) return list;
    for (const JsonValue& out : root->items) {
        const JsonValue* name = out.Member("name");
        const JsonValue* active = out.Member("active");
        const JsonValue* rect = out.Member("rect");
        if (!name || name->type != JsonValue::Type::String || !rect) continue;
        if (active && active->type == JsonValue::Type::Boolean && !active->boolean) continue;
        platform::Monitor m{Int(rect->Member("x")), Int(rect->Member("y")), Int(rect->Member("width")),
                            Int(rect->Member("height")), name->string};
        if (m.width <= 0 || m.height <= 0) continue;
        list.push_back(m);
    }
    return list;
}
