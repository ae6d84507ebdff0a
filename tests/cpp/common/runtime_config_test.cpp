// Runtime configuration: env files filling unset variables, endpoint and
// token resolution, the Windows credential branch, and the loader's syntax.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/config/runtime_config.h"
#include "common/env/env_file_loader.h"
#include "tests/cpp/common/scoped_env.h"

namespace revizer::common {
namespace {

using testing::ScopedEnv;
using testing::TempDir;
using testing::write_text;

std::optional<std::string> getenv_text(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::optional<std::string>(v) : std::nullopt;
}

// Every variable the loader may touch is saved, cleared and restored, and
// HOME points into a temporary directory.
class RuntimeConfigTest : public ::testing::Test {
 protected:
  RuntimeConfigTest() {
    for (const char* name : {"TAVIMOR_USER_CONFIG_DIR", "TAVIMOR_HOME_DIR", "TAVIMOR_WINDOWS_MANAGED_CONFIG_DIR",
                             "TAVIMOR_CREDENTIAL_SOURCE", "TAVIMOR_API_TOKEN", "TAVIMOR_IAP_TOKEN",
                             "TAVIMOR_REVIZER_ENDPOINT", "FROM_FILE", "A", "B", "C"}) {
      env.unset(name);
    }
    env.set("HOME", home.path());
  }

  std::string user_file() const { return home / ".tavimor/env"; }
  std::string managed_dir() const { return home / "managed"; }

  Result<RuntimeConfig, EnvError> load() { return load_runtime_config(); }

  TempDir home;
  ScopedEnv env;
};

TEST_F(RuntimeConfigTest, ProcessEnvironmentWinsOverTheFiles) {
  write_text(user_file(), "TAVIMOR_API_TOKEN=from-file\nFROM_FILE=yes\n");
  env.set("TAVIMOR_API_TOKEN", "   ");
  auto config = load();
  ASSERT_TRUE(config);
  EXPECT_EQ(config->api_token, std::nullopt);  // blank in the process: the file is not used
  EXPECT_EQ(getenv_text("FROM_FILE"), "yes");
}

TEST_F(RuntimeConfigTest, TokenFromTheUserFileBecomesAProcessVariable) {
  write_text(user_file(), "TAVIMOR_API_TOKEN=\" t1 \"\nTAVIMOR_IAP_TOKEN=iap\n");
  auto config = load();
  ASSERT_TRUE(config);
  EXPECT_EQ(config->api_token, " t1 ");
  EXPECT_EQ(config->iap_token, "iap");
  EXPECT_EQ(getenv_text("TAVIMOR_API_TOKEN"), " t1 ");
}

TEST_F(RuntimeConfigTest, TokenOnTheFirstLineBehindAByteOrderMark) {
  write_text(user_file(), "\xEF\xBB\xBFTAVIMOR_API_TOKEN=t1\n");
  auto config = load();
  ASSERT_TRUE(config);
  EXPECT_EQ(config->api_token, "t1");
}

TEST_F(RuntimeConfigTest, ManagedFileWinsOverTheUserFile) {
  write_text(user_file(), "A=user\nB=user\n");
  write_text(managed_dir() + "/env", "A=managed\n");
  env.set("TAVIMOR_WINDOWS_MANAGED_CONFIG_DIR", managed_dir());
  ASSERT_TRUE(load());
  EXPECT_EQ(getenv_text("A"), "managed");
  EXPECT_EQ(getenv_text("B"), "user");
}

TEST_F(RuntimeConfigTest, EndpointResolution) {
  const std::pair<std::optional<std::string>, std::string> cases[] = {
      {std::nullopt, "http://127.0.0.1:50051"},
      {"revizer.example.com:443", "https://revizer.example.com:443"},
      {"", "https://"},
      {"grpc://x:1", "grpc://x:1"},
      {"host/path?u=a://b", "host/path?u=a://b"},
  };
  for (const auto& [value, expected] : cases) {
    ScopedEnv local;
    value ? local.set("TAVIMOR_REVIZER_ENDPOINT", *value) : local.unset("TAVIMOR_REVIZER_ENDPOINT");
    auto config = load();
    ASSERT_TRUE(config);
    EXPECT_EQ(config->revizer_endpoint, expected);
  }
}

TEST_F(RuntimeConfigTest, TokenRule) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"tok", "tok"}, {" t1 ", " t1 "}, {"", std::nullopt}, {" \t\xE2\x80\x83", std::nullopt}, {"\xff", std::nullopt},
  };
  for (const auto& [value, expected] : cases) {
    ScopedEnv local;
    local.set("TAVIMOR_IAP_TOKEN", value);
    EXPECT_EQ(read_nonempty_env("TAVIMOR_IAP_TOKEN"), expected) << value;
  }
}

TEST_F(RuntimeConfigTest, WindowsCredentialSourceAlwaysFailsHere) {
  write_text(managed_dir() + "/env", "TAVIMOR_API_TOKEN=from-managed-file\n");
  env.set("TAVIMOR_WINDOWS_MANAGED_CONFIG_DIR", managed_dir()).set("TAVIMOR_CREDENTIAL_SOURCE", "Windows_DPAPI");
  const std::string credential = managed_dir() + "/credentials/runtime-api-token.dpapi";

  auto missing = load();
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().text(),
            "TAVIMOR_CREDENTIAL_SOURCE=windows_dpapi is configured but " + credential + " is missing");

  std::filesystem::create_directories(credential);  // a directory cannot be read as bytes
  env.unset("TAVIMOR_API_TOKEN");
  auto unreadable = load();
  ASSERT_FALSE(unreadable);
  EXPECT_EQ(unreadable.error().text(),
            "failed to read Windows DPAPI credential " + credential + ": Is a directory (os error 21)");

  std::filesystem::remove(credential);
  write_text(credential, "blob");
  env.unset("TAVIMOR_API_TOKEN");
  auto present = load();
  ASSERT_FALSE(present);
  EXPECT_EQ(present.error().text(), "failed to decrypt Windows DPAPI credential " + credential +
                                        ": Windows DPAPI credential loading is only supported on Windows");

  // A token already in the process environment means the file is never looked at.
  env.set("TAVIMOR_API_TOKEN", "process");
  auto config = load();
  ASSERT_TRUE(config);
  EXPECT_EQ(config->api_token, "process");
}

TEST_F(RuntimeConfigTest, CredentialSourceThatDoesNotSelectTheWindowsBranch) {
  write_text(user_file(), "TAVIMOR_API_TOKEN=from-file\n");
  for (const char* source : {" windows_dpapi", "windows_dpapi "}) {
    ScopedEnv local;
    local.set("TAVIMOR_WINDOWS_MANAGED_CONFIG_DIR", managed_dir()).set("TAVIMOR_CREDENTIAL_SOURCE", source);
    local.unset("TAVIMOR_API_TOKEN");
    auto config = load();
    ASSERT_TRUE(config) << source;
    EXPECT_EQ(config->api_token, "from-file");
  }
  // No managed directory: the source is passed over.
  ScopedEnv local;
  local.set("TAVIMOR_CREDENTIAL_SOURCE", "windows_dpapi").unset("TAVIMOR_API_TOKEN");
  auto config = load();
  ASSERT_TRUE(config);
  EXPECT_EQ(config->api_token, "from-file");
}

TEST_F(RuntimeConfigTest, ParseFailureKeepsTheEarlierEntries) {
  write_text(user_file(), "A=1\nnot a setting\nC=3\n");
  auto config = load();
  ASSERT_FALSE(config);
  EXPECT_EQ(config.error().kind(), EnvError::Kind::EnvFileParse);
  EXPECT_EQ(config.error().text(), "Error parsing line: 'not a setting', error at line index: 13");
  EXPECT_EQ(getenv_text("A"), "1");
  EXPECT_EQ(getenv_text("C"), std::nullopt);
}

TEST_F(RuntimeConfigTest, UnreadableOrNonUtf8FileFails) {
  write_text(user_file(), "A=\xff\n");
  auto bad = load();
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().text(), "stream did not contain valid UTF-8");
  std::filesystem::remove(user_file());
  std::filesystem::create_directories(user_file());
  auto dir = load();
  ASSERT_FALSE(dir);
  EXPECT_EQ(dir.error().text(), "Is a directory (os error 21)");
}

// --- loader syntax ----------------------------------------------------------

TEST(EnvFileLoader, LineSyntax) {
  struct Case {
    std::string_view content;
    std::vector<std::pair<std::string, std::string>> entries;
  };
  const Case cases[] = {
      {"A=1\n# c\n\n  \nexport B = two words  # note\n", {{"A", "1"}, {"B", "two words"}}},
      {"A=\"q \\\"x\\\" \\\\ \\n\\$\" # c\r\n", {{"A", "q \"x\" \\ \n$"}}},
      {"A='lit \\n $X'", {{"A", "lit \\n $X"}}},
      {"A=#all comment\nB=x#y", {{"A", ""}, {"B", "x#y"}}},
      {"A=\"C:\\path\"", {{"A", "C:\\path"}}},
      {"A=$HOME\nB=", {{"A", "$HOME"}, {"B", ""}}},
      // A leading byte-order mark is no part of the first key; elsewhere it is text.
      {"\xEF\xBB\xBF" "A=1\n\xEF\xBB\xBF" "B=2", {{"A", "1"}, {"\xEF\xBB\xBF" "B", "2"}}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<std::string, std::string>> got;
    auto loaded = for_each_env_entry(c.content, [&](EnvEntry&& e) { got.emplace_back(e.key, e.value); });
    ASSERT_TRUE(loaded) << c.content << ": " << loaded.error().text();
    EXPECT_EQ(got, c.entries) << c.content;
  }
}

TEST(EnvFileLoader, ErrorsNameTheLineAndPosition) {
  const std::pair<std::string_view, std::string> cases[] = {
      {"NOEQUALS", "Error parsing line: 'NOEQUALS', error at line index: 8"},
      {"=x", "Error parsing line: '=x', error at line index: 0"},
      {"A B=1", "Error parsing line: 'A B=1', error at line index: 1"},
      {"A=\"open", "Error parsing line: 'A=\"open', error at line index: 7"},
      {"A='open", "Error parsing line: 'A='open', error at line index: 7"},
      {"A=\"x\" y", "Error parsing line: 'A=\"x\" y', error at line index: 6"},
  };
  for (const auto& [content, text] : cases) {
    auto loaded = for_each_env_entry(content, [](EnvEntry&&) {});
    ASSERT_FALSE(loaded) << content;
    EXPECT_EQ(loaded.error().text(), text);
  }
}

}  // namespace
}  // namespace revizer::common
