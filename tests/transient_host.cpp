#include "tests/transient_host.h"

#include <cmath>
#include <stdexcept>

namespace testhost {

namespace {

// One Newton solve of f(x) + alpha (q(x) - qPrev) - qdotPrevTerm = 0 from x;
// alpha 0 is a static solve. Answers false with a reason on failure; on
// success x is the solution and q its charge.
bool solvePoint(Circuit& circuit, std::vector<double>& x, double alpha, const std::vector<double>& qPrev,
                const std::vector<double>& qdotCarry, const TransientOptions& options, std::vector<double>& q,
                int& iterations, std::string& failure) {
    const size_t n = circuit.size();
    for (iterations = 0; iterations <= options.maxIterations; ++iterations) {
        Assembly a = circuit.load(x);
        if (!a.problems.empty()) {
            failure = a.problems.front();
            return false;
        }
        q = a.q;
        std::vector<double> rhs(n);
        DenseMatrix m = a.J;
        for (size_t i = 0; i < n; ++i) {
            double residual = a.f[i];
            if (alpha != 0.0) {
                residual += alpha * (a.q[i] - qPrev[i]) - qdotCarry[i];
                for (size_t j = 0; j < n; ++j) {
                    m(i, j) += alpha * a.C(i, j);
                }
            }
            rhs[i] = -residual;
        }
        if (!solveDense(m, rhs)) {
            failure = "singular system";
            return false;
        }
        bool small = true;
        for (size_t i = 0; i < n; ++i) {
            x[i] += rhs[i];
            small = small && std::fabs(rhs[i]) <= options.tol * (1.0 + std::fabs(x[i]));
        }
        if (small) {
            q = circuit.load(x).q;
            return true;
        }
    }
    failure = "no convergence";
    return false;
}

void accept(TestHost& host, s_ZRT_DeviceInst* inst) {
    if (inst->pMD->tranAcceptPoint != nullptr) {
        inst->pMD->tranAcceptPoint(inst, &host.loader);
    }
}

OperatorDevice* g_device = nullptr;

void deviceLoad(s_ZRT_DeviceInst*, const s_ZRT_ContribLoader* loader) { g_device->load(loader, true); }
void deviceLoadRhs(s_ZRT_DeviceInst*, const s_ZRT_ContribLoader* loader) { g_device->load(loader, false); }
void deviceAccept(s_ZRT_DeviceInst*, const s_ZRT_ContribLoader* loader) {
    if (g_device->accept) {
        g_device->accept(loader);
    }
}

}  // namespace

OperatorDevice::OperatorDevice() {
    if (g_device != nullptr) {
        throw std::logic_error("only one OperatorDevice may be active");
    }
    g_device = this;
    md.genericAnalogLoad = deviceLoad;
    md.genericAnalogLoadRHS = deviceLoadRhs;
    md.tranAcceptPoint = deviceAccept;
}

OperatorDevice::~OperatorDevice() { g_device = nullptr; }

TransientResult runTransient(TestHost& host, Circuit& circuit, s_ZRT_DeviceInst* inst,
                             const TransientOptions& options) {
    TransientResult result;
    const size_t n = circuit.size();
    std::vector<double> x(n, 0.0);
    std::vector<double> q(n, 0.0);
    std::vector<double> qdot(n, 0.0);
    const std::vector<double> zero(n, 0.0);

    host.time = 0.0;
    host.analysisMask = options.dcMask;
    TimePoint point;
    if (!solvePoint(circuit, x, 0.0, zero, zero, options, q, point.iterations, result.failure)) {
        result.failure = "operating point: " + result.failure;
        return result;
    }
    host.analysisMask = options.tranMask;
    accept(host, inst);
    point.x = x;
    result.points.push_back(point);

    for (int k = 1; k <= options.steps; ++k) {
        const double h = options.step;
        host.time = k * h;
        const bool trapezoidal = options.method == Integration::Trapezoidal && k > 1;
        const double alpha = trapezoidal ? 2.0 / h : 1.0 / h;
        const std::vector<double>& carry = trapezoidal ? qdot : zero;
        std::vector<double> qNew;
        TimePoint next;
        next.time = host.time;
        if (!solvePoint(circuit, x, alpha, q, carry, options, qNew, next.iterations, result.failure)) {
            result.failure = "t = " + std::to_string(host.time) + ": " + result.failure;
            return result;
        }
        for (size_t i = 0; i < n; ++i) {
            qdot[i] = alpha * (qNew[i] - q[i]) - carry[i];
        }
        q = qNew;
        accept(host, inst);
        next.x = x;
        result.points.push_back(next);
    }
    result.converged = true;
    return result;
}

}  // namespace testhost
