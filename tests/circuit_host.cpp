#include "tests/circuit_host.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace testhost {

namespace {

const double kEps = std::numeric_limits<double>::epsilon();

// The C99 formats of the C library in use: on MinGW, "printf" would check
// against msvcrt's own, which lacks %zu.
#ifdef __MINGW32__
std::string format(const char* fmt, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));
#else
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
#endif
std::string format(const char* fmt, ...) {
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

const char* slotName(LoadSlot slot) {
    switch (slot) {
    case LoadSlot::StaticRhs: return "LoadStaticRhs";
    case LoadSlot::DynamicRhs: return "LoadDynamicRhs";
    case LoadSlot::StaticJacobian: return "LoadStaticJacobian";
    case LoadSlot::StaticDoublet: return "LoadStaticDoublet";
    case LoadSlot::DynamicJacobian: return "LoadDynamicJacobian";
    case LoadSlot::DynamicDoublet: return "LoadDynamicDoublet";
    }
    return "?";
}

bool isResidualSlot(LoadSlot slot) { return slot == LoadSlot::StaticRhs || slot == LoadSlot::DynamicRhs; }

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void addAt(std::vector<double>& v, int i, double value) {
    if (i >= 0) {
        v[static_cast<size_t>(i)] += value;
    }
}

void addAt(DenseMatrix& m, int row, int col, double value) {
    if (row >= 0 && col >= 0) {
        m(static_cast<size_t>(row), static_cast<size_t>(col)) += value;
    }
}

}  // namespace

// ---- dense solve ------------------------------------------------------------

bool solveDense(DenseMatrix& m, std::vector<double>& b, size_t* failedColumn) {
    const size_t n = m.n;
    if (b.size() != n) {
        throw std::invalid_argument("solveDense: right-hand side of the wrong size");
    }
    for (size_t k = 0; k < n; ++k) {
        size_t pivot = k;
        for (size_t r = k + 1; r < n; ++r) {
            if (std::fabs(m(r, k)) > std::fabs(m(pivot, k))) {
                pivot = r;
            }
        }
        const double p = m(pivot, k);
        if (p == 0.0 || !std::isfinite(p)) {
            if (failedColumn != nullptr) {
                *failedColumn = k;
            }
            return false;
        }
        if (pivot != k) {
            for (size_t c = 0; c < n; ++c) {
                std::swap(m(k, c), m(pivot, c));
            }
            std::swap(b[k], b[pivot]);
        }
        for (size_t r = k + 1; r < n; ++r) {
            const double factor = m(r, k) / p;
            if (factor == 0.0) {
                continue;
            }
            m(r, k) = factor;
            for (size_t c = k + 1; c < n; ++c) {
                m(r, c) -= factor * m(k, c);
            }
            b[r] -= factor * b[k];
        }
    }
    for (size_t k = n; k-- > 0;) {
        double sum = b[k];
        for (size_t c = k + 1; c < n; ++c) {
            sum -= m(k, c) * b[c];
        }
        b[k] = sum / m(k, k);
    }
    return true;
}

// ---- mapping ------------------------------------------------------------------

int32_t Circuit::setUp(s_ZRT_DeviceInst* inst, void* hostData) {
    s_ZRT_ModuleDesc* md = inst->pMD;
    const int32_t result = md->finalizeAnalogTopology != nullptr ? md->finalizeAnalogTopology(inst) : 0;
    for (ZRT_InstHostDataFn step : {md->createBranches, md->createSystemStateVars, md->reportTopology,
                                    md->setAnalogStamp}) {
        if (step != nullptr) {
            step(inst, hostData);
        }
    }
    if (md->doAnalogInitial != nullptr) {
        md->doAnalogInitial(inst);
    }
    return result;
}

Circuit::Circuit(TestHost& host, s_ZRT_DeviceInst* inst) : host_(host), inst_(inst) {
    for (const StampRecord& record : host.stamps) {
        if (record.inst != inst) {
            continue;
        }
        StampMap map{record.kind, record.kind == StampKind::Jacobian && record.flag1 != 0, -1, -1, -1, -1};
        switch (record.kind) {
        case StampKind::StaticRhs:
        case StampKind::DynamicRhs:
            map.rowA = unknownOf(record.rowA);
            map.rowB = unknownOf(record.rowB);
            break;
        case StampKind::Jacobian:
            map.rowA = unknownOf(record.rowA);
            map.rowB = unknownOf(record.rowB);
            map.colA = unknownOf(record.colA);
            map.colB = unknownOf(record.colB);
            break;
        // ---- delay and doublet stamps ----
        case StampKind::Delay:
            map.rowA = unknownOf(record.rowA);
            break;
        case StampKind::Doublet:
            map.rowA = unknownOf(record.rowA);
            map.colA = unknownOf(record.colA);
            map.colB = unknownOf(record.colB);
            break;
        // ---- end of delay and doublet stamps ----
        }
        stamps_[record.handle] = map;
    }
    // Flows: branch variables and the variables the host made on request.
    for (Unknown& u : unknowns_) {
        for (const SystemVarRecord& sv : host.systemVars) {
            u.isFlow = u.isFlow || sv.index == u.index;
        }
        for (const BranchRecord& br : host.branches) {
            u.isFlow = u.isFlow || br.index == u.index;
        }
    }
}

int Circuit::unknownOf(const s_ZRT_StateVar* var) {
    if (var == nullptr) {
        return -1;
    }
    auto it = byIndex_.find(var->index);
    if (it != byIndex_.end()) {
        return static_cast<int>(it->second);
    }
    std::string label;
    if (var->name != nullptr) {
        label = var->name;
    } else if (var->branch != nullptr && var->branch->name != nullptr) {
        label = var->branch->name;
    } else {
        label = "#" + std::to_string(var->index);
    }
    byIndex_[var->index] = unknowns_.size();
    unknowns_.push_back({var, var->index, var->branch != nullptr, label});
    return static_cast<int>(unknowns_.size() - 1);
}

int Circuit::find(const s_ZRT_StateVar* var) const {
    if (var == nullptr) {
        return -1;
    }
    auto it = byIndex_.find(var->index);
    return it != byIndex_.end() ? static_cast<int>(it->second) : -1;
}

size_t Circuit::at(const s_ZRT_StateVar* var) const {
    const int u = find(var);
    if (u < 0) {
        throw std::invalid_argument("no stamp of the device names this state variable");
    }
    return static_cast<size_t>(u);
}

void Circuit::name(const s_ZRT_StateVar* var, const std::string& label) { unknowns_.at(at(var)).name = label; }

// ---- assembly -----------------------------------------------------------------

void Circuit::place(Assembly& out, const LoadRecord& record) const {
    // What each slot expects of a handle's request.
    StampKind expected = StampKind::StaticRhs;
    bool reactive = false;
    switch (record.slot) {
    case LoadSlot::StaticRhs: expected = StampKind::StaticRhs; break;
    case LoadSlot::DynamicRhs: expected = StampKind::DynamicRhs; break;
    case LoadSlot::StaticJacobian: expected = StampKind::Jacobian; break;
    case LoadSlot::DynamicJacobian: expected = StampKind::Jacobian; reactive = true; break;
    case LoadSlot::StaticDoublet: expected = StampKind::Doublet; break;
    case LoadSlot::DynamicDoublet: expected = StampKind::Doublet; reactive = true; break;
    }
    for (size_t k = 0; k < record.handles.size(); ++k) {
        auto it = stamps_.find(record.handles[k]);
        if (it == stamps_.end()) {
            out.problems.push_back(format("%s value %zu: handle %p was not handed out for this device",
                                          slotName(record.slot), k, record.handles[k]));
            continue;
        }
        const StampMap& s = it->second;
        // A doublet's request says nothing of the matrix; its slot does.
        if (s.kind != expected || (s.kind != StampKind::Doublet && s.reactive != reactive)) {
            out.problems.push_back(format("%s value %zu: handle %p was requested for another kind of entry",
                                          slotName(record.slot), k, record.handles[k]));
            continue;
        }
        const double v = record.values[k];
        switch (record.slot) {
        case LoadSlot::StaticRhs:
        case LoadSlot::DynamicRhs: {
            const bool charge = record.slot == LoadSlot::DynamicRhs;
            std::vector<double>& r = charge ? out.q : out.f;
            std::vector<double>& scale = charge ? out.qScale : out.fScale;
            addAt(r, s.rowA, v);
            addAt(r, s.rowB, -v);
            addAt(scale, s.rowA, std::fabs(v));
            addAt(scale, s.rowB, std::fabs(v));
            break;
        }
        default: {
            DenseMatrix& m = reactive ? out.C : out.J;
            addAt(m, s.rowA, s.colA, v);
            addAt(m, s.rowA, s.colB, -v);
            addAt(m, s.rowB, s.colA, -v);
            addAt(m, s.rowB, s.colB, v);
            break;
        }
        }
    }
}

Assembly Circuit::load(const std::vector<double>& x, LoadKind kind) {
    if (x.size() != size()) {
        throw std::invalid_argument("solution of the wrong size");
    }
    for (const Unknown& u : unknowns_) {
        if (host_.solution.size() <= u.index) {
            host_.solution.resize(u.index + 1, 0.0);
        }
    }
    for (size_t i = 0; i < size(); ++i) {
        host_.solution[unknowns_[i].index] = x[i];
    }
    host_.loads.clear();
    s_ZRT_ModuleDesc* md = inst_->pMD;
    ZRT_InstLoaderFn fn = kind == LoadKind::Full ? md->genericAnalogLoad : md->genericAnalogLoadRHS;
    Assembly out;
    const size_t n = size();
    out.f.assign(n, 0.0);
    out.q.assign(n, 0.0);
    out.fScale.assign(n, 0.0);
    out.qScale.assign(n, 0.0);
    out.J = DenseMatrix(n);
    out.C = DenseMatrix(n);
    if (fn == nullptr) {
        out.problems.push_back("the module has no such load");
        return out;
    }
    const size_t delayLoadsBefore = host_.delayLoads.size();
    const size_t delayDerivsBefore = host_.delayDerivs.size();
    fn(inst_, &host_.loader);
    for (const LoadRecord& record : host_.loads) {
        if (record.inst == inst_) {
            place(out, record);
        }
    }
    placeDelays(out, delayLoadsBefore, delayDerivsBefore);
    return out;
}

// ---- delay loads ----------------------------------------------------------------

// What the host's delay loaded during this load: the delayed value (in a DC
// analysis the present input) on the row of its delay handle, beside the
// operator's own residual there, and each input derivative, as the host's
// matrix entry, at the doublet's row and columns as a Jacobian stamp places
// it.
void Circuit::placeDelays(Assembly& out, size_t firstLoad, size_t firstDeriv) const {
    auto mapOf = [&](ZRT_Handle handle, StampKind kind, const char* what) -> const StampMap* {
        auto it = stamps_.find(handle);
        if (it == stamps_.end() || it->second.kind != kind) {
            out.problems.push_back(format("%s: handle %p is not a %s stamp of this device", what, handle,
                                          kind == StampKind::Delay ? "delay" : "doublet"));
            return nullptr;
        }
        return &it->second;
    };
    for (size_t k = firstLoad; k < host_.delayLoads.size(); ++k) {
        const DelayLoadRecord& d = host_.delayLoads[k];
        if (d.inst != inst_) {
            continue;
        }
        if (const StampMap* s = mapOf(d.handle, StampKind::Delay, "LoadDelay")) {
            addAt(out.f, s->rowA, d.delayed);
            addAt(out.fScale, s->rowA, std::fabs(d.delayed));
        }
    }
    for (size_t k = firstDeriv; k < host_.delayDerivs.size(); ++k) {
        const DelayDerivRecord& d = host_.delayDerivs[k];
        if (d.inst != inst_) {
            continue;
        }
        if (const StampMap* s = mapOf(d.handle, StampKind::Doublet, "LoadDelay_dwrt")) {
            addAt(out.J, s->rowA, s->colA, d.jacobian);
            addAt(out.J, s->rowA, s->colB, -d.jacobian);
        }
    }
}

// ---- end of delay loads -----------------------------------------------------------

// ---- finite differences -------------------------------------------------------

FdReport Circuit::checkJacobian(const std::vector<double>& x, const FdOptions& options) {
    FdReport report;
    const size_t n = size();
    const Assembly base = load(x);
    report.problems = base.problems;
    std::vector<FdMismatch> all;
    report.worst.ratio = -1.0;
    std::vector<double> largestJ(n, 0.0), largestC(n, 0.0);
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = 0; j < n; ++j) {
            largestJ[i] = std::max(largestJ[i], std::fabs(base.J(i, j)));
            largestC[i] = std::max(largestC[i], std::fabs(base.C(i, j)));
        }
    }
    for (size_t j = 0; j < n; ++j) {
        const double h = options.relStep * std::max(std::fabs(x[j]), options.stepScale);
        std::vector<double> xp = x;
        std::vector<double> xm = x;
        xp[j] = x[j] + h;
        xm[j] = x[j] - h;
        const double twoH = xp[j] - xm[j];  // the step actually taken
        const Assembly plus = load(xp);
        const Assembly minus = load(xm);
        for (const Assembly* a : {&plus, &minus}) {
            report.problems.insert(report.problems.end(), a->problems.begin(), a->problems.end());
        }
        for (int reactive = 0; reactive < 2; ++reactive) {
            const DenseMatrix& m = reactive ? base.C : base.J;
            const std::vector<double>& rowLargest = reactive ? largestC : largestJ;
            const std::vector<double>& rp = reactive ? plus.q : plus.f;
            const std::vector<double>& rm = reactive ? minus.q : minus.f;
            const std::vector<double>& sp = reactive ? plus.qScale : plus.fScale;
            const std::vector<double>& sm = reactive ? minus.qScale : minus.fScale;
            for (size_t i = 0; i < n; ++i) {
                const double analytic = m(i, j);
                const double numeric = (rp[i] - rm[i]) / twoH;
                if (analytic == 0.0 && numeric == 0.0) {
                    continue;
                }
                ++report.checked;
                const double rounding = options.roundoff * kEps * std::max(sp[i], sm[i]) / twoH;
                const double tol = std::max({options.relTol * std::max(std::fabs(analytic), std::fabs(numeric)),
                                             options.absTol, options.rowRelTol * rowLargest[i], rounding});
                const double diff = std::fabs(analytic - numeric);
                double ratio = diff / tol;
                if (!std::isfinite(analytic) || !std::isfinite(numeric) || std::isnan(ratio)) {
                    ratio = std::numeric_limits<double>::infinity();
                }
                FdMismatch entry{reactive != 0, i, j, unknowns_[i].name, unknowns_[j].name, analytic, numeric, tol,
                                 ratio};
                if (ratio > report.worst.ratio) {
                    report.worst = entry;
                }
                if (ratio > 1.0) {
                    all.push_back(entry);
                }
            }
        }
    }
    report.failureCount = all.size();
    std::stable_sort(all.begin(), all.end(),
                     [](const FdMismatch& a, const FdMismatch& b) { return a.ratio > b.ratio; });
    if (all.size() > options.maxReported) {
        all.resize(options.maxReported);
    }
    report.failures = std::move(all);
    return report;
}

std::string FdReport::summary() const {
    std::string s = format("%zu entries checked, %zu failing", checked, failureCount);
    for (const std::string& p : problems) {
        s += "\n  problem: " + p;
    }
    for (const FdMismatch& m : failures) {
        s += format("\n  %s(%s, %s): analytic %.10g, difference %.10g, tolerance %.3g", m.reactive ? "C" : "J",
                    m.rowName.c_str(), m.colName.c_str(), m.analytic, m.numeric, m.tolerance);
    }
    return s;
}

// ---- right-hand-side load -----------------------------------------------------

RhsReport Circuit::checkRhsLoad(const std::vector<double>& x) {
    RhsReport report;
    auto residualLoads = [&](LoadKind kind) {
        const Assembly a = load(x, kind);
        for (const std::string& p : a.problems) {
            report.differences.push_back(std::string(kind == LoadKind::Full ? "full" : "right-hand-side") +
                                         " load: " + p);
        }
        std::vector<LoadRecord> kept;
        for (const LoadRecord& record : host_.loads) {
            if (record.inst != inst_) {
                continue;
            }
            if (isResidualSlot(record.slot)) {
                kept.push_back(record);
            } else if (kind == LoadKind::RhsOnly) {
                report.differences.push_back(std::string("the right-hand-side load called ") +
                                             slotName(record.slot));
            }
        }
        return kept;
    };
    const std::vector<LoadRecord> full = residualLoads(LoadKind::Full);
    const std::vector<LoadRecord> rhs = residualLoads(LoadKind::RhsOnly);
    if (full.size() != rhs.size()) {
        report.differences.push_back(
            format("%zu residual loads in the full load, %zu in the right-hand-side load", full.size(), rhs.size()));
        return report;
    }
    for (size_t r = 0; r < full.size(); ++r) {
        const LoadRecord& a = full[r];
        const LoadRecord& b = rhs[r];
        if (a.slot != b.slot || a.handles != b.handles) {
            report.differences.push_back(format("residual load %zu: %s with %zu handles against %s with %zu", r,
                                                slotName(a.slot), a.handles.size(), slotName(b.slot),
                                                b.handles.size()));
            continue;
        }
        for (size_t k = 0; k < a.values.size(); ++k) {
            if (!sameBits(a.values[k], b.values[k])) {
                report.differences.push_back(format("%s value %zu (handle %p): full %a, right-hand side %a",
                                                    slotName(a.slot), k, a.handles[k], a.values[k], b.values[k]));
            }
        }
    }
    return report;
}

std::string RhsReport::summary() const {
    std::string s = identical() ? "bit-identical" : format("%zu differences", differences.size());
    for (const std::string& d : differences) {
        s += "\n  " + d;
    }
    return s;
}

// ---- DC Newton ------------------------------------------------------------------

DcResult Circuit::solveDc(const std::vector<DcSource>& sources, const DcOptions& options) {
    DcResult result;
    const size_t n = size();
    std::vector<bool> held(n, false);
    result.x = zeros();
    std::vector<size_t> sourceUnknown;
    for (const DcSource& src : sources) {
        const int u = find(src.node);
        if (u < 0) {
            result.failure = "a source holds a node that no stamp of the device names";
            return result;
        }
        if (held[static_cast<size_t>(u)]) {
            result.failure = "two sources hold one node";
            return result;
        }
        held[static_cast<size_t>(u)] = true;
        result.x[static_cast<size_t>(u)] = src.volts;
        sourceUnknown.push_back(static_cast<size_t>(u));
    }
    std::vector<size_t> freeRows;  // free unknowns in order: the Newton system's rows and columns
    for (size_t i = 0; i < n; ++i) {
        if (!held[i]) {
            freeRows.push_back(i);
        }
    }
    const size_t m = freeRows.size();

    // The circuit residual F at x over the free rows, with gmin; answers false
    // (with the failure set) when the device gave something unusable.
    Assembly a;
    std::vector<double> F(m);
    auto evaluate = [&]() {
        a = load(result.x);
        if (!a.problems.empty()) {
            result.failure = "assembly: " + a.problems.front();
            return false;
        }
        result.deviceResidual = a.f;
        double norm = 0.0;
        for (size_t r = 0; r < m; ++r) {
            const size_t i = freeRows[r];
            F[r] = a.f[i] + (unknowns_[i].isFlow ? 0.0 : options.gmin * result.x[i]);
            norm = std::max(norm, std::fabs(F[r]));
            if (!std::isfinite(F[r])) {
                norm = F[r];
            }
        }
        result.residualNorms.push_back(norm);
        if (!std::isfinite(norm)) {
            result.failure = "the residual is not finite";
            return false;
        }
        return true;
    };
    auto residualSmall = [&]() {
        for (size_t r = 0; r < m; ++r) {
            const size_t i = freeRows[r];
            const double tol = unknowns_[i].isFlow ? options.voltageTol : options.currentTol;
            // The residual cannot settle below the rounding of the unknowns it
            // is computed from: a stiff row (a milliohm resistor) carries
            // |J_ij x_j| far above its own values.
            double scale = a.fScale[i];
            for (size_t j = 0; j < size(); ++j) {
                scale += std::fabs(a.J(i, j) * result.x[j]);
            }
            if (std::fabs(F[r]) > tol + options.relTol * scale) {
                return false;
            }
        }
        return true;
    };

    if (!evaluate()) {
        return result;
    }
    bool updateSmall = false;
    while (!(updateSmall && residualSmall())) {
        if (result.iterations >= options.maxIterations) {
            result.failure = format("no convergence in %d iterations", options.maxIterations);
            return result;
        }
        DenseMatrix jac(m);
        std::vector<double> dx(m);
        for (size_t r = 0; r < m; ++r) {
            const size_t i = freeRows[r];
            for (size_t c = 0; c < m; ++c) {
                jac(r, c) = a.J(i, freeRows[c]);
            }
            if (!unknowns_[i].isFlow) {
                jac(r, r) += options.gmin;
            }
            dx[r] = -F[r];
        }
        size_t column = 0;
        if (!solveDense(jac, dx, &column)) {
            result.failure = "singular Jacobian at unknown " + unknowns_[freeRows[column]].name;
            return result;
        }
        if (!std::all_of(dx.begin(), dx.end(), [](double d) { return std::isfinite(d); })) {
            result.failure = "the Newton update is not finite";
            return result;
        }
        double largestNodeStep = 0.0;
        for (size_t r = 0; r < m; ++r) {
            if (!unknowns_[freeRows[r]].isFlow) {
                largestNodeStep = std::max(largestNodeStep, std::fabs(dx[r]));
            }
        }
        if (options.maxVoltageStep > 0.0 && largestNodeStep > options.maxVoltageStep) {
            const double scale = options.maxVoltageStep / largestNodeStep;
            for (double& d : dx) {
                d *= scale;
            }
        }
        double norm = 0.0;
        updateSmall = true;
        for (size_t r = 0; r < m; ++r) {
            const size_t i = freeRows[r];
            result.x[i] += dx[r];
            norm = std::max(norm, std::fabs(dx[r]));
            const double tol = unknowns_[i].isFlow ? options.currentTol : options.voltageTol;
            updateSmall = updateSmall && std::fabs(dx[r]) <= tol + options.relTol * std::fabs(result.x[i]);
        }
        result.updateNorms.push_back(norm);
        ++result.iterations;
        if (!evaluate()) {
            return result;
        }
    }
    result.converged = true;
    for (size_t u : sourceUnknown) {
        result.sourceCurrents.push_back(a.f[u]);
    }
    return result;
}

std::vector<IdVdPoint> Circuit::idVdFamily(const Terminals& t, const std::vector<double>& gateVoltages,
                                           const std::vector<double>& drainVoltages, double vs,
                                           const DcOptions& options) {
    std::vector<IdVdPoint> points;
    for (double vg : gateVoltages) {
        for (double vd : drainVoltages) {
            IdVdPoint p;
            p.vg = vg;
            p.vd = vd;
            p.result = solveDc({{t.d, vd}, {t.g, vg}, {t.s, vs}}, options);
            p.drainCurrent = p.result.converged ? p.result.sourceCurrents[0]
                                                : std::numeric_limits<double>::quiet_NaN();
            points.push_back(std::move(p));
        }
    }
    return points;
}

double convergenceOrder(const std::vector<double>& norms, double floor) {
    std::vector<double> above;
    for (double e : norms) {
        if (e > floor) {
            above.push_back(e);
        }
    }
    if (above.size() < 3) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const double e1 = above[above.size() - 3];
    const double e2 = above[above.size() - 2];
    const double e3 = above[above.size() - 1];
    return std::log(e3 / e2) / std::log(e2 / e1);
}

bool quadraticNearTheSolution(const std::vector<double>& updates) {
    for (size_t k = 0; k + 1 < updates.size(); ++k) {
        const double e = updates[k];
        if (e <= 1e-2 && updates[k + 1] > std::max(10.0 * e * e, 1e-12)) {
            return false;
        }
    }
    return true;
}

}  // namespace testhost
