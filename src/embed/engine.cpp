#include "embed/engine.h"

#include <string>

#include "embed/default_handlers.h"

namespace quorvel::embed {

Result<Engine, Error> Engine::with_default_handlers() {
  auto runtime = Runtime::with_stdlib();
  if (!runtime) return make_err(Error{Error::Eval{std::move(runtime).error()}});
  Engine engine(std::move(runtime).value());
  if (!engine.runtime_->register_native_handler_by_name("console", console_handler)) {
    return make_err(Error{Error::EffectNotFound{"console"}});
  }
  if (!engine.runtime_->register_native_handler_by_name("random", random_handler)) {
    return make_err(Error{Error::EffectNotFound{"random"}});
  }
  return engine;
}

Engine Engine::bare() {
  return Engine(Runtime::create());
}

Result<Value, Error> Engine::eval(std::string_view src) {
  return to_host(runtime_->eval_str(src));
}

Result<Value, Error> Engine::eval_with_source(std::string_view src, std::string_view source_name) {
  const uint32_t source = runtime_->vm().interner().intern(source_name);
  return to_host(runtime_->eval_str_with_source(src, source));
}

Result<Unit, Error> Engine::define(std::string_view name, const Value& value) {
  auto converted = to_vm(value, runtime_->vm());
  if (!converted) {
    return make_err(Error{Error::Eval{EvalError::runtime(std::move(converted).error())}});
  }
  runtime_->define(name, *converted);
  return Unit{};
}

Result<Value, Error> Engine::to_host(Result<VMValue, EvalError> result) {
  if (!result) return make_err(Error{Error::Eval{std::move(result).error()}});
  auto host = from_vm(runtime_->vm(), *result);
  if (!host) return make_err(Error{Error::Eval{EvalError::runtime(std::move(host).error())}});
  return std::move(host).value();
}

}  // namespace quorvel::embed
