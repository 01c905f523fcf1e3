#include <cstdio>
#include <cstdlib>

#include "platform/key_injectors.h"

namespace platform {

KeyInjectorChoice ChooseKeyInjector(const char* displayName, const char* uinputPath) {
    KeyInjectorChoice choice;
    std::string xError = "no X display ($DISPLAY is not set)";
    const char* display = displayName ? displayName : std::getenv("DISPLAY");
    if (display && *display) {
        choice.Injector = OpenXTestKeyInjector(display, &xError);
        if (choice.Injector) {
            choice.Report = choice.Injector->Name();
            return choice;
        }
    }
    std::string uinputError;
    choice.Injector = OpenUinputKeyInjector(uinputPath, &uinputError);
    if (choice.Injector) {
        choice.Report = choice.Injector->Name();
        return choice;
    }
    choice.Report = "Keyboard output is off: " + xError + ", and " + uinputError +
                    ". Cards are still written to the CSV file when file output is on.";
    std::fprintf(stderr, "tapwedge: %s\n", choice.Report.c_str());
    return choice;
}

}  // namespace platform
