#include <windows.h>

#include <map>
#include <mutex>

#include "platform/interrupt.h"
#include "platform/wide_text_win.h"
#include "platform/writer_lock.h"

namespace tamro {

namespace {

struct Held {
    HANDLE mutex = nullptr;
    HANDLE holderRecord = nullptr;  // the holder's process id, for a waiter to name
    int count = 0;
};

// The locks this process holds, by adapter; a mutex is released by the
// thread that took it, which is the thread that counts it down.
std::mutex heldMutex;
std::map<std::string, Held> heldLocks;

std::string nameSafe(std::string_view adapter) {
    std::string name;
    for (const char c : adapter) name += (c == '\\') ? '_' : c;
    return name;
}

std::wstring recordName(std::string_view adapter) {
    return wideFromUtf8(writerLockName(adapter) + "-holder");
}

std::string programOf(DWORD processId) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) return {};
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    const BOOL known = ::QueryFullProcessImageNameW(process, 0, path, &length);
    ::CloseHandle(process);
    if (!known) return {};
    const std::wstring_view full(path, length);
    const auto slash = full.find_last_of(L"\\/");
    return utf8FromWide(slash == std::wstring_view::npos ? full : full.substr(slash + 1));
}

LockHolder holderOf(std::string_view adapter) {
    LockHolder holder;
    HANDLE record = ::OpenFileMappingW(FILE_MAP_READ, FALSE, recordName(adapter).c_str());
    if (record == nullptr) return holder;
    if (const void* view = ::MapViewOfFile(record, FILE_MAP_READ, 0, 0, sizeof(DWORD))) {
        const DWORD pid = *static_cast<const DWORD*>(view);
        ::UnmapViewOfFile(view);
        if (pid != 0) {
            holder.processId = pid;
            holder.program = programOf(pid);
        }
    }
    ::CloseHandle(record);
    return holder;
}

HANDLE recordHolder(std::string_view adapter) {
    HANDLE record = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         sizeof(DWORD), recordName(adapter).c_str());
    if (record == nullptr) return nullptr;
    if (void* view = ::MapViewOfFile(record, FILE_MAP_WRITE, 0, 0, sizeof(DWORD))) {
        *static_cast<DWORD*>(view) = ::GetCurrentProcessId();
        ::UnmapViewOfFile(view);
    }
    return record;
}

}  // namespace

std::string writerLockName(std::string_view adapter) {
    return "Local\\tamro-writer-" + nameSafe(adapter);
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
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, wideFromUtf8(writerLockName(adapter)).c_str());
    if (mutex == nullptr) return false;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (true) {
        const DWORD waited = ::WaitForSingleObject(mutex, 50);
        // An abandoned mutex was left by a writer that ended: it is ours now.
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
            heldLocks[key] = Held{mutex, recordHolder(adapter), 1};
            adapter_ = key;
            return true;
        }
        if (waited != WAIT_TIMEOUT) break;
        if (std::chrono::steady_clock::now() >= deadline || interruptRequested()) {
            holder = holderOf(adapter);
            break;
        }
    }
    ::CloseHandle(mutex);
    return false;
}

void WriterLock::release() {
    if (adapter_.empty()) return;
    const std::lock_guard<std::mutex> guard(heldMutex);
    if (const auto found = heldLocks.find(adapter_); found != heldLocks.end()) {
        if (--found->second.count == 0) {
            if (found->second.holderRecord != nullptr) ::CloseHandle(found->second.holderRecord);
            ::ReleaseMutex(found->second.mutex);
            ::CloseHandle(found->second.mutex);
            heldLocks.erase(found);
        }
    }
    adapter_.clear();
}

}  // namespace tamro
