# cmake -DINPUT=FILE -DOUTPUT=FILE -DFROM=TEXT -DTO=TEXT -P cmake/replace_text.cmake
# Writes OUTPUT as INPUT with every FROM replaced by TO; fails when INPUT has no FROM, so that
# a replacement cannot silently stop happening.
file(READ "${INPUT}" text)
string(FIND "${text}" "${FROM}" at)
if(at EQUAL -1)
    message(FATAL_ERROR "replace_text: \"${FROM}\" is not in ${INPUT}")
endif()
string(REPLACE "${FROM}" "${TO}" text "${text}")
file(WRITE "${OUTPUT}" "${text}")
