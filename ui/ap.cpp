#include "ui/ap.h"

#include "config/uOptionen.h"

// Placeholder until the configuration window lands.
int RunInteractive(int, char**) {
    TOptionen options;
    return 0;
}
