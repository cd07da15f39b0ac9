// Writing back keeps links, mode and owner, and a failed or killed write leaves the old file
// whole with no temporary file beside it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/dialogs.h"
#include "platform/files.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ovrin-files-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string Make(const std::string& name, const Bytes& bytes) const {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return Path(name);
  }
  static Bytes Read(const std::string& path) { return platform::ReadWholeFile(path).value_or(Bytes{}); }
  // What lies in the directory, so a left temporary file shows.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string dir_;
};

TEST_F(Files, WriteBackKeepsLinksModeAndOwner) {
  const std::string target = Make("image.trd", Bytes(64, 1));
  fs::create_symlink(target, Path("link.trd"));
  fs::create_hard_link(target, Path("hard.trd"));
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  // The superuser can give the file away and must keep it given away.
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(target.c_str(), 1234, 1234), 0);
  }

  ASSERT_TRUE(platform::WriteFileAtomic(Path("link.trd"), Bytes(80, 2)));
  EXPECT_TRUE(fs::is_symlink(Path("link.trd")));
  EXPECT_EQ(Read(target), Bytes(80, 2));
  EXPECT_EQ(Read(Path("hard.trd")), Bytes(80, 2));
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 1234u);
  }

  // A file with no other name is replaced whole, and keeps the same.
  const std::string single = Make("single.fdi", Bytes(8, 3));
  ASSERT_EQ(chmod(single.c_str(), 0600), 0);
  ASSERT_TRUE(platform::WriteFileAtomic(single, Bytes(9, 4)));
  ASSERT_EQ(stat(single.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(Read(single), Bytes(9, 4));
  EXPECT_EQ(Listing(), (std::vector<std::string>{"hard.trd", "image.trd", "link.trd", "single.fdi"}));
}

// A child process writes a file larger than its file size limit: with
// SIGXFSZ ignored the write fails as on a full file system; with the signal
// left alone the child is killed in the middle of writing.
TEST_F(Files, FullOrKilledWriteLeavesTheOldFileAndNoTemporary) {
  for (const bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "killed" : "full");
    const Bytes old(4096, 7);
    const std::string path = Make("disk.udi", old);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGXFSZ, killed ? SIG_DFL : SIG_IGN);
      const rlimit limit{8192, 8192};
      setrlimit(RLIMIT_FSIZE, &limit);
      _exit(platform::WriteFileAtomic(path, Bytes(1 << 20, 9)) ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (killed) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
    }
    EXPECT_EQ(Read(path), old);
    EXPECT_EQ(Listing(), std::vector<std::string>{"disk.udi"});
  }
}

TEST(MessageText, LongUserTextIsCutWholeCharactersKeepingBothEnds) {
  std::string path = "/home/";
  for (int k = 0; k < 5000; ++k) path += "каталог/";
  path += "game.trd";
  const std::string cut = platform::ShortenForMessage(path);
  EXPECT_LE(cut.size(), 240u);
  EXPECT_EQ(cut.substr(0, 6), "/home/");
  EXPECT_EQ(cut.substr(cut.size() - 8), "game.trd");
  EXPECT_NE(cut.find("..."), std::string::npos);
  // The cut falls between whole Cyrillic letters of two bytes each.
  EXPECT_EQ(cut.size() % 2, 0u);
  EXPECT_EQ(platform::ShortenForMessage("short"), "short");
  // Every line of a message is held to a length a message box can lay out.
  const std::string limited = platform::LimitLineLengths("ROM not loaded:\nfile \"" + path + "\" not found");
  EXPECT_EQ(limited.substr(0, 16), "ROM not loaded:\n");
  EXPECT_LE(limited.size(), 16 + platform::kMessageLineBytes);
}

}  // namespace
