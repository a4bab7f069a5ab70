// AYGSHELL, the Pocket PC shell library, as guest code sees it (SHINITDLGINFO is 12 bytes).
#include "emulator/runner/thunks.h"

namespace emu::runner {

namespace {

using namespace thunks;

uint32_t SHInitDialogThunk(Call& c) {
    if (c.Arg(0) == 0) {
        return Bool(SHInitDialog(nullptr));
    }
    const uint8_t* guest = c.process.Host(c.Arg(0), 12, "a SHINITDLGINFO record");
    SHINITDLGINFO info{Field32(guest, 0), ToHost<HWND>(Field32(guest, 4)), Field32(guest, 8)};
    return Bool(SHInitDialog(&info));
}

uint32_t SHSipPreferenceThunk(Call& c) {
    return Bool(SHSipPreference(ToHost<HWND>(c.Arg(0)), static_cast<SIPSTATE>(c.Arg(1))));
}

const Export Exports[] = {
    {"SHInitDialog", SHInitDialogThunk},
    {"SHSipPreference", SHSipPreferenceThunk},
};

} // namespace

const Library AygShell = {"AYGSHELL", Exports, sizeof(Exports) / sizeof(Exports[0])};

} // namespace emu::runner
