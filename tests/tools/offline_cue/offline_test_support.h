#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "input_error.h"

namespace tarvelmond::offline::test {

// A fresh directory under the system's temporary directory, removed with everything in it.
class TemporaryDirectory {
  public:
    TemporaryDirectory() {
        std::random_device seed;
        path_ = std::filesystem::temp_directory_path() / ("offline_cue_test_" + std::to_string(seed()));
        std::filesystem::create_directories(path_);
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Runs `action`, which must throw InputError at the given place with a message containing `words`.
template <typename Action>
void expectInputError(Action action, int line, int column, const std::string& words) {
    try {
        action();
        ADD_FAILURE() << "no error; expected one at " << line << ":" << column << " about: " << words;
    } catch (const InputError& error) {
        EXPECT_EQ(error.line(), line) << error.what();
        EXPECT_EQ(error.column(), column) << error.what();
        EXPECT_NE(std::string(error.what()).find(words), std::string::npos) << error.what();
    }
}

}  // namespace tarvelmond::offline::test
