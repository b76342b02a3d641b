#include "value_render.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

#include "support/stack_guard.h"

namespace quorvel {

namespace {

void render_into(std::string& out, const Value& form);

void render_string(std::string& out, const std::string& text) {
  out.push_back('"');
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
          out += escape;
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

void render_float(std::string& out, double d) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
  const std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  out += text;
  // An integral value keeps a fraction so that it does not read as an integer.
  if (text.find_first_not_of("-0123456789") == std::string_view::npos) out += ".0";
}

template <class Seq>
void render_sequence(std::string& out, const Seq& items, char open, char close) {
  out.push_back(open);
  bool first = true;
  for (const Value& item : items) {
    if (!first) out.push_back(' ');
    first = false;
    render_into(out, item);
  }
  out.push_back(close);
}

// Joins already rendered entries in sorted order.
void render_sorted(std::string& out, std::vector<std::string> entries, std::string_view open,
                   std::string_view separator) {
  std::sort(entries.begin(), entries.end());
  out += open;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) out += separator;
    out += entries[i];
  }
  out.push_back('}');
}

std::string render_one(const Value& form) {
  std::string text;
  render_into(text, form);
  return text;
}

void render_into(std::string& out, const Value& value) {
  if (!StackGuard::has_room()) {
    out += "...";
    return;
  }
  const Value& form = strip_meta(value);
  switch (form.kind()) {
    case Value::Kind::Nil:
      out += "nil";
      return;
    case Value::Kind::Bool:
      out += form.as_bool() ? "true" : "false";
      return;
    case Value::Kind::Int:
      out += std::to_string(form.as_int());
      return;
    case Value::Kind::Ratio:
      out += std::to_string(form.as_ratio().numerator);
      out += '/';
      out += std::to_string(form.as_ratio().denominator);
      return;
    case Value::Kind::Float:
      render_float(out, form.as_float());
      return;
    case Value::Kind::String:
      render_string(out, form.as_string());
      return;
    case Value::Kind::Symbol:
      out += form.as_symbol().text();
      return;
    case Value::Kind::Keyword:
      out += ':';
      out += form.as_symbol().text();
      return;
    case Value::Kind::List:
      render_sequence(out, form.as_list(), '(', ')');
      return;
    case Value::Kind::Vector:
      render_sequence(out, form.as_vector(), '[', ']');
      return;
    case Value::Kind::Map: {
      std::vector<std::string> entries;
      for (const auto& [key, item] : form.as_map()) {
        entries.push_back(render_one(key) + " " + render_one(item));
      }
      render_sorted(out, std::move(entries), "{", ", ");
      return;
    }
    case Value::Kind::Set: {
      std::vector<std::string> entries;
      for (const Value& member : form.as_set()) entries.push_back(render_one(member));
      render_sorted(out, std::move(entries), "#{", " ");
      return;
    }
    case Value::Kind::Regex:
      out += "#\"";
      for (char c : form.as_regex().pattern()) {
        if (c == '"') out.push_back('\\');
        out.push_back(c);
      }
      out.push_back('"');
      return;
    case Value::Kind::NativeFn:
      out += "#<native-fn ";
      out += form.as_native_fn().name;
      out += '>';
      return;
    case Value::Kind::Effect:
      out += "#<effect ";
      out += form.as_effect().name.value_or("");
      out += '>';
      return;
    case Value::Kind::Meta:
    case Value::Kind::Optic:
    case Value::Kind::Atom:
      out += "#<";
      out += type_name(form);
      out += '>';
      return;
  }
}

}  // namespace

std::string render_form(const Value& form) {
  return render_one(form);
}

}  // namespace quorvel
