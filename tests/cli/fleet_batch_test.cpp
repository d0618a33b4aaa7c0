#include <gtest/gtest.h>

#include <vector>

#include "fleet_batch.h"

namespace tamro::cli {
namespace {

using R = BatchResult;

// A batch whose devices end as `script` says, recording which were started.
struct ScriptedBatch {
    std::vector<R> script;
    std::vector<std::size_t> started;

    BatchOutcome run(const BatchRules& rules) {
        return runBatch(script.size(), rules, [this](std::size_t i) {
            started.push_back(i);
            return script[i];
        });
    }
};

TEST(FleetBatch, AFailedDeviceDoesNotStopTheOthers) {
    ScriptedBatch batch{{R::written, R::failed, R::written, R::refused, R::written}, {}};
    const BatchOutcome outcome = batch.run({});
    EXPECT_EQ(batch.started, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(outcome.results, batch.script);
    EXPECT_FALSE(outcome.interrupted);
    EXPECT_EQ(batchExitStatus(outcome, {}), 1);
}

TEST(FleetBatch, StopOnFailureLeavesTheRestNotAttempted) {
    ScriptedBatch batch{{R::written, R::failed, R::written}, {}};
    BatchRules rules;
    rules.stopOnFailure = true;
    const BatchOutcome outcome = batch.run(rules);
    EXPECT_EQ(batch.started, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(outcome.results, (std::vector<R>{R::written, R::failed, R::notAttempted}));
    EXPECT_EQ(batchExitStatus(outcome, {}), 1);
    EXPECT_EQ(resultText(outcome.results[2]), "not attempted");

    // A late refusal is not a write either.
    ScriptedBatch refused{{R::refused, R::written}, {}};
    EXPECT_EQ(refused.run(rules).results, (std::vector<R>{R::refused, R::notAttempted}));
}

TEST(FleetBatch, AnInterruptFinishesTheDeviceInProgressAndStartsNoOther) {
    ScriptedBatch batch{{R::written, R::written, R::written, R::written}, {}};
    BatchRules rules;
    // Arrives while device 1 is written.
    rules.interrupted = [&batch] { return batch.started.size() >= 2; };
    const BatchOutcome outcome = batch.run(rules);
    EXPECT_EQ(batch.started, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(outcome.results,
              (std::vector<R>{R::written, R::written, R::notAttempted, R::notAttempted}));
    EXPECT_TRUE(outcome.interrupted);
    EXPECT_EQ(batchExitStatus(outcome, {}), 130);
}

TEST(FleetBatch, AnInterruptDuringTheLastDeviceStillEndsAsInterrupted) {
    ScriptedBatch batch{{R::written}, {}};
    BatchRules rules;
    rules.interrupted = [&batch] { return !batch.started.empty(); };
    const BatchOutcome outcome = batch.run(rules);
    EXPECT_EQ(outcome.results, (std::vector<R>{R::written}));
    EXPECT_TRUE(outcome.interrupted);
    EXPECT_EQ(batchExitStatus(outcome, {}), 130);
}

TEST(FleetBatch, AnUnchangedDeviceCountsAsDoneAndNeverStopsTheBatch) {
    ScriptedBatch batch{{R::unchanged, R::written, R::unchanged}, {}};
    BatchRules rules;
    rules.stopOnFailure = true;
    const BatchOutcome outcome = batch.run(rules);
    EXPECT_EQ(batch.started, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(outcome.results, batch.script);
    EXPECT_EQ(batchExitStatus(outcome, {}), 0);
    EXPECT_EQ(resultText(R::unchanged), "unchanged");
    EXPECT_TRUE(batchDone(R::unchanged));
    EXPECT_FALSE(batchDone(R::notAttempted));

    // Unchanged beside a failure is still a failed batch.
    ScriptedBatch mixed{{R::unchanged, R::failed}, {}};
    EXPECT_EQ(batchExitStatus(mixed.run({}), {}), 1);
}

TEST(FleetBatch, ExitStatusCountsWhatWasVerified) {
    ScriptedBatch batch{{R::written, R::written}, {}};
    const BatchOutcome outcome = batch.run({});
    EXPECT_EQ(batchExitStatus(outcome, {}), 0);
    const std::vector<VerifyResult> good = {VerifyResult::verified, VerifyResult::verified};
    EXPECT_EQ(batchExitStatus(outcome, good), 0);
    for (const VerifyResult bad :
         {VerifyResult::moved, VerifyResult::missing, VerifyResult::differing,
          VerifyResult::unchecked}) {
        const std::vector<VerifyResult> checks = {VerifyResult::verified, bad};
        EXPECT_EQ(batchExitStatus(outcome, checks), 1) << resultText(bad);
    }
}

TEST(FleetBatch, APartialWriteNamesTheBlocksTheDeviceKept) {
    EXPECT_EQ(partialWriteText(0), "");
    EXPECT_EQ(partialWriteText(3), "");
    EXPECT_EQ(partialWriteText(1),
              "the device took block 0 and keeps it without restarting; blocks 3 and 7 not written");
    EXPECT_EQ(partialWriteText(2),
              "the device took blocks 0 and 3 and keeps them without restarting; block 7 not "
              "written");
}

}  // namespace
}  // namespace tamro::cli
