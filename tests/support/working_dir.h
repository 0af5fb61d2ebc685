// A fresh directory that is the working directory for one test: the calculator
// reads its files ("nomix.cnv", scripts) from there. Both are undone at the end.
#pragma once
#include <filesystem>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

namespace testdirs {

class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string &prefix)
        : dir_(std::filesystem::temp_directory_path() /
               (prefix + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())),
          previous_(std::filesystem::current_path()) {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
    }
    ~WorkingDirectory() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    WorkingDirectory(const WorkingDirectory &) = delete;
    WorkingDirectory &operator=(const WorkingDirectory &) = delete;
    const std::filesystem::path &path() const { return dir_; }

private:
    std::filesystem::path dir_;
    std::filesystem::path previous_;
};

} // namespace testdirs
