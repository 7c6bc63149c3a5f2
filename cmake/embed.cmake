# Builds a C++ source that holds files as byte arrays, so that a program
# carries them in itself (the page of telegram-plot, and its chart library):
#   cmake -DOUTPUT=file.cc -DNAMES="kName1|kName2" -DFILES="a.js|b.css" -P embed.cmake
# Each kNameN becomes `extern const unsigned char kNameN[]` with
# `kNameNSize`, declared in the header the program writes for them.
string(REPLACE "|" ";" NAMES "${NAMES}")
string(REPLACE "|" ";" FILES "${FILES}")
set(source "// Made by cmake/embed.cmake from the files named below; do not edit.\n#include <cstddef>\n\n")
list(LENGTH NAMES count)
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  list(GET NAMES ${i} name)
  list(GET FILES ${i} file)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Lines of 32 bytes, so that no compiler meets a line too long.
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n" bytes "${bytes}")
  get_filename_component(shown ${file} NAME)
  string(APPEND source "// ${shown}\nextern const unsigned char ${name}[] = {\n${bytes}0x00};\n")
  string(APPEND source "extern const size_t ${name}Size = ${size};\n\n")
endforeach()
file(WRITE ${OUTPUT}.new "${source}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.new ${OUTPUT})
file(REMOVE ${OUTPUT}.new)
