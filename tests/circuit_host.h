// A small circuit host on top of the test host: one device, its stamps mapped
// onto a dense system by unknown, and the two checks a simulator depends on.
//
// The circuit maps every stamp handle the device requested to its rows and
// columns, runs the full or the right-hand-side load at a given solution and
// assembles what the device loaded into dense residuals (f, q) and Jacobians
// (J = df/dx, C = dq/dx). On that it offers
//   - a central finite-difference check of every J and C entry against the
//     device's own residuals and charges;
//   - a bitwise comparison of the right-hand-side load with the full load;
//   - a DC Newton solve with chosen nodes held by voltage sources, gmin from
//     every node to ground and every other node and flow solved from zero.
//
// Conventions of the loads. A residual value v on a stamp (a, b) is a flow
// (or charge) from a to b: +v in row a, -v in row b. A Jacobian value v on a
// stamp with rows (rA, rB) and columns (cA, cB) adds +v at (rA, cA), -v at
// (rA, cB), -v at (rB, cA) and +v at (rB, cB). A null state variable is ground
// and has no row or column. Unknowns are the host indices of the state
// variables the stamps name; two node slots that share a state variable (or an
// index) are one unknown.
//
// Delays and doublets. A doublet value (LoadStaticDoublet, LoadDynamicDoublet)
// goes into J or C at its row and columns as a Jacobian value does. What the
// host's delay loads during a load goes into f and J: the delayed value that
// LoadDelay answered (in a DC analysis the present input) on the row of its
// delay handle, and each LoadDelay_dwrt derivative, as the host's matrix entry,
// at its doublet's row and columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "tests/test_host.h"

namespace testhost {

// Square matrix stored by rows.
struct DenseMatrix {
    size_t n = 0;
    std::vector<double> a;

    DenseMatrix() = default;
    explicit DenseMatrix(size_t size) : n(size), a(size * size, 0.0) {}
    double& operator()(size_t row, size_t col) { return a[row * n + col]; }
    double operator()(size_t row, size_t col) const { return a[row * n + col]; }
};

// Solves m x = b by LU decomposition with partial pivoting; m is overwritten
// by its factors and b by x. Answers false when a pivot is zero or not finite
// (a singular or poisoned system); `failedColumn`, when given, then gets the
// column of that pivot.
bool solveDense(DenseMatrix& m, std::vector<double>& b, size_t* failedColumn = nullptr);

// What one load handed the host, assembled by unknown.
struct Assembly {
    std::vector<double> f;  // resistive residuals
    std::vector<double> q;  // charges
    DenseMatrix J;          // df/dx
    DenseMatrix C;          // dq/dx
    // Sum of the magnitudes of the values that went into each row of f and q:
    // the scale of that row's rounding.
    std::vector<double> fScale;
    std::vector<double> qScale;
    // Loads the circuit could not place: unknown handles, a handle loaded
    // through a slot of another kind. Empty for a sound device.
    std::vector<std::string> problems;
};

// One Jacobian entry that disagrees with the finite difference.
struct FdMismatch {
    bool reactive = false;  // C against q, else J against f
    size_t row = 0;         // unknown numbers
    size_t col = 0;
    std::string rowName;
    std::string colName;
    double analytic = 0.0;
    double numeric = 0.0;
    double tolerance = 0.0;
    // |analytic - numeric| / tolerance; above 1 is a failure, infinite when
    // either side is not finite.
    double ratio = 0.0;
};

struct FdOptions {
    // Step of unknown j: relStep * max(|x_j|, stepScale).
    double relStep = 1e-6;
    double stepScale = 1.0;
    // An entry passes when |analytic - numeric| <= the largest of
    //   relTol * max(|analytic|, |numeric|),
    //   absTol (the floor the caller chooses for the entries' scale),
    //   rowRelTol * (largest |analytic| of the entry's row in its matrix), and
    //   roundoff * eps * (row scale) / step, the rounding of the difference.
    double relTol = 1e-5;
    double absTol = 0.0;
    double rowRelTol = 0.0;
    double roundoff = 64.0;
    size_t maxReported = 10;
};

struct FdReport {
    size_t checked = 0;                 // entries where either side is non-zero
    size_t failureCount = 0;
    std::vector<FdMismatch> failures;   // worst first, at most maxReported
    FdMismatch worst;                   // the largest ratio, failing or not (-1: none checked)
    std::vector<std::string> problems;  // assembly problems of any load
    bool passed() const { return failureCount == 0 && problems.empty(); }
    std::string summary() const;
};

struct RhsReport {
    std::vector<std::string> differences;  // empty when bit-identical
    bool identical() const { return differences.empty(); }
    std::string summary() const;
};

// A node held at a fixed potential.
struct DcSource {
    const s_ZRT_StateVar* node;
    double volts;
};

struct DcOptions {
    double gmin = 1e-12;  // from every node unknown (no flow) to ground
    int maxIterations = 50;
    // When positive, an update whose largest node change exceeds this is
    // scaled down as a whole to it.
    double maxVoltageStep = 0.0;
    // Convergence: every update |dx| <= tol + relTol * |x| and every residual
    // |F| <= tol + relTol * (row scale), with voltageTol for node updates and
    // flow-row residuals and currentTol for flow updates and node rows.
    double voltageTol = 1e-9;
    double currentTol = 1e-12;
    double relTol = 1e-9;
};

struct DcResult {
    bool converged = false;
    int iterations = 0;                 // Newton updates made
    std::string failure;                // why it did not converge
    std::vector<double> residualNorms;  // max |F| over free rows: at the start and after each update
    std::vector<double> updateNorms;    // max |dx| of each update
    std::vector<double> x;              // by unknown
    std::vector<double> deviceResidual; // the device's own f at x (without gmin)
    // Once converged, the current each source drives into the device, in the
    // order given: the device's residual at the held node.
    std::vector<double> sourceCurrents;
};

// The device terminals of a transistor sweep.
struct Terminals {
    const s_ZRT_StateVar* d;
    const s_ZRT_StateVar* g;
    const s_ZRT_StateVar* s;
};

struct IdVdPoint {
    double vg = 0.0;
    double vd = 0.0;
    double drainCurrent = 0.0;  // into the drain terminal; NaN when not converged
    DcResult result;
};

class Circuit {
public:
    enum class LoadKind { Full, RhsOnly };

    struct Unknown {
        const s_ZRT_StateVar* var;
        uint32_t index;  // the host's
        bool isFlow;     // a branch or system variable, not a node potential
        std::string name;
    };

    // Runs a module's set-up callbacks in the order a host does: topology,
    // branches, system state variables, topology report, stamps, initial.
    // Answers what finalizeAnalogTopology answered.
    static int32_t setUp(s_ZRT_DeviceInst* inst, void* hostData = nullptr);

    // Maps the stamps the host has recorded for `inst` so far.
    Circuit(TestHost& host, s_ZRT_DeviceInst* inst);

    size_t size() const { return unknowns_.size(); }
    const std::vector<Unknown>& unknowns() const { return unknowns_; }
    // The unknown of a state variable, or -1 when no stamp names it.
    int find(const s_ZRT_StateVar* var) const;
    // The same, throwing std::invalid_argument when there is none.
    size_t at(const s_ZRT_StateVar* var) const;
    // A name for reports (default: the variable's or its branch's name, else
    // "#index").
    void name(const s_ZRT_StateVar* var, const std::string& label);

    std::vector<double> zeros() const { return std::vector<double>(size(), 0.0); }
    void set(std::vector<double>& x, const s_ZRT_StateVar* var, double value) const { x.at(at(var)) = value; }
    double get(const std::vector<double>& x, const s_ZRT_StateVar* var) const { return x.at(at(var)); }

    // Runs one load at solution x (by unknown) and assembles it. The host's
    // load records are cleared first.
    Assembly load(const std::vector<double>& x, LoadKind kind = LoadKind::Full);

    // Compares every J and C entry at x with central differences of f and q.
    // The host's answers (IsInitialStep among them) are the same for every
    // load of the check.
    FdReport checkJacobian(const std::vector<double>& x, const FdOptions& options = {});

    // Runs the full load, then the right-hand-side load, at x and compares
    // the residual loads value by value, bit for bit.
    RhsReport checkRhsLoad(const std::vector<double>& x);

    // Newton from zero with `sources` held; plain steps unless limited.
    DcResult solveDc(const std::vector<DcSource>& sources, const DcOptions& options = {});

    // One DC solve per (gate, drain) pair, each from zero, source at vs; the
    // points come gate-major.
    std::vector<IdVdPoint> idVdFamily(const Terminals& t, const std::vector<double>& gateVoltages,
                                      const std::vector<double>& drainVoltages, double vs = 0.0,
                                      const DcOptions& options = {});

private:
    struct StampMap {
        StampKind kind;
        bool reactive;
        int rowA, rowB, colA, colB;  // unknown numbers, -1 for ground
    };

    int unknownOf(const s_ZRT_StateVar* var);
    void place(Assembly& out, const LoadRecord& record) const;
    // The delay loads and derivatives recorded from these positions on.
    void placeDelays(Assembly& out, size_t firstLoad, size_t firstDeriv) const;

    TestHost& host_;
    s_ZRT_DeviceInst* inst_;
    std::vector<Unknown> unknowns_;
    std::unordered_map<uint32_t, size_t> byIndex_;
    std::unordered_map<ZRT_Handle, StampMap> stamps_;
};

// The order of convergence shown by the last three values of a sequence of
// norms above `floor`: log(e3/e2) / log(e2/e1); 2 for quadratic, 1 for
// linear. NaN when fewer than three values lie above the floor. The update
// norms of a Newton solve estimate its errors and suit it best; pick the
// floor above the rounding level of the unknowns.
double convergenceOrder(const std::vector<double>& norms, double floor);

// Whether a Newton solve closed quadratically: near the solution (updates of
// 1e-2 and below) each update is at most ten times the square of the one
// before it, down to the rounding of the unknowns (1e-12).
bool quadraticNearTheSolution(const std::vector<double>& updates);

}  // namespace testhost
