// Every test process works in a scratch directory of its own, removed at the end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class ScratchDirectory : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvid-tests-XXXXXX").string();
    if (char* made = mkdtemp(pattern.data())) {
      path_ = made;
      if (chdir(path_.c_str()) != 0) path_.clear();
    }
  }
  void TearDown() override {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
    std::filesystem::remove_all(path_, ignored);
  }

 private:
  std::string path_;
};

::testing::Environment* const Scratch = ::testing::AddGlobalTestEnvironment(new ScratchDirectory);

}  // namespace
