#include "core/settings.h"

#include "core/program_folder.h"

namespace tapwedge {

TwAuthKeys CommSettings::DefaultReaderKeys() {
    // Each key is one fixed byte repeated; written at run time, byte by byte.
    TwAuthKeys keys{};
    for (int i = 0; i < 8; ++i) {
        keys.Id[i] = 0x31;
        keys.Kar[i] = 0x52;
        keys.Kbr[i] = 0x73;
        keys.Kcr[i] = 0x94;
    }
    return keys;
}

AppSettings AppSettings::Defaults() { return Defaults(ProgramFolder()); }

}  // namespace tapwedge
