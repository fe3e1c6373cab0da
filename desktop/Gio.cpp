#include "desktop/Gio.h"

const GioFunctions* Gio() {
    return LibraryFunctions<GioFunctions>(ZENKS_LIBGIO);
}
