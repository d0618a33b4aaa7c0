#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "command_front_end.h"
#include "protocol/device_table.h"
#include "ui/setup_dialog.h"

namespace tamro::cli {

// Which device to work on, and how to get there.
struct DeviceChoice {
    std::string device;   // as DeviceText reads it
    std::string adapter;  // address, interface name or list position; "" is 0;
                          // "auto": the one the named devices answer on
    std::string models;   // the window's command-line text
    std::optional<std::string> model;  // name or list position
    std::vector<std::string> named = {};  // more devices "auto" looks for
};

// Opens the dialog as the window starts, then does what an operator does:
// picks the adapter, presses search, selects the device and (when asked)
// chooses the model, each as a user's action. Then runs `work` on the open
// dialog with the selected record and returns its status; 1 when the
// dialog ends at start, the search fails, or the device is listed not
// exactly once (nothing is sent then); 2 when the model choice cannot be
// made.
int withSelectedDevice(const DeviceChoice& choice, CommandFrontEnd& frontEnd,
                       const std::function<int(SetupDialog&, const DeviceRecord&)>& work);

// The dialog started as the window starts, the adapter picked and Search
// pressed; then `work` on the listed devices. 1 when the dialog ends at
// start or the search fails, else what `work` returns. `choice.device` and
// `choice.model` are not used. With `choice.adapter` "auto" every adapter is
// searched side by side first, and the dialog lists what the one that
// `choice.device` and `choice.named` answered on found (1, with the reason,
// when they answered on none, on two, or on different ones).
int withSearchedDialog(const DeviceChoice& choice, CommandFrontEnd& frontEnd,
                       const std::function<int(SetupDialog&, DeviceTable&,
                                               const std::string& adapterText)>& work);

// Every usable adapter searched side by side, then the dialog once per
// adapter whose search listed devices, each time listing that adapter's
// devices without searching again; `work` runs on each. 1 when no adapter
// is usable, else the highest status `work` returned (0 when it never ran).
int withEachSearchedDialog(const DeviceChoice& choice, CommandFrontEnd& frontEnd,
                           const std::function<int(SetupDialog&, DeviceTable&,
                                                   const AdapterRecord& adapter)>& work);

}  // namespace tamro::cli
