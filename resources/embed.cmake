# Turns the compiled resources (INPUT) into a C++ source file (OUTPUT) holding their bytes,
# for the emulated device of the host build.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Generated from the compiled resource script; do not edit.
#include <cstddef>
extern const unsigned char VelmotCompiledResources[] = {
${bytes}};
extern const std::size_t VelmotCompiledResourcesSize = sizeof(VelmotCompiledResources);
")
