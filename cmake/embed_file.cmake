# Turns one file into a C++ source that defines its bytes as a constant array:
#   cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -P embed_file.cmake
file(READ "${INPUT}" content HEX)
file(SIZE "${INPUT}" size)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}"
"// Generated from ${INPUT} by the build; do not edit.\n"
"#include <cstddef>\n"
"#include <cstdint>\n"
"extern const std::uint8_t ${SYMBOL}[];\n"
"extern const std::size_t ${SYMBOL}Size;\n"
"alignas(4) const std::uint8_t ${SYMBOL}[] = {\n${bytes}0};\n"
"const std::size_t ${SYMBOL}Size = ${size};\n")
