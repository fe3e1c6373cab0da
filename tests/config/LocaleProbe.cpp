// Prints what the program reads from the process locale, so a test can start
// it under LC_ALL=de_DE.UTF-8 and en_US.UTF-8. With a folder argument it also
// loads the settings there, sets "GeometrieOK ab" to the second argument if
// given, and prints the value it holds.
#include "config/NumberFormat.h"
#include "config/uOptionen.h"
#include "platform/Platform.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    std::printf("%c\n%s\n", platform::DecimalSeparator(), platform::LocaleShortDateFormat().c_str());
    if (argc > 1) {
        platform::SetExecutablePathForTesting(std::string(argv[1]) + "/ulbrasen");
        TOptionen o;
        if (argc > 2) o.SetGeometrieOKAb(*ParseFloat(argv[2], '.'));
        std::printf("%.17g\n", o.GeometrieOKAb);
    }
    return 0;
}
