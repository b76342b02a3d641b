# Turns a text file into a C++ source defining `quorvel::kPreludeText`.
file(READ ${INPUT} text HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${text}")
file(WRITE ${OUTPUT}
  "#include <string_view>\n"
  "namespace quorvel {\n"
  "namespace { constexpr unsigned char kBytes[] = {${bytes} 0}; }\n"
  "extern const std::string_view kPreludeText(reinterpret_cast<const char*>(kBytes),\n"
  "                                           sizeof(kBytes) - 1);\n"
  "}\n")
