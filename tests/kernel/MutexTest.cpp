#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "Mutex.h"

namespace {
// A name of this test run alone, so a running program or a parallel test run is not disturbed.
std::string UniqueName(const char* what) { return std::string("TIKORA_TEST_") + what + "_" + std::to_string(::getpid()); }

// Runs `body` in a child process and returns its exit code.
int InChild(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int OpensInChild(const std::string& name) {
    return InChild([&] { return OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str()) ? 1 : 0; });
}

// Lock files stay behind by design; the tests remove their own so the folder does not fill up.
class NamedMutex : public testing::Test {
protected:
    void TearDown() override {
        std::string mark = "_" + std::to_string(::getpid());
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(tikora::MutexLockFolder(), ec)) {
            std::string n = e.path().filename().string();
            if (n.find("TIKORA_TEST_") != std::string::npos && n.find(mark) != std::string::npos)
                std::filesystem::remove(e.path(), ec);
        }
    }
};
}  // namespace

TEST_F(NamedMutex, ExistsWhileAHandleIsOpen) {
    const std::string name = UniqueName("exists");
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    HANDLE first = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    HANDLE opened = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str());
    EXPECT_NE(opened, nullptr);
    HANDLE second = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(OpensInChild(name), 1);

    // The name lives until the last handle goes; the lock file left behind means nothing.
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(CloseHandle(opened));
    HANDLE third = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str());
    EXPECT_NE(third, nullptr);
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(CloseHandle(third));
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(OpensInChild(name), 0);
    HANDLE again = CreateMutexA(nullptr, TRUE, name.c_str());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(again);
}

TEST_F(NamedMutex, AnotherProcessSeesItAndItEndsWithTheProcess) {
    const std::string name = UniqueName("process");
    // A child creates the mutex and ends without closing it: the kernel releases it.
    EXPECT_EQ(InChild([&] {
                  HANDLE h = CreateMutexA(nullptr, TRUE, name.c_str());
                  return h && GetLastError() == ERROR_SUCCESS ? 0 : 1;
              }),
              0);
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str()), nullptr);

    HANDLE mine = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(InChild([&] {
                  HANDLE h = CreateMutexA(nullptr, TRUE, name.c_str());
                  return h && GetLastError() == ERROR_ALREADY_EXISTS ? 0 : 1;
              }),
              0);
    CloseHandle(mine);
}

TEST_F(NamedMutex, NamesAreDistinctAndOwnershipIsTracked) {
    const std::string base = UniqueName("names");
    HANDLE slash = CreateMutexA(nullptr, TRUE, (base + "a/b").c_str());
    ASSERT_NE(slash, nullptr);
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, (base + "a_b").c_str()), nullptr);
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, (base + "A/B").c_str()), nullptr);  // names are case-sensitive

    EXPECT_TRUE(ReleaseMutex(slash));
    EXPECT_FALSE(ReleaseMutex(slash));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    HANDLE opened = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, (base + "a/b").c_str());
    EXPECT_FALSE(ReleaseMutex(opened));  // opening never makes an owner

    HANDLE local = CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_NE(local, nullptr);
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, nullptr), nullptr);

    for (HANDLE h : {slash, opened, local}) EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(slash));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}
