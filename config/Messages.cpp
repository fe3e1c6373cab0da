#include "config/Messages.h"

#include <array>
#include <cstdio>

namespace {
constexpr std::array<const char*, static_cast<std::size_t>(Msg::Count)> kTexts = {
    "nach %s kann nicht geschrieben werden",
    "Unbekannte Bilddateierweiterung (.%s)",
    "Datei %s kann nicht geöffnet werden",
    "Datei %s kann nicht erstellt werden",
    "Stream-Read-Fehler",
    "Bitmap ist ungültig",
    "Metadatei ist ungültig",
    "JPEG-Fehler #%d",
    "Unbekannte GIF Version",
    "Unerkannter Erweiterungsblock: %.2x",
    "Zu wenig Arbeitsspeicher",
    "Division durch Null",
    "Gleitkommadivision durch Null",
    "Konnte Daten für '%s' nicht setzen",
    "'%s' ist kein gültiger Integerwert",
    "'%s' ist kein gültiger Gleitkommawert",
    "Listenindex überschreitet das Maximum (%d)",
    "Der Wert für %s enthält einen Zeilenumbruch und kann nicht gespeichert werden",
    "%s-Fehler: %s",
    "%s-Fehler #%d",
    "Für Bilder des Formats .%s ist auf diesem System kein Decoder installiert",
};
static_assert(kTexts.back() != nullptr, "every message code needs its text");

std::string ArgAsString(const MsgArg& a) {
    if (auto s = std::get_if<std::string>(&a)) return *s;
    return std::to_string(std::get<long long>(a));
}

long long ArgAsNumber(const MsgArg& a) {
    if (auto n = std::get_if<long long>(&a)) return *n;
    return 0;
}
} // namespace

const char* MsgText(Msg code) {
    return kTexts.at(static_cast<std::size_t>(code));
}

std::string FormatMsg(Msg code, std::initializer_list<MsgArg> args) {
    const std::string fmt = MsgText(code);
    std::string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%' || i + 1 >= fmt.size()) {
            out += fmt[i];
            continue;
        }
        std::size_t j = i + 1;
        int width = 0;
        if (fmt[j] == '.') {
            ++j;
            while (j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9')
                width = width * 10 + (fmt[j++] - '0');
        }
        if (j >= fmt.size()) {
            out += fmt[i];
            continue;
        }
        const char conv = fmt[j];
        const MsgArg arg = next != args.end() ? *next++ : MsgArg{std::string()};
        if (conv == 's') {
            out += ArgAsString(arg);
        } else if (conv == 'd') {
            out += std::to_string(ArgAsNumber(arg));
        } else if (conv == 'x') {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.*llX", width,
                          static_cast<unsigned long long>(ArgAsNumber(arg)));
            out += buf;
        } else {
            out.append(fmt, i, j - i + 1);
        }
        i = j;
    }
    return out;
}
