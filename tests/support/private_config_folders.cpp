// Every test process runs with configuration, data, cache and state folders
// of its own in a temporary folder, so that nothing a test starts writes into
// the user's: Qt's file dialogs keep their history in QtProject.conf, the
// settings and the file associations have their own files, and a font cache
// may be written on the way. Linked into every test through test_support; a
// test that needs particular folders still sets them itself. A process the
// test starts from its own program (a death test's child runs the program
// afresh and ends without destructors) takes over its parent's folders
// instead of leaving new ones behind.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

constexpr const char* kInherited = "OVRIN_TEST_PRIVATE_FOLDERS";

class PrivateConfigFolders {
 public:
  PrivateConfigFolders() : owner_(::getpid()) {
    std::error_code ignored;
    if (const char* inherited = std::getenv(kInherited);
        inherited && *inherited && std::filesystem::is_directory(inherited, ignored)) {
      owner_ = 0;
      return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "ovrin-test-XXXXXX").string();
    // Without its own folders a test could write into the user's: better none.
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    root_ = pattern;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
      const std::filesystem::path folder = root_ / name;
      std::filesystem::create_directory(folder);
      ::setenv(name, folder.c_str(), 1);
    }
    ::setenv(kInherited, root_.c_str(), 1);
  }
  PrivateConfigFolders(const PrivateConfigFolders&) = delete;
  PrivateConfigFolders& operator=(const PrivateConfigFolders&) = delete;

  // A forked child that exits normally must not take the folders from under
  // its parent.
  ~PrivateConfigFolders() {
    if (::getpid() != owner_) return;
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

 private:
  pid_t owner_;
  std::filesystem::path root_;
};

const PrivateConfigFolders kPrivateConfigFolders;

}  // namespace
