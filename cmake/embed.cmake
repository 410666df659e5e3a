# Writes OUTPUT: a C++ source holding the concatenation of the files in
# INPUTS (a ;-list) as the byte array zem_boot_image (the build gives it the
# ZEMBIN boot image).
set(data "")
foreach(f ${INPUTS})
  file(READ "${f}" part HEX)
  string(APPEND data "${part}")
endforeach()
string(LENGTH "${data}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${data}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated at build time: the boot image the runtime starts from.\n"
"#include <cstddef>\n#include <cstdint>\n"
"extern const uint8_t zem_boot_image[] = {\n${bytes}0};\n"
"extern const size_t zem_boot_image_size = ${size};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
