#pragma once

// The error of the configuration code: a message, a message with its cause
// (printed "{message}: {cause}"), or a failure of the env-file loader.

#include <string>
#include <utility>

#include "common/error/io_error.h"

namespace revizer::common {

class EnvError {
 public:
  enum class Kind { Message, Context, EnvFileParse };

  static EnvError message(std::string text) { return {Kind::Message, std::move(text), {}}; }
  static EnvError context(std::string message, std::string cause) {
    return {Kind::Context, std::move(message), std::move(cause)};
  }
  static EnvError context(std::string message, const IoError& cause) { return context(std::move(message), cause.text); }
  static EnvError context(std::string message, const EnvError& cause) { return context(std::move(message), cause.text()); }
  static EnvError env_file_parse(std::string text) { return {Kind::EnvFileParse, std::move(text), {}}; }

  Kind kind() const { return kind_; }
  // The message alone (for a context error, without its cause).
  const std::string& message_text() const { return message_; }
  std::string text() const { return kind_ == Kind::Context ? message_ + ": " + cause_ : message_; }

 private:
  EnvError(Kind kind, std::string message, std::string cause)
      : kind_(kind), message_(std::move(message)), cause_(std::move(cause)) {}

  Kind kind_;
  std::string message_;
  std::string cause_;
};

}  // namespace revizer::common
