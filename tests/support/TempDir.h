#pragma once
// A fresh folder for one test under $TIKORA_TEST_TMP (the build's test-tmp), removed afterwards,
// and the file helpers the tests of the lower layers share.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TIKORA_TEST_TMP");
        std::filesystem::path root = base && *base ? base : std::filesystem::temp_directory_path();
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
        std::replace(name.begin(), name.end(), '/', '_');
        path_ = root / (name + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }
    // The folder as the program spells names: "\\" between the parts.
    std::string WinPath() const {
        std::string s = path_.string();
        std::replace(s.begin(), s.end(), '/', '\\');
        return s;
    }
    std::string operator/(const std::string& rel) const { return (path_ / rel).string(); }

    static void Write(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    static std::string Read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The names in a folder, sorted: leftovers of a failed save show up here.
    static std::vector<std::string> Entries(const std::filesystem::path& dir) {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    std::filesystem::path path_;
};

// `call` raises E, whose message names `what`.
template <typename E, typename F>
void ExpectNamedError(F call, const std::string& what) {
    try {
        call();
        ADD_FAILURE() << "no exception naming " << what;
    } catch (const E& e) {
        EXPECT_NE(e.Message.Pos(what.c_str()), 0) << e.Message.c_str();
    }
}
