// Every test process works in a scratch directory of its own, removed at the end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "shell/engine_process.h"

namespace {

class ScratchDirectory : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_ = std::make_unique<TempDir>();
    if (chdir(dir_->Path().c_str()) != 0) dir_.reset();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
    dir_.reset();
  }

 private:
  std::unique_ptr<TempDir> dir_;
};

::testing::Environment* const Scratch = ::testing::AddGlobalTestEnvironment(new ScratchDirectory);

}  // namespace
