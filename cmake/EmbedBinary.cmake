# Turns a binary file into a C++ source that defines an array of its bytes.
# Run as: cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... -P EmbedBinary.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n"
  "#include <cstddef>\n#include <cstdint>\n"
  "extern const uint8_t ${SYMBOL}[];\nextern const size_t ${SYMBOL}_size;\n"
  "alignas(4) const uint8_t ${SYMBOL}[] = {\n${bytes}\n};\n"
  "const size_t ${SYMBOL}_size = ${size};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
