#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/writer_lock.h"

namespace tamro {
namespace {

using namespace std::chrono_literals;

// Each test's locks live in a runtime directory of its own.
class WriterLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tamro-lock-test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory_ = pattern;
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        if (old != nullptr) saved_ = old;
        ::setenv("XDG_RUNTIME_DIR", directory_.c_str(), 1);
    }
    void TearDown() override {
        if (saved_.empty()) {
            ::unsetenv("XDG_RUNTIME_DIR");
        } else {
            ::setenv("XDG_RUNTIME_DIR", saved_.c_str(), 1);
        }
        std::filesystem::remove_all(directory_);
    }

    // A child process that takes the lock of `adapter`, says so through a
    // pipe, and holds it until its stdin-like pipe closes.
    struct Holder {
        pid_t pid = -1;
        int release = -1;
    };
    Holder holdInChild(const std::string& adapter) {
        int ready[2];
        int hold[2];
        EXPECT_EQ(::pipe(ready), 0);
        EXPECT_EQ(::pipe(hold), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            ::close(hold[1]);
            WriterLock lock;
            LockHolder other;
            const char taken = lock.acquire(adapter, 0ms, other) ? 'y' : 'n';
            [[maybe_unused]] const ssize_t said = ::write(ready[1], &taken, 1);
            char end = 0;
            [[maybe_unused]] const ssize_t heard = ::read(hold[0], &end, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(hold[0]);
        char taken = 0;
        EXPECT_EQ(::read(ready[0], &taken, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(taken, 'y');
        return {pid, hold[1]};
    }
    static void end(const Holder& holder) {
        ::close(holder.release);
        int status = 0;
        ::waitpid(holder.pid, &status, 0);
    }

    std::string directory_;
    std::string saved_;
};

TEST_F(WriterLockTest, ASecondWriterWaitsThenNamesTheHoldersProcess) {
    const Holder holder = holdInChild("10.77.0.1");
    WriterLock lock;
    LockHolder other;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(lock.acquire("10.77.0.1", 300ms, other));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_FALSE(lock.held());
    EXPECT_EQ(other.processId, holder.pid);
    std::string program;
    std::ifstream("/proc/self/comm") >> program;  // the child is this program
    EXPECT_EQ(other.program, program);
    EXPECT_EQ(writerRefusalText("10.77.0.1", other),
              "another writer is writing through adapter 10.77.0.1: process " +
                  std::to_string(holder.pid) + " (" + program + "); nothing was sent");

    // Another adapter is another writer's to take.
    WriterLock elsewhere;
    EXPECT_TRUE(elsewhere.acquire("10.78.0.1", 0ms, other));
    end(holder);
    // Once the holder has ended, the lock is free.
    EXPECT_TRUE(lock.acquire("10.77.0.1", 1000ms, other));
    EXPECT_TRUE(lock.held());
}

TEST_F(WriterLockTest, TheLockLivesInTheRuntimeDirectoryWithTheHoldersPid) {
    WriterLock lock;
    LockHolder other;
    ASSERT_TRUE(lock.acquire("10.77.0.1", 0ms, other));
    const std::string path = writerLockName("10.77.0.1");
    // Named after the adapter, within this network namespace.
    EXPECT_EQ(path.rfind(directory_ + "/tamro-writer-10.77.0.1-net", 0), 0u) << path;
    EXPECT_TRUE(path.ends_with(".lock")) << path;
    std::ifstream file(path);
    long long pid = 0;
    file >> pid;
    EXPECT_EQ(pid, ::getpid());
    // A name that is not a plain address cannot leave the directory.
    EXPECT_EQ(writerLockName("../eth 0").rfind(directory_ + "/tamro-writer-.._eth_0-net", 0), 0u);
}

TEST_F(WriterLockTest, WithinOneProcessTheLockIsCountedUntilTheLastRelease) {
    WriterLock batch;
    WriterLock write;
    LockHolder other;
    ASSERT_TRUE(batch.acquire("10.77.0.1", 0ms, other));
    ASSERT_TRUE(write.acquire("10.77.0.1", 0ms, other));  // a write inside the batch
    write.release();

    // Still held for the batch: another process is refused.
    const std::string command = "flock --nonblock " + writerLockName("10.77.0.1") + " true";
    EXPECT_NE(std::system(command.c_str()), 0);
    batch.release();
    EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST(LockHolderText, SaysWhatIsKnown) {
    EXPECT_EQ(describeLockHolder({}), "another process");
    EXPECT_EQ(describeLockHolder({412, ""}), "process 412");
    EXPECT_EQ(describeLockHolder({412, "tamroctl"}), "process 412 (tamroctl)");
}

}  // namespace
}  // namespace tamro
