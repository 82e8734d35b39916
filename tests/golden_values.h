// The values every model hands the host at a fixed set of operating points,
// written as text: each residual, Jacobian value and noise power of the full
// load and the right-hand-side load, what a birch model passes its delay,
// and the saved state of one point. The golden test compares them bit for
// bit with tests/golden/model_values.txt; golden_regen writes that file anew
// (only after a deliberate change of the equations: see golden_regen.cpp).
#pragma once

#include <string>
#include <vector>

#include "tests/model_host.h"

namespace testhost {

// One line of values: "<label> <hex double> ...", or "saved <hex bytes>" (one
// word).
struct GoldenLine {
    std::string label;
    std::vector<std::string> values;
};

// The lines of one model, every point in order.
std::vector<GoldenLine> goldenLines(const ModuleSpec& spec);

// The lines of a golden file for one model (those between its "model" line
// and the next); empty when the file or the model is missing.
std::vector<GoldenLine> readGoldenLines(const std::string& path, const std::string& model);

// Writes the file for all nine models.
bool writeGoldenFile(const std::string& path);

// Whether two written values are the same double, bit for bit (two NaNs of
// the same sign count as one); false for a word that is no double.
bool sameBits(const std::string& a, const std::string& b);

}  // namespace testhost
