// The embedding's handle on one runtime: evaluation with results as host
// values, globals defined from host values, and the default handlers of the
// built-in console and random effects.
#pragma once

#include <memory>
#include <string_view>

#include "embed/error.h"
#include "embed/host_value.h"
#include "runtime/runtime.h"
#include "support/result.h"

namespace quorvel::embed {

class Engine {
 public:
  // The prelude loaded and the console and random handlers registered.
  static Result<Engine, Error> with_default_handlers();
  // Neither prelude nor handlers.
  static Engine bare();

  // The value of the last form of the text read under "<eval>".
  Result<Value, Error> eval(std::string_view src);
  // The same, with the text read under the given source name.
  Result<Value, Error> eval_with_source(std::string_view src, std::string_view source_name);
  // Sets the global `name` to the value converted into the machine.
  Result<Unit, Error> define(std::string_view name, const Value& value);

  Runtime& runtime() { return *runtime_; }

 private:
  explicit Engine(std::unique_ptr<Runtime> runtime) : runtime_(std::move(runtime)) {}

  Result<Value, Error> to_host(Result<VMValue, EvalError> result);

  std::unique_ptr<Runtime> runtime_;
};

}  // namespace quorvel::embed
