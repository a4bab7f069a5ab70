// Starting the loaded image as processes of the emulated device.
#include "emulator/runner/runner.h"

#include "emulator/runner/image.h"
#include "emulator/runner/process.h"

#include <memory>

namespace emu::runner {

namespace {

std::unique_ptr<Image>& Loaded() {
    static std::unique_ptr<Image> image;
    return image;
}

// The processes now running, the innermost last: the program's resources are its.
std::vector<Process*>& Running() {
    static std::vector<Process*> running;
    return running;
}

const unsigned char* ImageResource(int type, int name, size_t* size) {
    Process& process = *Running().back();
    uint32_t address = 0, bytes = 0;
    if (!FindResourceData(process.image(), process.memory(), type, name, &address, &bytes)) {
        return nullptr;
    }
    *size = bytes;
    return process.Host(process.ImageBase() + address, bytes, "a resource");
}

// Mapped and bound once, so that a refusal comes here, as at the device's first start.
void Load(Image image) {
    auto loaded = std::make_unique<Image>(std::move(image));
    Process check(*loaded);
    Loaded() = std::move(loaded);
}

} // namespace

void LoadProgram(std::vector<uint8_t> file) {
    Load(ReadImage(std::move(file)));
}

void LoadProgram(const std::string& path) {
    Load(ReadImageFile(path));
}

int StartProgram(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                 int showState) {
    if (!Loaded()) {
        throw Failure("StartProgram: no program is loaded");
    }
    Process process(*Loaded());
    Running().push_back(&process);
    struct Scope {
        ResourceSource previous = SetProgramResources(ImageResource);
        ~Scope() {
            SetProgramResources(std::move(previous));
            Running().pop_back();
        }
    } scope;
    std::wstring text;
    for (const WCHAR* unit = commandLine; unit != nullptr && *unit != 0; ++unit) {
        text += *unit;
    }
    Process::Copy copy(process, static_cast<uint32_t>(2 * (text.size() + 1)));
    const uint32_t line = process.CopyText(copy, text);
    const uint32_t code =
        process.CallGuest(process.ImageBase() + process.image().entry,
                          {HandleToGuest(instance), HandleToGuest(previousInstance), line,
                           static_cast<uint32_t>(showState)});
    return static_cast<int>(code);
}

} // namespace emu::runner
