// The ICMP echo through the IP Helper's echo functions.
#include <winsock2.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/icmp_echo.h"

// The headers of this tool chain leave the extended call out; the import
// library has it. Without an event or callback the call waits, like IcmpSendEcho.
extern "C" DWORD WINAPI IcmpSendEcho2Ex(HANDLE IcmpHandle, HANDLE Event, FARPROC ApcRoutine,
                                        PVOID ApcContext, IPAddr SourceAddress,
                                        IPAddr DestinationAddress, LPVOID RequestData,
                                        WORD RequestSize, PIP_OPTION_INFORMATION RequestOptions,
                                        LPVOID ReplyBuffer, DWORD ReplySize, DWORD Timeout);

namespace tamro {

namespace {

// Room the extended call keeps for its I/O status block (two pointer-sized words).
constexpr std::size_t statusBlockRoom = 2 * sizeof(void*);

class EchoHandle {
public:
    EchoHandle() : handle_(::IcmpCreateFile()) {}
    ~EchoHandle() {
        if (isOpen()) ::IcmpCloseHandle(handle_);
    }
    EchoHandle(const EchoHandle&) = delete;
    EchoHandle& operator=(const EchoHandle&) = delete;

    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

IPAddr ipAddr(const Ipv4& address) {
    IPAddr result = 0;
    std::memcpy(&result, address.bytes.data(), 4);
    return result;
}

}  // namespace

std::int32_t sendIcmpEcho(const Ipv4& target, std::span<const std::uint8_t> payload,
                          std::chrono::milliseconds timeout, const std::optional<Ipv4>& source) {
    if (timeout.count() <= 0 || payload.size() > 0xFFFF) return 0;
    const EchoHandle handle;
    if (!handle.isOpen()) return 0;

    // The reply structure itself (the 64-bit one is larger than 28 bytes),
    // the payload, an ICMP error's 8 bytes, and the status block the
    // extended call keeps there.
    const std::size_t replySize =
        sizeof(ICMP_ECHO_REPLY) + payload.size() + 8 + statusBlockRoom + 16;
    std::vector<unsigned char> reply(replySize, 0);
    std::vector<unsigned char> request(payload.begin(), payload.end());
    const auto wait = static_cast<DWORD>(std::min<long long>(timeout.count(), 0x7FFFFFFF));
    const auto requestSize = static_cast<WORD>(request.size());
    const DWORD count =
        source ? ::IcmpSendEcho2Ex(handle.get(), nullptr, nullptr, nullptr, ipAddr(*source),
                                   ipAddr(target), request.data(), requestSize, nullptr,
                                   reply.data(), static_cast<DWORD>(reply.size()), wait)
               : ::IcmpSendEcho(handle.get(), ipAddr(target), request.data(), requestSize,
                                nullptr, reply.data(), static_cast<DWORD>(reply.size()), wait);

    // An error report (unreachable, time exceeded) from a router is a reply
    // too; only the target's own echo reply counts.
    const auto* replies = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data());
    for (DWORD i = 0; i < count; ++i) {
        const ICMP_ECHO_REPLY& answer = replies[i];
        if (answer.Status != IP_SUCCESS || answer.Address != ipAddr(target)) continue;
        if (answer.DataSize != payload.size()) continue;
        if (answer.Data == nullptr && !payload.empty()) continue;
        if (std::equal(payload.begin(), payload.end(), static_cast<const std::uint8_t*>(answer.Data))) {
            return 1;
        }
    }
    return 0;
}

}  // namespace tamro
