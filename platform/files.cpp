#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace revizer::platform {

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.release();
  }
  return *this;
}

FileHandle::~FileHandle() { close(); }

int FileHandle::release() noexcept {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void FileHandle::close() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Result<FileHandle, IoError> create_exclusive(const std::string& path, unsigned mode) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return fail(IoError::from_errno(errno));
  return FileHandle(fd);
}

Status<IoError> write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(IoError::from_errno(errno));
    }
    if (n == 0) return fail(IoError::custom("failed to write whole buffer"));
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return Ok{};
}

Status<IoError> set_mode(int fd, unsigned mode) {
  while (::fchmod(fd, mode) != 0) {
    if (errno != EINTR) return fail(IoError::from_errno(errno));
  }
  return Ok{};
}

Status<IoError> sync_file(int fd) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return fail(IoError::from_errno(errno));
  }
  return Ok{};
}

Status<IoError> sync_directory(const std::string& directory) {
  FileHandle dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return fail(IoError::from_errno(errno));
  return sync_file(dir.get());
}

Status<IoError> rename_over(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return fail(IoError::from_errno(errno));
  return Ok{};
}

void remove_quietly(const std::string& path) { ::unlink(path.c_str()); }

Result<std::string, IoError> read_file(const std::string& path) {
  FileHandle file;
  do {
    file = FileHandle(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  } while (file.get() < 0 && errno == EINTR);
  if (file.get() < 0) return fail(IoError::from_errno(errno));
  std::string content;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(IoError::from_errno(errno));
    }
    if (n == 0) return content;
    content.append(buffer, static_cast<std::size_t>(n));
  }
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace revizer::platform
