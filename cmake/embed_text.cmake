# Turns a text file into a C++ source defining `quorvel::kPreludeText`.
file(READ ${INPUT} text HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${text}")
file(WRITE ${OUTPUT}
  "#include <string_view>\n"
  "namespace quorvel {\n"
  "namespace { constexpr char kBytes[] = {${bytes} 0}; }\n"
  "extern const std::string_view kPreludeText(kBytes, sizeof(kBytes) - 1);\n"
  "}\n")
