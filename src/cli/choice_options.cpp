#include "choice_options.h"

namespace tamro::cli {

void addSearchOptions(CLI::App& command, DeviceChoice& choice) {
    command.add_option("--adapter", choice.adapter,
                       "Search on this adapter: address, interface name or list position; auto: "
                       "the one the device answers on, after searching every adapter; all (search, "
                       "diff, export --all): every adapter at once");
    command.add_option("--models", choice.models,
                       "The window's command-line text: a model file path when it contains \".dat\"");
}

CLI::Option* addDeviceChoiceOptions(CLI::App& command, DeviceChoice& choice, std::string& model) {
    command.add_option("DEVICE", choice.device,
                       "The device: its MAC address, the IP address the device list shows, "
                       "both as \"MAC / IP\", or its list position as #N (from 0)")
        ->required();
    addSearchOptions(command, choice);
    return command.add_option("--model", model,
                              "Choose this model (name or list position) after selecting the device");
}

}  // namespace tamro::cli
