#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "hostnet/adapters.h"
#include "protocol/address_conflicts.h"
#include "protocol/device_search.h"
#include "protocol/device_table.h"

namespace tamro::cli {

// A found device: identity, and its settings when it was read.
// `sharing`: the MACs of the other listed devices at its address, listed
// as "conflict" (an empty list when there are none).
nlohmann::ordered_json deviceJson(const DeviceRecord& record,
                                  const std::vector<MacAddress>& sharing = {});

nlohmann::ordered_json adapterJson(const AdapterRecord& record);

// Devices that answered discovery but could not be read: [{"mac", "ip"}].
nlohmann::ordered_json droppedJson(const std::vector<DroppedDevice>& dropped);

// One line for how many answering devices were dropped, then one per device;
// nothing when none was.
// Who holds the device port, when the system tells: why discovery could not
// bind it. "" when nothing is known.
std::string portHolderText();

void reportDropped(const std::vector<DroppedDevice>& dropped, std::int32_t listed,
                   std::ostream& out);

// After a search that listed nothing: the doctor command for this adapter.
void hintDoctor(const AdapterRecord& adapter, std::ostream& out);

}  // namespace tamro::cli
