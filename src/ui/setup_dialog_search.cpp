#include <cstddef>
#include <memory>
#include <string>

#include "protocol/device_search.h"
#include "protocol/messages.h"
#include "protocol/vocabulary.h"
#include "ui/setup_dialog.h"

namespace tamro {

// The search lasts at least a second of discovery plus the reads: it runs
// on a worker, on a copy of the table, while everything that could change
// the table or read the form is off.
void SetupDialog::onSearch() {
    if (work_ != Work::none) return;
    resetSettings(false, OffReason::noDeviceRead);
    const AdapterRecord* adapter = selectedAdapter();
    if (adapter == nullptr) return;

    auto job = std::make_shared<SearchJob>();
    job->adapter =
        SearchAdapter{adapter->address, adapter->mask, adapterInterfaceName(*adapter)};
    job->table = std::make_unique<DeviceTable>(devices_);
    suspendForm(Work::search);
    frontEnd_.startWorker([this, job] {
        job->found = services_.searchDevices(*job->table, job->adapter);
        frontEnd_.runOnDialogThread([this, job] { finishSearch(*job); });
    });
}

void SetupDialog::finishSearch(SearchJob& job) {
    resumeForm();
    if (job.found < 0) {
        // Discovery may fail after it has stored replies over the rows the
        // list still shows. The dialog's table is the table as it was, which
        // tells the two failures apart without asking discovery how far it
        // got.
        if (job.table->devices != devices_.devices) {
            // Some rows now hold this run's replies: no entry may point at them.
            devices_ = *job.table;
            form_.clearItems(ControlId::deviceList);
        }
        // Otherwise nothing was stored (socket or bind failed): the table,
        // its count included, still is what the list describes, so a later
        // removal still finds its row.
        lastSearch_ = {SearchResult::failed, form_.itemCount(ControlId::deviceList)};
        showMessage(communicationErrorMessage);
        return;
    }

    devices_ = *job.table;
    form_.clearItems(ControlId::deviceList);
    const std::int32_t count = std::min(job.found, maxDevices);
    for (std::int32_t i = 0; i < count; ++i) {
        form_.addItem(ControlId::deviceList,
                      deviceListEntry(devices_.devices[static_cast<std::size_t>(i)]));
    }
    form_.setEnabled(ControlId::deviceList, true);
    lastSearch_ = {SearchResult::listed, count};
}

void SetupDialog::onAdapterChanged() {
    form_.clearItems(ControlId::deviceList);
    resetSettings(false, OffReason::noDeviceRead);
}

}  // namespace tamro
