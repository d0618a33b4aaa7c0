#include "scripted_front_end.h"

#include <gtest/gtest.h>

#include <utility>

namespace tamro::testing {

ScriptedFrontEnd::ScriptedFrontEnd(Workers workers)
    : workers_(workers), dialogThread_(std::this_thread::get_id()) {}

ScriptedFrontEnd::~ScriptedFrontEnd() {
    if (worker_.joinable()) {
        ADD_FAILURE() << "a worker was left running";
        finishWorker();
    }
    if (!answers_.empty())
        ADD_FAILURE() << answers_.size() << " scripted answer(s) never asked for";
}

MessageAnswer ScriptedFrontEnd::showMessage(std::string_view text, MessageButtons buttons) {
    messages.push_back({std::string(text), buttons, onDialogThread()});
    if (buttons == MessageButtons::ok) return MessageAnswer::ok;
    if (answers_.empty()) {
        ADD_FAILURE() << "no answer scripted for the confirmation: " << text;
        return MessageAnswer::cancel;
    }
    const MessageAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void ScriptedFrontEnd::startWorker(std::function<void()> work) {
    ++workersStarted;
    if (workers_ == Workers::inlineOnCaller) {
        work();
        return;
    }
    if (worker_.joinable()) {
        ADD_FAILURE() << "a second worker while one runs";
        finishWorker();
    }
    workerEnded_ = false;
    worker_ = std::thread([this, work = std::move(work)] {
        work();
        const std::lock_guard lock(mutex_);
        workerEnded_ = true;
        changed_.notify_all();
    });
}

void ScriptedFrontEnd::runOnDialogThread(std::function<void()> task) {
    if (onDialogThread()) {
        task();
        return;
    }
    Task queued{std::move(task)};
    std::unique_lock lock(mutex_);
    pending_.push_back(&queued);
    changed_.notify_all();
    changed_.wait(lock, [&] { return queued.done; });
}

void ScriptedFrontEnd::finishWorker() {
    if (!worker_.joinable()) return;
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [&] { return !pending_.empty() || workerEnded_; });
        if (pending_.empty()) break;
        Task* task = pending_.front();
        pending_.pop_front();
        lock.unlock();
        task->run();
        lock.lock();
        task->done = true;
        changed_.notify_all();
    }
    lock.unlock();
    worker_.join();
}

std::vector<std::string> ScriptedFrontEnd::texts() const {
    std::vector<std::string> result;
    for (const ShownMessage& message : messages) result.push_back(message.text);
    return result;
}

}  // namespace tamro::testing
