// read_forms <file>: reads the file and prints each form it holds on its own
// line, or the reader's error and exit code 1.
#include <fstream>
#include <iostream>
#include <sstream>

#include "reader.h"
#include "value_render.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: read_forms <file>\n";
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) {
    std::cerr << "cannot open " << argv[1] << "\n";
    return 2;
  }
  std::ostringstream text;
  text << file.rdbuf();
  quorvel::Reader reader(text.str(), 0);
  auto forms = reader.read_all();
  if (!forms) {
    std::cerr << forms.error().display() << "\n";
    return 1;
  }
  for (const quorvel::Value& form : *forms) std::cout << quorvel::render_form(form) << "\n";
  return 0;
}
