#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>

#include "platform/interrupt.h"
#include "platform/writer_lock.h"

namespace tamro {

namespace {

struct Held {
    int file = -1;
    int count = 0;
};

// The locks this process holds, by adapter: flock would refuse a second
// descriptor of our own.
std::mutex heldMutex;
std::map<std::string, Held> heldLocks;

bool writable(const char* directory) { return ::access(directory, W_OK | X_OK) == 0; }

std::string runtimeDirectory() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime != '\0' && writable(runtime)) {
        return runtime;
    }
    if ((::mkdir("/run/tamro", 0755) == 0 || errno == EEXIST) && writable("/run/tamro")) {
        return "/run/tamro";
    }
    return "/tmp";
}

// An adapter's text as part of a file name.
std::string fileSafe(std::string_view adapter) {
    std::string name;
    for (const char c : adapter) {
        const bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                           (c >= 'A' && c <= 'Z') || c == '.' || c == '-';
        name += plain ? c : '_';
    }
    return name;
}

// One address may name a different adapter in each network namespace (a
// container, a test lab): each has its own writer.
std::string networkNamespaceSuffix() {
    char link[64] = {};
    const ssize_t length = ::readlink("/proc/self/ns/net", link, sizeof link - 1);
    if (length <= 0) return {};
    std::string digits;
    for (const char c : std::string_view(link, static_cast<std::size_t>(length))) {
        if (c >= '0' && c <= '9') digits += c;
    }
    return digits.empty() ? std::string() : "-net" + digits;
}

LockHolder holderOf(int file) {
    LockHolder holder;
    char text[32] = {};
    const ssize_t length = ::pread(file, text, sizeof text - 1, 0);
    if (length <= 0) return holder;
    char* end = nullptr;
    const long long pid = std::strtoll(text, &end, 10);
    if (end == text || pid <= 0) return holder;
    holder.processId = pid;
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::getline(comm, holder.program);
    return holder;
}

}  // namespace

std::string writerLockName(std::string_view adapter) {
    return runtimeDirectory() + "/tamro-writer-" + fileSafe(adapter) + networkNamespaceSuffix() +
           ".lock";
}

bool WriterLock::acquire(std::string_view adapter, std::chrono::milliseconds patience,
                         LockHolder& holder) {
    release();
    holder = {};
    const std::string key(adapter);
    const std::lock_guard<std::mutex> guard(heldMutex);
    if (const auto found = heldLocks.find(key); found != heldLocks.end()) {
        ++found->second.count;
        adapter_ = key;
        return true;
    }
    const std::string path = writerLockName(adapter);
    const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (file < 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (true) {
        if (::flock(file, LOCK_EX | LOCK_NB) == 0) {
            const std::string pid = std::to_string(::getpid()) + "\n";
            if (::ftruncate(file, 0) == 0) {
                [[maybe_unused]] const ssize_t written = ::pwrite(file, pid.data(), pid.size(), 0);
            }
            heldLocks[key] = Held{file, 1};
            adapter_ = key;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        if (std::chrono::steady_clock::now() >= deadline || interruptRequested()) {
            holder = holderOf(file);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::close(file);
    return false;
}

void WriterLock::release() {
    if (adapter_.empty()) return;
    const std::lock_guard<std::mutex> guard(heldMutex);
    if (const auto found = heldLocks.find(adapter_); found != heldLocks.end()) {
        if (--found->second.count == 0) {
            ::close(found->second.file);  // ends the flock
            heldLocks.erase(found);
        }
    }
    adapter_.clear();
}

}  // namespace tamro
