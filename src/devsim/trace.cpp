#include "devsim/trace.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include <nlohmann/json.hpp>

#include "devsim/hex_text.h"
#include "protocol/device_address.h"

namespace tamro::devsim {

Trace::~Trace() {
    if (file_ != nullptr) std::fclose(file_);
}

bool Trace::open(const std::string& path, std::string& error) {
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

double Trace::elapsedMs() const {
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
    return std::round(static_cast<double>(micros)) / 1000.0;
}

void Trace::datagram(bool sent, const std::optional<Mac>& device, const Endpoint& from,
                     const Endpoint& to, const std::uint8_t* data, std::size_t length,
                     std::string_view what) {
    if (file_ == nullptr) return;
    nlohmann::ordered_json line;
    line["t_ms"] = elapsedMs();
    line["dir"] = sent ? "tx" : "rx";
    line["device"] = device ? nlohmann::ordered_json(macText(*device)) : nlohmann::ordered_json();
    line["from"] = endpointText(from);
    line["to"] = endpointText(to);
    line["len"] = length;
    line["hex"] = hexText(data, length);
    line["what"] = what;
    writeLine(line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

void Trace::event(std::string_view name, const std::optional<Mac>& device,
                  std::string_view detail) {
    if (file_ == nullptr) return;
    nlohmann::ordered_json line;
    line["t_ms"] = elapsedMs();
    line["dir"] = "event";
    line["device"] = device ? nlohmann::ordered_json(macText(*device)) : nlohmann::ordered_json();
    line["event"] = name;
    line["detail"] = detail;
    writeLine(line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

void Trace::writeLine(const std::string& line) {
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
}

void Trace::flush() {
    if (file_ != nullptr) std::fflush(file_);
}

}  // namespace tamro::devsim
