#include "revizer/client/crypto_provider.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>

#include <thread>
#include <vector>

namespace revizer::client {
namespace {

TEST(CryptoProvider, SecondInstallKeepsTheFirstAndDoesNotFail) {
  // Someone else initialised the library first; our installation must not fail.
  ASSERT_EQ(OPENSSL_init_ssl(0, nullptr), 1);
  EXPECT_EQ(install_default_crypto_provider(), CryptoProviderInstall::installed);
  EXPECT_EQ(install_default_crypto_provider(), CryptoProviderInstall::already_installed);
  EVP_MD* sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  EXPECT_NE(sha256, nullptr);
  EVP_MD_free(sha256);
}

TEST(CryptoProvider, ConcurrentInstallsAgreeOnOneWinner) {
  std::vector<std::thread> threads;
  std::atomic<int> installed{0};
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      if (install_default_crypto_provider() == CryptoProviderInstall::installed) ++installed;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_LE(installed.load(), 1);
}

}  // namespace
}  // namespace revizer::client
