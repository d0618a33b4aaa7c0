#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "devsim/device_definition.h"
#include "devsim/endpoint.h"

namespace tamro::devsim {

// JSON lines, one per datagram or event, for tests that follow the file while
// the simulator runs.
class Trace {
public:
    using Clock = std::chrono::steady_clock;

    explicit Trace(Clock::time_point start) : start_(start) {}
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    bool open(const std::string& path, std::string& error);

    // `device` is the MAC of the device concerned, or nothing for a datagram
    // that reached no single device. `what` says how it was taken.
    void datagram(bool sent, const std::optional<Mac>& device, const Endpoint& from,
                  const Endpoint& to, const std::uint8_t* data, std::size_t length,
                  std::string_view what);
    void event(std::string_view name, const std::optional<Mac>& device, std::string_view detail);
    // Called before every wait: a burst of hundreds of replies is written at
    // once, and everything that happened is in the file while nothing happens.
    void flush();

private:
    void writeLine(const std::string& line);
    double elapsedMs() const;

    Clock::time_point start_;
    std::FILE* file_ = nullptr;
};

}  // namespace tamro::devsim
