#include "platform/writer_lock.h"

namespace tamro {

std::string describeLockHolder(const LockHolder& holder) {
    if (holder.processId < 0) return "another process";
    std::string text = "process " + std::to_string(holder.processId);
    if (!holder.program.empty()) text += " (" + holder.program + ")";
    return text;
}

std::string writerRefusalText(std::string_view adapter, const LockHolder& holder) {
    return "another writer is writing through adapter " + std::string(adapter) + ": " +
           describeLockHolder(holder) + "; nothing was sent";
}

}  // namespace tamro
