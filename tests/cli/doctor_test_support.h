#pragma once

#include <vector>

#include "doctor_finding.h"

namespace tamro::cli {

// The findings that are problems, in order; the notes left out.
inline std::vector<Finding> problemsIn(const std::vector<Finding>& findings) {
    std::vector<Finding> problems;
    for (const Finding& finding : findings) {
        if (finding.problem) problems.push_back(finding);
    }
    return problems;
}

}  // namespace tamro::cli
