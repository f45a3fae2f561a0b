# cmake -DINPUT=<file> -DOUTPUT=<source> -P embed.cmake
# Writes a C++ source that defines fork_server_preload_image() over the bytes
# of INPUT.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from the fork server preload library by embed.cmake.\n"
  "#include \"fork_server/preload_image.h\"\n\n"
  "namespace {\n"
  "alignas(16) const unsigned char image[${size}] = {\n${bytes}\n};\n"
  "}  // namespace\n\n"
  "std::span<const unsigned char> tersify::fork_server_preload_image() { return {image, sizeof image}; }\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
