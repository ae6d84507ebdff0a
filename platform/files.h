#pragma once

// The file-system calls of the env-file code, as small functions over POSIX
// descriptors.

#include <string>
#include <string_view>

#include "platform/io_error.h"
#include "support/result.h"

namespace revizer::platform {

// An open descriptor, closed when dropped.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(FileHandle&& other) noexcept : fd_(other.release()) {}
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle();

  int get() const { return fd_; }
  int release() noexcept;
  void close() noexcept;

 private:
  int fd_ = -1;
};

// Opens `path` for reading and writing with exclusive creation, close-on-exec
// and permissions `mode` (before the process's mask).
Result<FileHandle, IoError> create_exclusive(const std::string& path, unsigned mode);

// Writes everything, retrying interrupted writes; a write that accepts nothing
// fails with "failed to write whole buffer".
Status<IoError> write_all(int fd, std::string_view data);

// Sets the permissions of the open file, retrying when interrupted.
Status<IoError> set_mode(int fd, unsigned mode);

// Flushes the file's data and metadata to stable storage.
Status<IoError> sync_file(int fd);

// Flushes the directory entry changes of `directory` (after a rename).
Status<IoError> sync_directory(const std::string& directory);

Status<IoError> rename_over(const std::string& from, const std::string& to);

void remove_quietly(const std::string& path);

// The whole content of the file at `path` (following links).
Result<std::string, IoError> read_file(const std::string& path);

// True when a status query on `path` (following links) succeeds.
bool exists(const std::string& path);

}  // namespace revizer::platform
