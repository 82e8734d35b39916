// The topology checks every model family's tests run: a recording host that
// answers each stamp request with the next handle, and what the module must
// have created, reported, requested and wired.
#pragma once

#include <string>
#include <vector>

#include "tests/model_host.h"

namespace testhost {

struct TopologyExpectation {
    const char* model;
    std::vector<std::string> branches;  // branch state variables, in creation order
    int firstBranchSlot;                // their first slot in the second node array
    std::vector<std::string> report;    // reported branch names, in order
    // Request numbers of the stamps at each list position, and the list
    // positions whose flag is 1.
    std::vector<int> rr, rd, jr, jd;
    std::vector<int> flagRR, flagRD, flagJR, flagJD;
    std::vector<int> noiseRR;  // resistive residual positions of sources 0 to 3
};

// Sets an instance up with a sentinel in slot 3 of the second node array and
// checks the branches and their numbering, the report, every stamp request
// (kind, list position, flags), the noise wiring, and that neither the
// sentinel nor dii reaches any call or any solution read of both loads.
void checkTopology(const TopologyExpectation& e);

}  // namespace testhost
