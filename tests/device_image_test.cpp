// The runner of device images on patched copies of the device's velmot.exe: what its loader
// refuses, how it maps the sections, and how a fault in the ARM code ends a run.
#include "emulator/runner/image.h"
#include "emulator/runner/runner.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using emu::runner::Image;
using emu::runner::ReadImage;
using Bytes = std::vector<uint8_t>;

class DeviceImageLoader : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string path = test::DeviceImagePath();
        if (path.empty()) {
            GTEST_SKIP() << test::NoDeviceImage;
        }
        image = emu::runner::ReadImageFile(path);
        file = image.file;
        test::FreshDevice();
        emu::SetClock(2026, 12, 8, 10, 0, 0);
    }
    uint32_t PeHeader() const {
        return Get32(file, 0x3C);
    }
    static uint32_t Get32(const Bytes& bytes, size_t at) {
        uint32_t value;
        std::memcpy(&value, &bytes[at], sizeof(value));
        return value;
    }
    static void Put(Bytes& bytes, size_t at, uint32_t value, size_t size = 4) {
        std::memcpy(&bytes[at], &value, size);
    }
    const emu::runner::Section& SectionOf(uint32_t address) const {
        for (const auto& section : image.sections) {
            if (address >= section.virtualAddress &&
                address < section.virtualAddress + section.virtualSize) {
                return section;
            }
        }
        throw emu::Failure("no section holds the address");
    }
    // The file offset of an image-relative address.
    size_t FileOffset(uint32_t address) const {
        const auto& section = SectionOf(address);
        return section.rawPointer + (address - section.virtualAddress);
    }
    // The offset of the header of the section with this name.
    size_t SectionHeader(const std::string& name) const {
        const size_t first = PeHeader() + 24 + Get32(file, PeHeader() + 20) % 0x10000;
        for (size_t i = 0; i < image.sections.size(); ++i) {
            if (image.sections[i].name == name) {
                return first + i * 40;
            }
        }
        throw emu::Failure("no section " + name);
    }
    // The message of the failure that loading, then running, the patched copy ends with.
    static std::string FailureOf(const Bytes& patched, const std::wstring& commandLine = L"/W") {
        try {
            emu::runner::LoadProgram(patched);
            emu::RunProgram(emu::runner::StartProgram, commandLine);
        } catch (const emu::Failure& failure) {
            return failure.what();
        }
        return "no failure";
    }
    Bytes file;
    Image image;
};

TEST_F(DeviceImageLoader, RefusesWhatTheDevicesLoaderRefuses) {
    const size_t pe = PeHeader(), optional = pe + 24;
    const size_t rdata = SectionHeader(".rdata");
    auto name = [this](const char* text) {
        return std::search(file.begin(), file.end(), text, text + std::strlen(text) + 1) -
               file.begin();
    };
    const uint32_t firstLookup = Get32(file, FileOffset(image.importTable));
    const std::string firstLibrary =
        emu::runner::ReadImports(image, emu::runner::MapImage(image)).at(0).library;
    const std::string ordinalRefusal = "provides no " + firstLibrary + "!ordinal 263";
    // .rdata's virtual size ending it one byte past the image.
    const uint32_t pastTheImage = image.sizeOfImage - Get32(file, rdata + 12) + 1;
    struct Patch {
        size_t at;
        uint32_t value;
        size_t size;
        const char* refusal;
    };
    const Patch patches[] = {
        {pe + 4, 0x01C2, 2, "machine 0x1C2 is not ARM"},
        {optional + 68, 2, 2, "subsystem 2 is not Windows CE GUI"},
        {optional + 48, 4, 2, "old Windows version: the program asks for Windows CE 4.0"},
        {optional + 50, 1, 2, "old Windows version: the program asks for Windows CE 3.1"},
        {rdata + 16, static_cast<uint32_t>(file.size()), 4, ".rdata claims raw data past the end"},
        {static_cast<size_t>(name("IsWindow")) + 7, 'X', 1, "provides no COREDLL.dll!IsWindoX"},
        {rdata + 8, pastTheImage, 4, "section .rdata lies outside the image"},
        {optional + 16, image.sizeOfImage, 4, "the entry lies outside the image"},
        {FileOffset(firstLookup), 0x80000107u, 4, ordinalRefusal.c_str()},
    };
    for (const Patch& patch : patches) {
        SCOPED_TRACE(patch.refusal);
        Bytes patched = file;
        Put(patched, patch.at, patch.value, patch.size);
        EXPECT_NE(FailureOf(patched).find(patch.refusal), std::string::npos) << FailureOf(patched);
    }
    EXPECT_EQ(FailureOf(file), "no failure");
}

// Each section from the file exactly as its header says, the rest zero: a header that
// claims raw data at offset 0 maps the start of the file.
TEST_F(DeviceImageLoader, MapsSectionsExactlyAsTheirHeadersSay) {
    const Bytes memory = emu::runner::MapImage(image);
    ASSERT_EQ(memory.size(), image.sizeOfImage);
    for (const auto& section : image.sections) {
        SCOPED_TRACE(section.name);
        const uint32_t loaded = std::min(section.rawSize, section.virtualSize);
        EXPECT_TRUE(std::equal(memory.begin() + section.virtualAddress,
                               memory.begin() + section.virtualAddress + loaded,
                               file.begin() + section.rawPointer));
        EXPECT_TRUE(std::all_of(memory.begin() + section.virtualAddress + loaded,
                                memory.begin() + section.virtualAddress + section.virtualSize,
                                [](uint8_t byte) { return byte == 0; }));
    }
    Bytes patched = file;
    const size_t bss = SectionHeader(".bss");
    Put(patched, bss + 16, 0x30); // SizeOfRawData 48, PointerToRawData 0
    Put(patched, bss + 20, 0);
    const Bytes wrong = emu::runner::MapImage(ReadImage(patched));
    const uint32_t records =
        image.sections[(bss - SectionHeader(image.sections[0].name)) / 40].virtualAddress;
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 0x30, wrong.begin() + records));
}

// A fault in the ARM code ends the run with a Failure that says what and where, never a
// hang or a crash of the test.
TEST_F(DeviceImageLoader, FaultsEndTheRunLoudly) {
    const size_t entry = FileOffset(image.entry);
    struct Code {
        std::vector<uint32_t> instructions;
        const char* says;
    };
    const Code codes[] = {
        {{0xE7F000F0}, "undefined instruction 0xE7F000F0"},
        {{0xE3A00000, 0xE5900000}, "read of unmapped memory at 0x00000000"},
        {{0xE92D4000, 0xEBFFFFFD}, "stack overflow"}, // push {lr}; bl to the push
        {{0xEAFFFFFE}, "runaway loop"},               // b .
        {{0xE58F0000}, "write to protected memory"},  // str r0, [pc]
    };
    for (const Code& code : codes) {
        SCOPED_TRACE(code.says);
        Bytes patched = file;
        for (size_t i = 0; i < code.instructions.size(); ++i) {
            Put(patched, entry + 4 * i, code.instructions[i]);
        }
        const std::string failure = FailureOf(patched);
        EXPECT_NE(failure.find(code.says), std::string::npos) << failure;
        EXPECT_NE(failure.find("last platform call (none)"), std::string::npos) << failure;
    }
    // A descriptor without a lookup table ends the import list: every entry after it stays
    // as the file has it, and the first call through one of them faults.
    Bytes unbound = file;
    Put(unbound, FileOffset(image.importTable), 0);
    const std::string failure = FailureOf(unbound);
    EXPECT_NE(failure.find("call through the unbound import entry"), std::string::npos) << failure;
}

} // namespace
