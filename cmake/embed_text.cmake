# Turns a text file (INPUT) into a C++ source file (OUTPUT) that defines it as the character
# array NAME (with its namespace) holding the text, for a program that serves it.
file(READ "${INPUT}" text HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," chars "${text}")
string(REGEX REPLACE "(('[^']*',){16})" "\\1\n" chars "${chars}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT}; do not edit.
namespace ${NAMESPACE} {
extern const char ${NAME}[];
const char ${NAME}[] = {
${chars}'\\0'};
} // namespace ${NAMESPACE}
")
