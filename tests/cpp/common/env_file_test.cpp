// The user env file: where it lives, which key a line carries, and the
// atomic rewrite with its error texts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "common/env/env_file_loader.h"
#include "common/env/env_line.h"
#include "common/env/env_path.h"
#include "common/env/env_rewrite.h"
#include "common/env/env_updates.h"
#include "tests/cpp/common/scoped_env.h"

namespace revizer::common {
namespace {

using testing::ScopedEnv;
using testing::TempDir;
using testing::read_text;
using testing::write_text;

EnvUpdates updates(std::initializer_list<std::pair<std::string, std::optional<std::string>>> changes) {
  EnvUpdates out;
  for (const auto& [key, value] : changes) EXPECT_TRUE(out.set(key, value)) << key;
  return out;
}

unsigned mode_of(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

// --- location ---------------------------------------------------------------

TEST(EnvFilePath, FirstNonEmptyDirectoryVariableWins) {
  struct Case {
    const char* user_config_dir;
    const char* tavimor_home;
    const char* home;
    const char* expected;
  };
  const Case cases[] = {
      {"/cfg", "/th", "/h", "/cfg/env"},
      {"/cfg/", nullptr, nullptr, "/cfg/env"},
      {"", "/th", "/h", "/th/.tavimor/env"},
      {"", "", "/h/", "/h/.tavimor/env"},
      {nullptr, nullptr, "/h", "/h/.tavimor/env"},
      // Raw bytes: a directory name that is not UTF-8 is used as it is.
      {"/d\xff", nullptr, nullptr, "/d\xff/env"},
  };
  for (const Case& c : cases) {
    ScopedEnv env;
    const auto put = [&](const char* name, const char* value) { value ? env.set(name, value) : env.unset(name); };
    put("TAVIMOR_USER_CONFIG_DIR", c.user_config_dir);
    put("TAVIMOR_HOME_DIR", c.tavimor_home);
    put("HOME", c.home);
    auto path = resolve_env_file_path();
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, c.expected);
  }
}

TEST(EnvFilePath, FallsBackToTheUserDatabaseHome) {
  ScopedEnv env;
  env.unset("TAVIMOR_USER_CONFIG_DIR").set("TAVIMOR_HOME_DIR", "").set("HOME", "");
  auto path = resolve_env_file_path();
  ASSERT_TRUE(path);
  EXPECT_THAT(*path, ::testing::EndsWith("/.tavimor/env"));
  EXPECT_NE(*path, "/.tavimor/env");
}

// --- line keys --------------------------------------------------------------

TEST(EnvLineKey, RecognisesKeysLikeTheRewriteDoes) {
  const std::pair<std::string_view, std::optional<std::string_view>> cases[] = {
      {"A=1", "A"},
      {"  export  API = v", "API"},
      {"export\tX=1", "export\tX"},
      {"export A=old", "A"},
      {"exportA=1", "exportA"},
      {" A = old ", "A"},
      {"# A=1", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"no equals", std::nullopt},
      {"=x", std::nullopt},
      {"  =x", std::nullopt},
      {"\xC2\xA0K\xE2\x80\x83=1", "K"},  // Unicode white space trimmed
      {"A==b", "A"},
  };
  for (const auto& [line, key] : cases) EXPECT_EQ(env_line_key(line), key) << line;
}

// --- rewriting --------------------------------------------------------------

class EnvRewrite : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir / "home/.tavimor/env";

  std::string apply(const EnvUpdates& changes) {
    auto written = apply_env_updates(path, changes);
    EXPECT_TRUE(written) << (written ? "" : written.error().text());
    return read_text(path);
  }
};

TEST_F(EnvRewrite, CreatesTheFileAndItsDirectories) {
  EXPECT_EQ(apply(updates({{"A", "1"}})), "A=1\n");
  EXPECT_EQ(mode_of(path), 0600u);
}

TEST_F(EnvRewrite, RewritesLinesAndKeepsEverythingElse) {
  struct Case {
    const char* name;
    std::string old_content;
    EnvUpdates changes;
    std::string expected;
  };
  const Case cases[] = {
      {"replace and append", "# comment\n\nA=old\nB=2\n", updates({{"A", "new"}, {"C", "3"}}),
       "# comment\n\nA=new\nB=2\nC=3\n"},
      {"export prefix and spacing dropped", "export A=old\n  A = old  \n", updates({{"A", "new"}}), "A=new\nA=new\n"},
      {"remove every line of a key", "A=1\nB=2\nA=3", updates({{"A", std::nullopt}}), "B=2\n"},
      {"removal that empties the file", "A=1\n", updates({{"A", std::nullopt}}), "\n"},
      {"removal of an absent key", "B=2\n", updates({{"A", std::nullopt}}), "B=2\n"},
      {"CRLF becomes LF", "A=1\r\nB=2\r\n", updates({{"B", "3"}}), "A=1\nB=3\n"},
      {"lines without a key never match", "no equals\n=x\n", updates({{"x", "1"}}), "no equals\n=x\nx=1\n"},
      {"a lone CR stays inside its line", "A=1\rB=2\n", updates({}), "A=1\rB=2\n"},
      {"empty updates normalise line ends", "A=1\r\nB=2", updates({}), "A=1\nB=2\n"},
      {"blank last line kept, final newline not doubled", "A=1\n\n", updates({}), "A=1\n\n"},
      {"byte-order mark kept, first key found behind it", "\xEF\xBB\xBF" "A=old\nB=2\n", updates({{"A", "new"}}),
       "\xEF\xBB\xBF" "A=new\nB=2\n"},
      {"byte-order mark alone", "\xEF\xBB\xBF", updates({{"A", "1"}}), "\xEF\xBB\xBF" "A=1\n"},
  };
  for (const Case& c : cases) {
    write_text(path, c.old_content);
    EXPECT_EQ(apply(c.changes), c.expected) << c.name;
  }
}

TEST_F(EnvRewrite, EmptyUpdatesCreateAFileOfOneLineEnd) {
  EXPECT_EQ(apply(updates({})), "\n");
  EXPECT_EQ(mode_of(path), 0600u);
}

TEST_F(EnvRewrite, ResetsPermissionsTo0600AndLeavesNoTemporaryFile) {
  write_text(path, "A=1\n");
  ::chmod(path.c_str(), 0644);
  apply(updates({{"A", "2"}}));
  EXPECT_EQ(mode_of(path), 0600u);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "home/.tavimor")) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_THAT(names, ::testing::ElementsAre("env"));
}

TEST_F(EnvRewrite, FollowsOneRelativeSymlinkAndReturnsItsTarget) {
  write_text(dir / "real/env", "A=1\n");
  std::filesystem::create_directories(dir / "link");
  std::filesystem::create_symlink("../real/env", dir / "link/env");
  auto written = apply_env_updates(dir / "link/env", updates({{"A", "2"}}));
  ASSERT_TRUE(written);
  EXPECT_EQ(*written, dir / "link/../real/env");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link/env"));
  EXPECT_EQ(read_text(dir / "real/env"), "A=2\n");
}

TEST_F(EnvRewrite, DanglingSymlinkCreatesItsTarget) {
  std::filesystem::create_directories(dir / "link");
  std::filesystem::create_symlink(dir / "made/env", dir / "link/env");
  auto written = apply_env_updates(dir / "link/env", updates({{"A", "1"}}));
  ASSERT_TRUE(written);
  EXPECT_EQ(*written, dir / "made/env");
  EXPECT_EQ(read_text(dir / "made/env"), "A=1\n");
}

TEST_F(EnvRewrite, FailuresNameThePathAndTheSystemError) {
  // Not UTF-8: the file is left alone.
  write_text(path, "A=\xff\n");
  auto bad_text = apply_env_updates(path, updates({{"A", "1"}}));
  ASSERT_FALSE(bad_text);
  EXPECT_EQ(bad_text.error().text(), "Failed to read " + path + ": stream did not contain valid UTF-8");
  EXPECT_EQ(read_text(path), "A=\xff\n");

  // The target is a directory.
  std::filesystem::create_directories(dir / "isdir");
  auto is_dir = apply_env_updates(dir / "isdir", updates({}));
  ASSERT_FALSE(is_dir);
  EXPECT_EQ(is_dir.error().text(), "Failed to read " + (dir / "isdir") + ": Is a directory (os error 21)");

  // A parent that is a regular file.
  write_text(dir / "plain", "x");
  auto no_dir = apply_env_updates(dir / "plain/sub/env", updates({}));
  ASSERT_FALSE(no_dir);
  EXPECT_EQ(no_dir.error().kind(), EnvError::Kind::Context);
  EXPECT_THAT(no_dir.error().text(),
              ::testing::MatchesRegex("Failed to create directory " + dir.path() + "/plain/sub: .* \\(os error [0-9]+\\)"));
}

// --- refused updates --------------------------------------------------------

TEST(EnvUpdatesCheck, RefusesKeysAndValuesThatWouldBreakTheFile) {
  const std::pair<std::string, std::optional<std::string>> refused[] = {
      {"", "v"},          {"A=B", "v"}, {"#A", "v"},       {"A B", "v"},      {"A\tB", "v"},
      {"A\nB", "v"},      {"A\rB", "v"}, {std::string("A\0B", 3), "v"}, {"A\xC2\xA0", "v"},
      {"K", "a\nB=evil"}, {"K", "a\r"}, {"K", std::string("a\0b", 3)},
  };
  for (const auto& [key, value] : refused) {
    EnvUpdates changes;
    auto set = changes.set(key, value);
    ASSERT_FALSE(set) << key;
    EXPECT_EQ(set.error().key, key);
    EXPECT_TRUE(changes.empty());
  }
  EnvUpdates changes;
  auto bad_key = changes.set("A=B", "v");
  EXPECT_EQ(bad_key.error().text,
            "invalid env file key \"A=B\": a key must not be empty or contain \"=\", \"#\", white space, a line break or NUL");
  auto bad_value = changes.set("K", "a\nB");
  EXPECT_EQ(bad_value.error().text, "invalid env file value for key \"K\": a value must not contain a line break or NUL");
  // Removal needs no value check, and other characters are fine.
  EXPECT_TRUE(changes.set("K", std::nullopt));
  EXPECT_TRUE(changes.set("a.b-c$", "x\ty\vz"));
}

// --- round trip through the loader --------------------------------------------

TEST_F(EnvRewrite, EveryWrittenValueLoadsBackUnchanged) {
  const std::string values[] = {
      "",        "plain",     " lead",   "trail ",  "\tboth\t", "\"quoted\"", "'single'", "\"",
      "'",       "mid\"dle",  "a#b",     "#start",  "a #b",     "$HOME",      "${HOME}",  "back\\slash",
      "\\",      "end\\",     "\\\"",    "a = b",   "é ü 中",   "`tick`",     "\x0b\x0c", "C:\\new\\t",
      "x' #\"y", "  ",        "=",       "export",  "\xC2\xA0nbsp\xC2\xA0",
  };
  for (const std::string& value : values) {
    write_text(path, "# kept\nOTHER=1\n");
    apply(updates({{"K", value}}));
    std::vector<EnvEntry> entries;
    auto loaded = for_each_env_entry(read_text(path), [&](EnvEntry&& e) { entries.push_back(std::move(e)); });
    ASSERT_TRUE(loaded) << loaded.error().text();
    ASSERT_EQ(entries.size(), 2u) << value;
    EXPECT_EQ(entries[1].key, "K");
    EXPECT_EQ(entries[1].value, value) << read_text(path);
  }
}

TEST_F(EnvRewrite, PlainValuesStayPlainLines) {
  EXPECT_EQ(apply(updates({{"A", "plain$x\\y"}, {"B", ""}, {"C", "a b"}})), "A=plain$x\\y\nB=\nC=a b\n");
  EXPECT_EQ(apply(updates({{"A", " x#"}})), "A=\" x#\"\nB=\nC=a b\n");
}

// --- concurrency ------------------------------------------------------------

TEST_F(EnvRewrite, ConcurrentRewritesLoseNoUpdate) {
  constexpr int kThreads = 4, kKeysEach = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < kKeysEach; ++k) {
        EnvUpdates one;
        std::string key = "K";
        key += std::to_string(t * kKeysEach + k);
        (void)one.set(key, "v");
        EXPECT_TRUE(apply_env_updates(path, one));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  int lines = 0;
  ASSERT_TRUE(for_each_env_entry(read_text(path), [&](EnvEntry&&) { ++lines; }));
  EXPECT_EQ(lines, kThreads * kKeysEach);
}

}  // namespace
}  // namespace revizer::common
