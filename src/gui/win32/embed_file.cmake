# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the bytes of INPUT as a C++ array named NAME (with NAME + "Size") into OUTPUT.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT}.\n#include \"${HEADER}\"\n\n"
     "const unsigned char ${NAME}[] = {\n    ${bytes}\n};\nconst std::size_t ${NAME}Size = ${size};\n")
