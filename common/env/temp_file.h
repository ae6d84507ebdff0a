#pragma once

// A new temporary file next to its final place, deleted when dropped unless it
// was moved into place.

#include <string>
#include <string_view>

#include "common/env/env_error.h"
#include "platform/files.h"
#include "support/result.h"

namespace revizer::common {

class TempFile {
 public:
  // Creates ".tmp" + six random letters or digits in `directory` (absolute),
  // exclusively, mode 0600. Fails with "Failed to create temp file in {}".
  static Result<TempFile, EnvError> create_in(const std::string& directory);

  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&&) = delete;
  ~TempFile();

  const std::string& path() const { return path_; }
  int fd() const { return file_.get(); }

  // Renames the file over `target`; afterwards nothing is deleted on drop.
  Status<IoError> persist(const std::string& target);

 private:
  TempFile(std::string path, platform::FileHandle file) : path_(std::move(path)), file_(std::move(file)) {}

  std::string path_;
  platform::FileHandle file_;
  bool persisted_ = false;
};

}  // namespace revizer::common
