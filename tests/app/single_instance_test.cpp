#include "app/single_instance.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

namespace quenlow {
namespace {

namespace fs = std::filesystem;

class SingleInstanceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quenlow-instance-test-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        lock_ = (dir_ / std::string(kInstanceLockFileName)).string();
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
    std::string lock_;
};

TEST_F(SingleInstanceTest, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    SingleInstance first(lock_), second(lock_);
    ASSERT_TRUE(first.acquire());
    EXPECT_TRUE(first.held());
    EXPECT_TRUE(first.acquire()) << "acquiring again while holding the lock";

    EXPECT_FALSE(second.acquire());
    EXPECT_FALSE(second.held());
    EXPECT_FALSE(second.acquire()) << "still refused on a second try";

    first.release();
    EXPECT_FALSE(first.held());
    EXPECT_TRUE(second.acquire());
    EXPECT_TRUE(second.held());
    EXPECT_FALSE(first.acquire()) << "roles swapped";
}

TEST_F(SingleInstanceTest, LockEndsWithItsHolder) {
    {
        SingleInstance first(lock_);
        ASSERT_TRUE(first.acquire());
    }
    SingleInstance second(lock_);
    EXPECT_TRUE(second.acquire());
}

TEST_F(SingleInstanceTest, AnotherProcessIsRefused) {
    SingleInstance first(lock_);
    ASSERT_TRUE(first.acquire());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A flock belongs to the open file, so the child's own open of the lock file competes with ours.
        SingleInstance other(lock_);
        ::_exit(other.acquire() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the other process was allowed to run";
}

TEST_F(SingleInstanceTest, UncheckableLockLetsTheProgramRun) {
    SingleInstance instance((dir_ / "no-such-folder" / "x.lock").string());
    EXPECT_TRUE(instance.acquire());
    EXPECT_FALSE(instance.held());
}

TEST(InstanceLockPath, RuntimeFolderOrTmp) {
    EXPECT_EQ(instance_lock_path("/run/user/1000"), "/run/user/1000/velmor-quenlow-17.lock");
    EXPECT_EQ(instance_lock_path("/run/user/1000/"), "/run/user/1000/velmor-quenlow-17.lock");
    EXPECT_EQ(instance_lock_path(""), "/tmp/velmor-quenlow-17.lock");
}

}  // namespace
}  // namespace quenlow
