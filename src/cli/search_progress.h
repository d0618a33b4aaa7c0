#pragma once

#include <ostream>
#include <string>

#include "protocol/device_search.h"

namespace tamro {

// Progress of a search on one line of `out`, rewritten in place:
// "search: 12 replies, read 9 of 11". Only where `out` is a terminal; the
// line is wiped when the search reports that it finished, so messages and
// results start on a clean line.
class SearchProgressLine {
public:
    SearchProgressLine(std::ostream& out, bool enabled) : out_(out), enabled_(enabled) {}
    ~SearchProgressLine() { finish(); }
    SearchProgressLine(const SearchProgressLine&) = delete;
    SearchProgressLine& operator=(const SearchProgressLine&) = delete;

    // Installs the line on `observer` (keeps whatever else it watches).
    void attach(SearchObserver& observer);
    void show(const SearchProgress& progress);
    void finish();

private:
    std::ostream& out_;
    bool enabled_;
    bool shown_ = false;
};

// The text of one progress line.
std::string searchProgressText(const SearchProgress& progress);

}  // namespace tamro
