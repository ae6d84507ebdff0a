#include "tests/peers/test_certificates.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "tests/peers/peer_process.h"

namespace revizer::peers {

TestCertificates::TestCertificates() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/revizer-certs-XXXXXX";
  if (!mkdtemp(pattern.data())) return;
  dir_ = pattern;
  ok_ = run_command({"sh", REVIZER_PEERS_DIR "/make_test_certs.sh", dir_}) == 0;
}

TestCertificates::~TestCertificates() {
  if (dir_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

}  // namespace revizer::peers
