#include "search_progress.h"

#include <string>

namespace tamro {

std::string searchProgressText(const SearchProgress& progress) {
    std::string text = "search: " + std::to_string(progress.replies) +
                       (progress.replies == 1 ? " reply" : " replies");
    if (progress.readsStarted > 0) {
        text += ", read " + std::to_string(progress.readsDone) + " of " +
                std::to_string(progress.readsStarted);
    }
    return text;
}

void SearchProgressLine::attach(SearchObserver& observer) {
    if (!enabled_) return;
    observer.onProgress = [this](const SearchProgress& progress) { show(progress); };
}

void SearchProgressLine::show(const SearchProgress& progress) {
    if (!enabled_) return;
    if (progress.finished) return finish();
    // Carriage return and erase-to-end: the line is rewritten, never scrolled.
    out_ << '\r' << searchProgressText(progress) << "\x1b[K" << std::flush;
    shown_ = true;
}

void SearchProgressLine::finish() {
    if (!shown_) return;
    out_ << "\r\x1b[K" << std::flush;
    shown_ = false;
}

}  // namespace tamro
