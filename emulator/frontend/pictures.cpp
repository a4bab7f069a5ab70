// The screen's pictures: the emulated device drawn in pixels (emulator/screen), written as a
// PNG whenever what it shows changes.
#include "emulator/frontend/frontend.h"
#include "emulator/screen/screen.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace emu::frontend {

struct Pictures::Impl {
    std::string folder;
    std::unique_ptr<screen::Renderer> screen;
    int taken = 0;
    std::string last;
};

Pictures::Pictures(const std::string& folder) : impl_(std::make_unique<Impl>()) {
    impl_->folder = folder;
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) {
        if (mkdir(folder.c_str(), 0777) != 0) {
            throw Stop(ExitUsage, "--pictures: cannot make the folder " + folder + ": " +
                                      std::strerror(errno));
        }
    } else if (!S_ISDIR(info.st_mode)) {
        throw Stop(ExitUsage, "--pictures: " + folder + " is not a folder");
    }
    try {
        impl_->screen = std::make_unique<screen::Renderer>();
    } catch (const Failure& failure) {
        throw Stop(ExitUsage, std::string("--pictures: ") + failure.what());
    }
}

Pictures::~Pictures() = default;

void Pictures::Take(int menuSelection) {
    screen::Pointer pointer;
    pointer.menuItem = menuSelection;
    if (!impl_->screen->Draw(pointer)) {
        return;
    }
    // "0007-21.10.52.474.png"; a later day: "0042-+1d-06.00.00.png".
    std::string time = FormatTime(Now());
    for (char& c : time) {
        c = c == ':' ? '.' : c == ' ' ? '-' : c;
    }
    char number[16];
    std::snprintf(number, sizeof(number), "%04d-", ++impl_->taken);
    const std::string path = impl_->folder + "/" + number + time + ".png";
    try {
        impl_->screen->WritePng(path);
    } catch (const Failure& failure) {
        throw Stop(ExitFailure, std::string("--pictures: ") + failure.what());
    }
    impl_->last = path;
}

const std::string& Pictures::Last() const {
    return impl_->last;
}

} // namespace emu::frontend
