#pragma once
// The German texts the program shows, in one table. Code throws a code plus its
// arguments; the text is looked up here so that no message is spelt twice.
#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <variant>

enum class Msg {
    IniWriteFailed,       // nach %s kann nicht geschrieben werden
    UnknownExtension,     // Unbekannte Bilddateierweiterung (.%s)
    CannotOpen,           // Datei %s kann nicht geöffnet werden
    CannotCreate,         // Datei %s kann nicht erstellt werden
    StreamRead,           // Stream-Read-Fehler
    BitmapInvalid,        // Bitmap ist ungültig
    MetafileInvalid,      // Metadatei ist ungültig
    JpegError,            // JPEG-Fehler #%d
    GifVersion,           // Unbekannte GIF Version
    GifExtension,         // Unerkannter Erweiterungsblock: %.2x
    OutOfMemory,          // Zu wenig Arbeitsspeicher
    DivByZero,            // Division durch Null
    FloatDivByZero,       // Gleitkommadivision durch Null
    RegistrySetFailed,    // Konnte Daten für '%s' nicht setzen
    NotInteger,           // '%s' ist kein gültiger Integerwert
    NotFloat,             // '%s' ist kein gültiger Gleitkommawert
    ListIndexOutOfBounds, // Listenindex überschreitet das Maximum (%d)
    LineBreakInValue,     // Der Wert für %s enthält einen Zeilenumbruch und kann nicht gespeichert werden
    DecoderError,         // %s-Fehler: %s (the format and the decoding library's own text)
    DecoderErrorCode,     // %s-Fehler #%d (the format and the library's status code)
    NoDecoderInstalled,   // Für Bilder des Formats .%s ist auf diesem System kein Decoder installiert
    Count
};

using MsgArg = std::variant<std::string, long long>;

// Fills the placeholders %s, %d and %x / %.2x (upper-case hexadecimal) in order.
std::string FormatMsg(Msg code, std::initializer_list<MsgArg> args = {});
const char* MsgText(Msg code);

// Every error the program raises itself; what() is the German text as shown.
class ZenksError : public std::runtime_error {
  public:
    ZenksError(Msg code, std::initializer_list<MsgArg> args = {})
        : std::runtime_error(FormatMsg(code, args)), code_(code) {}
    Msg code() const { return code_; }

  private:
    Msg code_;
};

[[noreturn]] inline void Throw(Msg code, std::initializer_list<MsgArg> args = {}) {
    throw ZenksError(code, args);
}
