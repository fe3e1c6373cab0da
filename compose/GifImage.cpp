#include "compose/Decoders.h"
#include "config/Messages.h"

// Placeholder until the decoder lands: every file of this kind is refused.
std::unique_ptr<TGraphic> NewGifImage() { Throw(Msg::UnknownExtension, {std::string("?")}); }
