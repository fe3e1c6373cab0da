#include "compose/Graphics.h"
#include "config/Messages.h"

// Placeholder until the decoder lands.
void TBitmap::LoadFromData(std::vector<std::uint8_t>&& data) {
    if (data.empty()) {
        SetSize(0, 0);
        return;
    }
    Throw(Msg::BitmapInvalid);
}
