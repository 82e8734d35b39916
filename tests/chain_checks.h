// Checks shared by the models that evaluate the cedar chain (cedar_a,
// cedar_b, cedar_c, larch_a). Quantities are named by cedar_a's numbering of
// the model variables; each model keeps them at its own index.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "tests/model_fixture.h"

namespace testhost {

// Where a model keeps the quantity that cedar_a keeps in its model variable
// `role`; -1 when it keeps none. cedar_b leaves out ten roles, cedar_c seven
// and adds the base of M59's middle range behind M58 and its factor behind
// M61; larch_a adds its factor constant behind role 1.
int chainSlot(const std::string& model, int role);
double chainVar(ModelCircuit& mc, int role);

// A model's initial-step paths: the integer parameters that select the path
// and multiply the per-finger elements, the one that gives the factor (-1:
// none), the numerators of the source inductance and the gate resistance
// base.
struct ChainPaths {
    const char* name;
    int selectorParam;
    int multiplierParam;
    int factorParam;
    double numHigh, numLow, numSecond, base;
};

// Every path (0, 1, 2 and two others) at P5 = 1, 2 and 6 with the multiplier
// 0, observed through the source inductance D[0], the gate and drain
// inductances D[4] and D[5] and the gate resistance G[1]; an unknown path
// keeps the source inductance of an earlier initial step.
void checkInitialStepPaths(const ChainPaths& p);

// Noise powers and contributions on the residuals the sources drive, the five
// DoNoise questions outside a noise analysis, and every value doubled at
// multiplicity 2.
void checkNoiseAndMultiplicity(const char* name, const std::array<uint8_t, 4>& noiseRR);

// The soft breakdown at 4.999, 5, 200 and 250 V, and the Jacobian on its
// exponential and linear stretches.
void checkSoftBreakdown(const char* name);

// An instance whose s-sii branch someone created first (and numbered, when
// `preNumbered`): the branch keeps its variable and its number, or is
// numbered at its turn; it is not reported, and its loads leave out the four
// terms of its equation while its row keeps the source resistance; the
// Jacobian still matches the residuals.
void checkCollapsedSourceBranch(const char* name, bool preNumbered);

}  // namespace testhost
