#include "platform/port_holder.h"

namespace tamro {

std::string describePortHolders(const std::vector<PortHolder>& holders, std::uint16_t port) {
    std::string text;
    for (const PortHolder& holder : holders) {
        if (!text.empty()) text += '\n';
        text += "UDP port " + std::to_string(port) + " is taken on " + toDottedText(holder.address);
        if (holder.processId >= 0) {
            text += " by process " + std::to_string(holder.processId);
            if (!holder.program.empty()) text += " (" + holder.program + ")";
        } else {
            text += " by another program";
        }
    }
    return text;
}

}  // namespace tamro
