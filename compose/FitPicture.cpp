#include "compose/Graphics.h"
#include "config/Messages.h"
#include "config/uOptionen.h"

bool TOptionen::IsTileSize(int width, int height) const {
    return width < KachelMaxBreite && height < KachelMaxHoehe;
}

// Placeholder until fitting lands: the picture is drawn at its own size.
std::string TOptionen::FitPicture(TPicture& target, const std::string& fileName) const {
    TBitmap& b = target.Bitmap();
    try {
        TPicture s;
        s.LoadFromFile(fileName);
        b.SetSize(s.Width(), s.Height());
        if (s.Graphic()) s.Graphic()->Draw(b, 0, 0);
    } catch (const std::exception& e) {
        return std::string("Fehler: \"") + e.what() + "\"";
    }
    return {};
}
