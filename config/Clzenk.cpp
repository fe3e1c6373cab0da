#include "config/Clzenk.h"

#include "platform/Platform.h"

namespace {
std::string& Format() {
    static std::string format = "dd.MM.yyyy";
    return format;
}
} // namespace

std::string FourDigitYearFormat(const std::string& format) {
    std::string f = format.substr(0, 20);
    if (f.find("yyyy") != std::string::npos) return format;
    const std::size_t yy = f.find("yy");
    if (yy == std::string::npos) return "dd.MM.yyyy";
    return f.insert(yy + 2, "yy");
}

void FixShortDateFormat() {
    Format() = FourDigitYearFormat(platform::LocaleShortDateFormat());
}

const std::string& ShortDateFormat() {
    return Format();
}
