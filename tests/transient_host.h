// A short transient on the circuit host: the operating point at t = 0, then
// fixed time steps, each solved by Newton on f(x) + dq/dt = 0 and accepted
// through the module's tranAcceptPoint, as a simulator drives a device.
//
// The charge derivative is the integration method's: backward Euler
// (q_n - q_{n-1}) / h, or the trapezoidal rule 2 (q_n - q_{n-1}) / h -
// qdot_{n-1} (its first step taken by backward Euler). The operating point
// solves f(x) = 0 under `dcMask` and keeps the charge it loads, so an
// operator that loads its initial charge at t = 0 starts the integration
// there.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/circuit_host.h"

namespace testhost {

enum class Integration { BackwardEuler, Trapezoidal };

struct TransientOptions {
    double step = 1e-3;
    int steps = 100;
    Integration method = Integration::Trapezoidal;
    uint32_t dcMask = ZRT_ANALYSIS_DC | ZRT_ANALYSIS_STATIC;  // the operating point
    uint32_t tranMask = ZRT_ANALYSIS_TRAN;                     // the time steps
    int maxIterations = 30;
    double tol = 1e-12;  // an update |dx| <= tol * (1 + |x|) has converged
};

struct TimePoint {
    double time = 0.0;
    std::vector<double> x;  // by unknown of the circuit
    int iterations = 0;
};

struct TransientResult {
    bool converged = false;
    std::string failure;
    std::vector<TimePoint> points;  // the operating point first
};

// A device made of operator calls, for operators that no module uses: its
// module descriptor's full and right-hand-side loads run `load` (with
// `full` telling which) and its accept runs `accept`. One at a time.
class OperatorDevice {
public:
    OperatorDevice();
    ~OperatorDevice();
    OperatorDevice(const OperatorDevice&) = delete;
    OperatorDevice& operator=(const OperatorDevice&) = delete;

    std::function<void(const s_ZRT_ContribLoader* loader, bool full)> load;
    std::function<void(const s_ZRT_ContribLoader* loader)> accept;
    s_ZRT_ModuleDesc md{};
};

// Runs the transient of the circuit's device. The host's time and analysis
// mask follow the run; every converged point is accepted.
TransientResult runTransient(TestHost& host, Circuit& circuit, s_ZRT_DeviceInst* inst,
                             const TransientOptions& options = {});

}  // namespace testhost
