#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace tamro {

// Who holds a writer lock, as far as the system tells.
struct LockHolder {
    std::int64_t processId = -1;  // -1 when unknown
    std::string program;          // empty when unknown
};

// "process 412 (tamroctl)", or "another process" when nothing is known.
std::string describeLockHolder(const LockHolder& holder);

// One writer per adapter on this host: whoever writes to devices through an
// adapter holds its lock for the duration of the writes, so two programs
// never interleave their blocks on one device. On Linux a file under the
// runtime directory ($XDG_RUNTIME_DIR, /run/tamro or /tmp) locked with
// flock and holding the holder's process id; on Windows the named mutex
// Local\tamro-writer-<adapter>.
//
// Within one process the lock is counted: a writer that already holds an
// adapter's lock (a batch) takes it again at once for each write.
class WriterLock {
public:
    WriterLock() = default;
    ~WriterLock() { release(); }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    // Waits up to `patience` for the lock of `adapter` (its address as
    // text). False when another process kept it, with that process in
    // `holder`, or when the lock could not be made (`holder` unknown).
    // Gives up early once an interrupt has arrived.
    bool acquire(std::string_view adapter, std::chrono::milliseconds patience, LockHolder& holder);
    void release();
    bool held() const { return !adapter_.empty(); }

private:
    std::string adapter_;  // the lock's name while held
};

// "another writer is writing through adapter 10.77.0.1: process 412
// (tamroctl); nothing was sent": why a second writer refuses.
std::string writerRefusalText(std::string_view adapter, const LockHolder& holder);

// How long a second writer waits before it refuses.
inline constexpr std::chrono::milliseconds writerLockPatience{5000};

// The file the lock of `adapter` lives in (Linux), or the mutex's name
// (Windows): for messages and tests.
std::string writerLockName(std::string_view adapter);

}  // namespace tamro
