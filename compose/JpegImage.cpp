#include "compose/Decoders.h"
#include "config/Messages.h"

// Placeholder until the decoder lands: every file of this kind is refused.
std::unique_ptr<TGraphic> NewJpegImage() { Throw(Msg::UnknownExtension, {std::string("?")}); }
