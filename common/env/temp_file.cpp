#include "common/env/temp_file.h"

#include <cerrno>
#include <chrono>
#include <functional>
#include <thread>

#include "common/env/env_path.h"
#include "platform/entropy.h"

namespace revizer::common {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kMaxAttempts = 65536;
constexpr int kReseedBeforeAttempt = 3;  // zero-based: before the fourth attempt

// A small per-thread generator (wyrand); names only need to be unlikely to
// collide, not secret.
class NameGenerator {
 public:
  NameGenerator() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    state_ = static_cast<std::uint64_t>(now) ^ std::hash<std::thread::id>{}(std::this_thread::get_id());
  }
  void reseed(std::uint64_t seed) { state_ = seed; }
  std::uint64_t next() {
    state_ += 0xA0761D6478BD642FULL;
    const unsigned __int128 t = static_cast<unsigned __int128>(state_) * (state_ ^ 0xE7037ED1A0B428DBULL);
    return static_cast<std::uint64_t>(t >> 64) ^ static_cast<std::uint64_t>(t);
  }
  // Uniform in [0, bound) by rejection.
  std::size_t below(std::size_t bound) {
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % bound;
    std::uint64_t x;
    do x = next();
    while (x >= limit);
    return static_cast<std::size_t>(x % bound);
  }

 private:
  std::uint64_t state_;
};

NameGenerator& thread_generator() {
  thread_local NameGenerator generator;
  return generator;
}

std::string random_name() {
  std::string name = ".tmp";
  for (int i = 0; i < 6; ++i) name += kAlphabet[thread_generator().below(kAlphabet.size())];
  return name;
}

}  // namespace

Result<TempFile, EnvError> TempFile::create_in(const std::string& directory) {
  const std::string failure = "Failed to create temp file in " + directory;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    if (attempt == kReseedBeforeAttempt) {
      std::uint64_t seed = 0;
      if (platform::fill_random(&seed, sizeof seed) == 0) thread_generator().reseed(seed);
    }
    std::string path = join_path(directory, random_name());
    auto file = platform::create_exclusive(path, 0600);
    if (file) return TempFile(std::move(path), std::move(*file));
    if (file.error().os_code == EEXIST) continue;
    return fail(EnvError::context(failure, file.error().at_path(path)));
  }
  return fail(EnvError::context(failure, IoError::custom("too many temporary files exist").at_path(directory)));
}

TempFile::TempFile(TempFile&& other) noexcept
    : path_(std::move(other.path_)), file_(std::move(other.file_)), persisted_(other.persisted_) {
  other.persisted_ = true;  // the moved-from shell owns nothing to delete
}

TempFile::~TempFile() {
  file_.close();
  if (!persisted_) platform::remove_quietly(path_);
}

Status<IoError> TempFile::persist(const std::string& target) {
  auto renamed = platform::rename_over(path_, target);
  if (renamed) persisted_ = true;
  return renamed;
}

}  // namespace revizer::common
