#include "embed/edn.h"

#include <string>

#include "reader.h"

namespace quorvel::embed::edn {

Result<Value, Error> parse(std::string_view text) {
  Reader reader{std::string(text), 0};
  auto forms = reader.read_all();
  if (!forms) return make_err(Error{Error::InvalidEdn{forms.error().display()}});
  if (forms->empty()) return Value::nil();
  auto value = from_ast(forms->back());
  if (!value) return make_err(Error{Error::InvalidEdn{value.error().display()}});
  return std::move(value).value();
}

}  // namespace quorvel::embed::edn
