#pragma once

#include <cstddef>
#include <functional>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tamro::cli {

// What became of one device of a batch, and what a later search found.
// `unchanged`: the write would have left it as it was, so none was sent.
enum class BatchResult { notAttempted, failed, refused, written, unchanged };
enum class VerifyResult { unchecked, verified, differing, moved, missing };

std::string_view resultText(BatchResult result);
std::string_view resultText(VerifyResult result);

struct BatchRules {
    bool stopOnFailure = false;
    // Asked before each device: true ends the batch there.
    std::function<bool()> interrupted;
};

struct BatchOutcome {
    std::vector<BatchResult> results;  // one per device, in batch order
    bool interrupted = false;          // the batch ended on an interrupt
};

// Writes devices 0..count-1 in order through `writeOne`. A device that is
// neither written nor unchanged does not stop the others unless `stopOnFailure`; an interrupt
// lets the device in progress finish and starts no other. Devices never
// started are notAttempted.
BatchOutcome runBatch(std::size_t count, const BatchRules& rules,
                      const std::function<BatchResult(std::size_t)>& writeOne);

// 130 after an interrupt, 1 when any device was neither written nor
// unchanged (or, when verified, not verified), else 0.
int batchExitStatus(const BatchOutcome& outcome, std::span<const VerifyResult> verified);

// What a device holds after a write that failed part way: the blocks it
// took (in the order 0, 3, 7) and keeps without restarting. "" when it took
// none or all.
// Written, or left as it was on purpose: the batch got what it asked for.
bool batchDone(BatchResult result);

std::string partialWriteText(std::int32_t blocksAccepted);

}  // namespace tamro::cli
