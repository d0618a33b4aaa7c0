#include "fleet_batch.h"

#include <algorithm>
#include <array>

namespace tamro::cli {

std::string_view resultText(BatchResult result) {
    switch (result) {
        case BatchResult::written: return "written";
        case BatchResult::unchanged: return "unchanged";
        case BatchResult::refused: return "refused";
        case BatchResult::notAttempted: return "not attempted";
        case BatchResult::failed: break;
    }
    return "failed";
}

std::string_view resultText(VerifyResult result) {
    switch (result) {
        case VerifyResult::verified: return "verified";
        case VerifyResult::differing: return "differing";
        case VerifyResult::moved: return "moved";
        case VerifyResult::missing: return "missing";
        case VerifyResult::unchecked: break;
    }
    return "";
}

BatchOutcome runBatch(std::size_t count, const BatchRules& rules,
                      const std::function<BatchResult(std::size_t)>& writeOne) {
    BatchOutcome outcome;
    outcome.results.assign(count, BatchResult::notAttempted);
    for (std::size_t i = 0; i < count; ++i) {
        if (rules.interrupted && rules.interrupted()) {
            outcome.interrupted = true;
            break;
        }
        outcome.results[i] = writeOne(i);
        if (rules.stopOnFailure && !batchDone(outcome.results[i])) break;
    }
    // An interrupt during the last device still ends the run as interrupted.
    if (!outcome.interrupted && rules.interrupted && rules.interrupted()) outcome.interrupted = true;
    return outcome;
}

bool batchDone(BatchResult result) {
    return result == BatchResult::written || result == BatchResult::unchanged;
}

std::string partialWriteText(std::int32_t blocksAccepted) {
    static constexpr std::array<std::string_view, 3> blocks = {"0", "3", "7"};
    if (blocksAccepted <= 0 || blocksAccepted >= 3) return {};
    const auto taken = static_cast<std::size_t>(blocksAccepted);
    const auto list = [](std::size_t from, std::size_t to) {
        std::string text;
        for (std::size_t i = from; i < to; ++i) {
            if (i > from) text += " and ";
            text += blocks[i];
        }
        return text;
    };
    return std::string(taken == 1 ? "the device took block " : "the device took blocks ") +
           list(0, taken) + " and keeps " + (taken == 1 ? "it" : "them") +
           " without restarting; " + (3 - taken == 1 ? "block " : "blocks ") + list(taken, 3) +
           " not written";
}

int batchExitStatus(const BatchOutcome& outcome, std::span<const VerifyResult> verified) {
    if (outcome.interrupted) return 130;
    const bool allWritten = std::all_of(outcome.results.begin(), outcome.results.end(),
                                        batchDone);
    const bool allVerified = std::all_of(verified.begin(), verified.end(),
                                         [](VerifyResult r) { return r == VerifyResult::verified; });
    return allWritten && allVerified ? 0 : 1;
}

}  // namespace tamro::cli
