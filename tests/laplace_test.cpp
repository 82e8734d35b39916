// The laplace operators end to end: the loads of an operator driven by a
// unit input are assembled into G + jwC and solved; the output must be
// N(jw)/D(jw) of the polynomials given, in every form and both realisations.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstdarg>
#include <memory>
#include <string>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/circuit_host.h"
#include "tests/test_host.h"

namespace {

using testhost::Circuit;
using testhost::DenseMatrix;
using testhost::TestHost;
using testhost::TestInstance;
using testhost::realArray;
using Complex = std::complex<double>;
using Values = std::vector<double>;

// One side of a transfer function: coefficients in ascending powers, or
// roots as (re, im) pairs.
struct Side {
    bool roots;
    Values values;
};

// N(s) or D(s) as the operator means it: coefficients as given; roots as the
// product of (1 - s/r), with s for a root at zero.
Complex evaluate(const Side& side, Complex s) {
    Complex v = side.roots ? 1.0 : 0.0;
    Complex power = 1.0;
    for (size_t k = 0; k < side.values.size(); k += side.roots ? 2 : 1) {
        if (!side.roots) {
            v += side.values[k] * power;
            power *= s;
        } else {
            const Complex r(side.values[k], side.values[k + 1]);
            v *= r == 0.0 ? s : 1.0 - s / r;
        }
    }
    return v;
}

// One operator on its own instance, driven by a module whose load sets the
// input to `input` and loads the operator.
class Rig {
public:
    Rig(TestHost& host, const Side& numer, const Side& denom, bool variables = false)
        : host_(host), inst_(host, &md_, {}, "x1") {
        md_.genericAnalogLoad = fullLoad;
        md_.genericAnalogLoadRHS = rhsLoad;
        numer_ = realArray(&host.sim, numer.values.data(), numer.values.size(), variables);
        denom_ = realArray(&host.sim, denom.values.data(), denom.values.size(), variables);
        op = ZRT_createOpBranch_lap("op", inst_.get(), numer.roots, denom.roots);
        ZRT_lapInitArrayArg(op, numer_, denom_);
        ZRT_lapFinalizeTopology(op, nullptr, 1);
        ZRT_lapSetStamp(op, nullptr);
        active_ = this;
    }
    ~Rig() {
        ZRT_destroyOpBranch_lap(op);
        ZRT_freeArray(numer_);
        ZRT_freeArray(denom_);
        active_ = nullptr;
    }

    bool direct() const { return (op->flags & LAP_DIRECT) != 0; }
    s_ZRT_Array* numer() { return numer_; }

    // The output for a unit input at angular frequency w: (G + jwC) v = -f(0).
    Complex response(double w, Circuit& c) {
        input = 1.0;
        const testhost::Assembly a = c.load(c.zeros());
        EXPECT_TRUE(a.problems.empty());
        return solve(a, w, a.f, c.at(op->_branchVar));
    }

    // (G + jwC) v = -rhs, solved as a real system of twice the size; the
    // unknown `out` of v.
    static Complex solve(const testhost::Assembly& a, double w, const Values& rhs, size_t out) {
        const size_t n = rhs.size();
        DenseMatrix m(2 * n);
        Values b(2 * n, 0.0);
        for (size_t i = 0; i < n; ++i) {
            for (size_t j = 0; j < n; ++j) {
                m(i, j) = m(n + i, n + j) = a.J(i, j);
                m(i, n + j) = -w * a.C(i, j);
                m(n + i, j) = w * a.C(i, j);
            }
            b[i] = -rhs[i];
        }
        EXPECT_TRUE(testhost::solveDense(m, b));
        return {b[out], b[n + out]};
    }

    ZRT_OpBranch_lap* op;
    double input = 0.0;

private:
    static void fullLoad(s_ZRT_DeviceInst*, const s_ZRT_ContribLoader* loader) {
        ZRT_lapSetArg(active_->op, active_->input, active_->numer_, active_->denom_, loader);
        ZRT_lapGenericLoad(active_->op, loader);
    }
    static void rhsLoad(s_ZRT_DeviceInst*, const s_ZRT_ContribLoader* loader) {
        ZRT_lapSetArg(active_->op, active_->input, active_->numer_, active_->denom_, loader);
        ZRT_lapGenericLoadRHS(active_->op, loader);
    }

    static inline Rig* active_ = nullptr;
    TestHost& host_;
    s_ZRT_ModuleDesc md_{};
    TestInstance inst_;
    s_ZRT_Array* numer_;
    s_ZRT_Array* denom_;
};

void expectTransfer(Rig& rig, const Side& numer, const Side& denom, const std::vector<double>& ws) {
    Circuit c(TestHost::current(), rig.op->inst);
    for (double w : ws) {
        const Complex s(0.0, w);
        const Complex want = evaluate(numer, s) / evaluate(denom, s);
        const Complex got = rig.response(w, c);
        EXPECT_LE(std::abs(got - want), 1e-9 * std::abs(want)) << "w " << w << ": " << got << " against " << want;
    }
    // The loads agree with themselves away from zero too.
    std::vector<double> x = c.zeros();
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = 0.3 + 0.1 * static_cast<double>(i);
    }
    EXPECT_TRUE(c.checkJacobian(x).passed());
    EXPECT_TRUE(c.checkRhsLoad(x).identical());
}

struct Case {
    const char* label;
    Side numer;
    Side denom;
};

const Case kCases[] = {
    {"worked example", {false, {4}}, {false, {2, 3, 1}}},
    {"zero coefficient", {false, {1, 0.5}}, {false, {1, 0, 1}}},
    {"numerator above denominator", {false, {1, 2, 3}}, {false, {1, 1}}},
    {"pole at zero", {false, {2, 1}}, {false, {0, 3, 1}}},
    {"numerator s term in the gain", {false, {1, 10}}, {false, {1, 1}}},
    {"roots over roots", {true, {-1, 5, -1, -5, -3, 0}}, {true, {-1, 4, -1, -4, -2.5, 0, -4, 0}}},
    {"needs the fallback grouping", {true, {-1, 5, -1, -5, -10, 5, -10, -5}}, {true, {-1, 0, -10, 0, -5, 0, -5.1, 0}}},
    {"roots over coefficients", {true, {-2, 0, 0, 0}}, {false, {6, 5, 1}}},
    {"coefficients over roots", {false, {3, 1}}, {true, {-0.5, 2, -0.5, -2, -7, 0}}},
    {"constant denominator", {false, {1, 2}}, {false, {4}}},
    {"no poles", {false, {1, 2}}, {true, {}}},
};

TEST(LaplaceTransfer, EveryFormInBothRealisations) {
    for (bool cascade : {false, true}) {
        for (const Case& c : kCases) {
            SCOPED_TRACE(std::string(c.label) + (cascade ? ", cascade" : ", direct"));
            TestHost host;
            if (cascade) {
                host.setSimParam("maxLaplace_d_Order", 1);
                host.setSimParam("maxLaplace_p_Order", -1);
            }
            Rig rig(host, c.numer, c.denom);
            // A constant coefficient denominator stays below "maxLaplace_d_Order".
            const bool constant = !c.denom.roots && c.denom.values.size() <= 1u;
            EXPECT_EQ(rig.direct(), !cascade || constant);
            expectTransfer(rig, c.numer, c.denom, {0.05, 0.7, 3.0, 40.0});
            EXPECT_TRUE(host.messages.empty()) << host.messages.front().formatted;
        }
    }
}

TEST(LaplaceTransfer, RealisationChosenBySimulatorParameters) {
    struct Choice {
        const char* param;
        double value;
        Side denom;
        bool direct;
    };
    const Choice choices[] = {
        {nullptr, 0, {false, {1, 2, 1}}, true},
        {nullptr, 0, {true, {-1, 0, -2, 0}}, true},
        {"maxLaplace_d_Order", 2, {false, {1, 2, 1}}, false},
        {"maxLaplace_d_Order", 3, {false, {1, 2, 1}}, true},
        {"maxLaplace_p_Order", 3, {true, {-1, 0, -2, 0}}, false},
        {"maxLaplace_p_Order", 3, {true, {-1, 0, -2, 0, -3, 0}}, true},
        {"maxLaplace_p_Order", -2, {true, {-1, 0, -2, 0, -3, 0}}, false},
        {"maxLaplace_p_Order", -1, {true, {}}, true},  // a cascade without a section
    };
    for (const Choice& c : choices) {
        TestHost host;
        if (c.param != nullptr) {
            host.setSimParam(c.param, c.value);
        }
        Rig rig(host, {false, {1}}, c.denom);
        EXPECT_EQ(rig.direct(), c.direct) << (c.param ? c.param : "none") << " " << c.value;
    }
}

std::vector<std::string> systemVarNames(const TestHost& host) {
    std::vector<std::string> names;
    for (const auto& v : host.systemVars) {
        names.push_back(v.varName);
    }
    return names;
}

TEST(LaplaceTopology, StateVariablesNamedAfterTheOperator) {
    TestHost host;
    host.setSimParam("maxLaplace_p_Order", -1);
    {
        Rig rig(host, {false, {1}}, {true, {-1, 0, -2, 0, -3, 0}});
        EXPECT_EQ(systemVarNames(host), (std::vector<std::string>{"op_aux", "op_0", "op_0_i", "op_1", "op_1_i"}));
        EXPECT_EQ(rig.op->_branchVar, rig.op->sections[1]->y);
    }
    host.systemVars.clear();
    Rig rig(host, {false, {1}}, {false, {1, 1, 1}});
    EXPECT_EQ(systemVarNames(host), (std::vector<std::string>{"op", "op_x0", "op_x1", "op_x2"}));
}

TEST(LaplaceCoefficients, DirectScalesAndCascadeOrder) {
    {
        TestHost host;
        Rig rig(host, {false, {4}}, {false, {2, 3, 1}});
        Circuit c(host, rig.op->inst);
        rig.response(1.0, c);
        EXPECT_EQ(Values(rig.op->scale, rig.op->scale + 3), (Values{1, 1.5, 1.0 / 3.0}));
        EXPECT_EQ(rig.op->scaledNumer[0], 1.0);
        EXPECT_EQ(rig.op->gain, 2.0);
    }
    {
        TestHost host;
        Rig rig(host, {false, {1}}, {false, {1, 0, 1}});
        Circuit c(host, rig.op->inst);
        rig.response(2.0, c);
        EXPECT_EQ(Values(rig.op->scale, rig.op->scale + 3), (Values{1, 1e-6, 1e6}));
        EXPECT_EQ(std::vector<int>(rig.op->nonZero, rig.op->nonZero + 3), (std::vector<int>{1, 0, 1}));
    }
    // The pair (-10, -11) makes the first section; sorting puts it last.
    TestHost host;
    host.setSimParam("maxLaplace_p_Order", -1);
    Rig rig(host, {false, {1}}, {true, {-10, 0, -1, 0, -11, 0, -2, 0}});
    Circuit c(host, rig.op->inst);
    rig.response(1.0, c);
    ASSERT_EQ(rig.op->_numBiquads, 2);
    EXPECT_GT(rig.op->sections[0]->den[1], rig.op->sections[1]->den[1]);
    EXPECT_NEAR(rig.op->sections[1]->den[1], 21.0 / std::sqrt(110.0), 1e-14);
}

TEST(LaplaceErrors, ComplexRootWithoutItsConjugateIsRefusedInBothRealisations) {
    for (bool cascade : {false, true}) {
        TestHost host;
        host.setSimParam("maxLaplace_p_Order", cascade ? -1 : 0);
        Rig rig(host, {true, {-1, 2, -3, 0}}, {true, {-1, 0, -2, 0}});
        Circuit c(host, rig.op->inst);
        rig.response(1.0, c);
        ASSERT_FALSE(host.messages.empty());
        EXPECT_EQ(host.messages[0].formatted, "Complex zeros must have corresponding conjugates for 'op'.");
        EXPECT_EQ(host.exitCount(), 1);
    }
}

TEST(LaplaceErrors, ZeroPolynomialsAndOddRootListsAreReported) {
    TestHost host;
    Rig zero(host, {false, {0, 0}}, {false, {}});
    Rig odd(host, {true, {-1}}, {true, {-1, 0, -2}});
    std::vector<std::string> texts;
    for (const auto& m : host.messages) {
        texts.push_back(m.formatted);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"In laplace operators, the denominator polynomial cannot be 0",
                                               "In laplace operators, the numerator polynomial should not be 0",
                                               "Operator 'op' expects an even number of denominator coefficients.",
                                               "Operator 'op' expects an even number of numerator coefficients."}));
}

TEST(LaplaceErrors, UnstableCoefficientDenominatorIsMirroredWithAWarning) {
    TestHost host;
    host.setSimParam("maxLaplace_d_Order", 1);
    Rig rig(host, {false, {1}}, {false, {-1, 1}});  // the pole +1
    Circuit c(host, rig.op->inst);
    const Complex got = rig.response(2.0, c);
    EXPECT_NEAR(std::abs(got - -1.0 / evaluate({false, {1, 1}}, Complex(0, 2))), 0.0, 1e-12);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].type, ZRT_MSG_WARNING);
    EXPECT_EQ(host.messages[0].formatted,
              "During factorization of the denominator for x1.op,\n     (1) unstable roots were mirrored to the left "
              "half plane.");
}

// The input entry of the last load: set argument loads first.
double inputLoad(const TestHost& host, const ZRT_OpBranch_lap* op) {
    for (const auto& l : host.loads) {
        if (l.slot == testhost::LoadSlot::StaticRhs && l.handles.size() == 1 && l.handles[0] == op->inputKey) {
            return l.values[0];
        }
    }
    return 0.0;
}

TEST(LaplaceArrays, ChangedArrayVariableTakesEffectAtOnce) {
    for (bool cascade : {false, true}) {
        TestHost host;
        host.setSimParam("maxLaplace_d_Order", cascade ? 1 : 0);
        const Side denom{false, {2, 3, 1}};
        Rig rig(host, {false, {4, 0, 0.5}}, denom, true);
        Circuit c(host, rig.op->inst);
        rig.response(1.0, c);
        const double firstGain = rig.op->gain;
        EXPECT_EQ(inputLoad(host, rig.op), -firstGain);

        // Three times the numerator (the direct one as a shorter array): the
        // next evaluation uses the new gain.
        const Side numer{false, cascade ? Values{12, 0, 1.5} : Values{12}};
        ZRT_setArrayBounds(rig.numer(), 0, static_cast<int32_t>(numer.values.size()) - 1);
        for (size_t i = 0; i < numer.values.size(); ++i) {
            ZRT_setArrayReal(rig.numer(), static_cast<int32_t>(i), numer.values[i]);
        }
        rig.response(1.0, c);
        EXPECT_DOUBLE_EQ(rig.op->gain, 3.0 * firstGain);
        EXPECT_EQ(inputLoad(host, rig.op), -rig.op->gain);
        EXPECT_EQ(rig.op->numer->flags & ZRT_ARRAY_MODIFIED, 0);
        expectTransfer(rig, numer, denom, {0.3, 5.0});
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST(LaplaceLife, CloneIsIndependentOfItsSource) {
    for (bool cascade : {false, true}) {
        TestHost host;
        host.setSimParam("maxLaplace_d_Order", cascade ? 1 : 0);
        const Side numer{false, {1, 0.2}};
        const Side denom{false, {1, 2, 0.5}};
        auto rig = std::make_unique<Rig>(host, numer, denom, true);
        Circuit c(host, rig->op->inst);
        rig->response(1.0, c);
        ZRT_OpBranch_lap* clone = ZRT_OpClone_lap(rig->op, rig->op->inst);
        ASSERT_NE(clone, nullptr);
        EXPECT_NE(clone->numer, rig->op->numer);
        // The source changes and goes; the clone keeps its own function.
        ZRT_setArrayReal(rig->numer(), 1, 5.0);
        rig->response(1.0, c);
        ZRT_setArrayReal(rig->numer(), 1, 0.2);
        std::swap(rig->op, clone);
        ZRT_destroyOpBranch_lap(clone);
        expectTransfer(*rig, numer, denom, {0.4, 2.0});
    }
}

// The digital signals by id: 0 the numerator n, 1 the constant term d0 of
// the denominator d0 + s.
double g_digital[2] = {};
double digitalCoeff(s_ZRT_DeviceInst*, const s_ZRT_ContribLoader*, int32_t, int32_t id, int32_t, int32_t n, ...) {
    va_list args;
    va_start(args, n);
    const int32_t index = va_arg(args, int32_t);
    va_end(args);
    return id == 1 && index == 1 ? 1.0 : g_digital[id];
}

// A clone shares its source's digital numerator, then its digital
// denominator: each notices a change by itself, whichever loads first.
TEST(LaplaceLife, CloneAndSourceEachFollowASharedDigitalArray) {
    for (bool digitalDenom : {false, true}) {
        TestHost host;
        host.ams.D2A_RealElement = digitalCoeff;
        TestInstance inst(host, nullptr, {});
        s_ZRT_Array* numer = digitalDenom ? realArray(&host.sim, {12}, false) : digitalArray(0, 0, inst.get(), "n", 0, 0);
        s_ZRT_Array* denom = digitalDenom ? digitalArray(1, 0, inst.get(), "d", 0, 1) : realArray(&host.sim, {1, 1}, false);
        ZRT_OpBranch_lap* op = ZRT_createOpBranch_lap("op", inst.get(), 0, 0);
        ZRT_lapInitArrayArg(op, numer, denom);
        ZRT_lapFinalizeTopology(op, nullptr, 1);
        ZRT_lapSetStamp(op, nullptr);
        g_digital[0] = 2.0;
        g_digital[1] = 2.0;
        ZRT_lapGenericLoad(op, &host.loader);
        ZRT_OpBranch_lap* clone = ZRT_OpClone_lap(op, inst.get());
        for (bool cloneFirst : {false, true}) {
            g_digital[digitalDenom ? 1 : 0] += 1.0;
            ZRT_lapGenericLoad(cloneFirst ? clone : op, &host.loader);
            ZRT_lapGenericLoad(cloneFirst ? op : clone, &host.loader);
            const double gain = digitalDenom ? 12.0 / g_digital[1] : g_digital[0];  // n / d0
            EXPECT_EQ(op->gain, gain) << digitalDenom << cloneFirst;
            EXPECT_EQ(clone->gain, gain) << digitalDenom << cloneFirst;
        }
        ZRT_destroyOpBranch_lap(clone);
        ZRT_destroyOpBranch_lap(op);
        ZRT_freeArray(numer);
        ZRT_freeArray(denom);
    }
}

TEST(LaplaceNoise, NoiseEntersWithTheInputAndIsShapedByTheTransferFunction) {
    TestHost host;
    host.doNoise = 1;
    const Side numer{false, {1, 0.5}};
    const Side denom{false, {2, 3, 1}};
    Rig rig(host, numer, denom);
    ZRT_NoiseSrc src{};
    ZRT_setNoiseSrcInfo(&src, ZRT_WHITE_NOISE_SRC, 0, "__white__", rig.op->inst);
    ZRT_addNoiseForOp_lap(&src, rig.op, 1.0);
    ASSERT_NE(src.contribs, nullptr);
    EXPECT_EQ(src.contribs->key, rig.op->inputKey);
    EXPECT_EQ(src.contribs->freqResponse, nullptr);

    ZRT_reportNoiseContribForOp_lap(rig.op, 2, nullptr);
    ASSERT_EQ(host.noiseReports.size(), 1u);
    EXPECT_EQ(host.noiseReports[0].key, rig.op->inputKey);

    // The noise alone, as the host's noise analysis injects it.
    Circuit c(host, rig.op->inst);
    rig.input = 0.0;
    const testhost::Assembly a = c.load(c.zeros());
    Values injected(c.size(), 0.0);
    injected[c.at(rig.op->inputVar)] = src.contribs->value;
    for (double w : {0.2, 1.5, 9.0}) {
        const Complex h = evaluate(numer, Complex(0, w)) / evaluate(denom, Complex(0, w));
        const Complex out = Rig::solve(a, w, injected, c.at(rig.op->_branchVar));
        EXPECT_NEAR(std::norm(out), std::norm(h), 1e-9 * std::norm(h)) << w;
    }
    for (s_ZRT_NoiseContrib* n = src.contribs; n != nullptr;) {
        s_ZRT_NoiseContrib* next = n->next;
        ZRT_free(n);
        n = next;
    }
}

TEST(LaplaceLife, NullAndUnfinishedOperatorsDoNothing) {
    TestHost host;
    EXPECT_EQ(ZRT_getBranchVar_lap(nullptr), nullptr);
    ZRT_lapGenericLoad(nullptr, &host.loader);
    ZRT_destroyOpBranch_lap(nullptr);
    TestInstance inst(host, nullptr, {});
    // A coefficient side without its array: no topology, no stamps, no loads.
    ZRT_OpBranch_lap* op = ZRT_createOpBranch_lap("op", inst.get(), 0, 0);
    ZRT_lapFinalizeTopology(op, nullptr, 0);
    ZRT_lapSetStamp(op, nullptr);
    ZRT_lapSetArg(op, 1.0, nullptr, nullptr, &host.loader);
    ZRT_lapGenericLoad(op, &host.loader);
    EXPECT_TRUE(host.stamps.empty());
    EXPECT_TRUE(host.loads.empty());
    ZRT_destroyOpBranch_lap(op);
}

}  // namespace

namespace {

// A coefficient computation that runs short of memory is repeated at the
// next load, which then gives what an operator that never ran short gives:
// 5 / ((s + 1)(s + 2)) from coefficients and from roots, each direct and as
// a cascade, and a cascade of roots whose orders differ and whose sections
// come from the grouping that lets poles go without zeros.
TEST(LaplaceLife, ACoefficientComputationShortOfMemoryIsRepeated) {
    const Side five{false, {5}};
    const Side coefficients{false, {2, 3, 1}};
    const Side roots{true, {-1, 0, -2, 0}};
    struct Form {
        Side numer;
        Side denom;
        const char* param;
        int value;
    };
    for (const Form& form : {Form{five, coefficients, "maxLaplace_d_Order", 0},
                             Form{five, coefficients, "maxLaplace_d_Order", 1}, Form{five, roots, "maxLaplace_p_Order", 0},
                             Form{five, roots, "maxLaplace_p_Order", -1},
                             Form{{true, {-1, 5, -1, -5, -3, 0}}, {true, {-3, 0, -10, 0, -10, 0, -5.1, 0}},
                                  "maxLaplace_p_Order", -1}}) {
        const Side& numer = form.numer;
        const Side& denom = form.denom;
        bool refused = true;
        for (int grants = 0; refused; ++grants) {
            SCOPED_TRACE(std::string(form.param) + " " + std::to_string(form.value) + ", " +
                         std::to_string(denom.values.size() / 2) + " poles, grants " + std::to_string(grants));
            ASSERT_LT(grants, 100);
            TestHost host;
            host.setSimParam(form.param, form.value);
            Rig rig(host, numer, denom);
            Circuit c(host, rig.op->inst);
            rig.input = 1.0;
            {
                testhost::LimitedHeap heap(grants, true);
                c.load(c.zeros());
                refused = heap.refused();
            }
            expectTransfer(rig, numer, denom, {0.05, 3.0});
        }
    }
}

// A root list without its conjugates is reported once, whichever allocation
// of the computation (or of the snapshot after it) is refused and repeats
// it: zeros and poles, direct and as a cascade.
TEST(LaplaceLife, AnInputErrorIsReportedOnceWhateverTheHeapDoes) {
    const Side lone{true, {-1, 2, -3, 0}};  // -1 + 2j without -1 - 2j
    const Side whole{true, {-1, 0, -2, 0}};
    for (bool cascade : {false, true}) {
        for (bool poles : {false, true}) {
            const std::string text = std::string("Complex ") + (poles ? "poles" : "zeros") +
                                     " must have corresponding conjugates for 'op'.";
            bool refused = true;
            for (int grants = 0; refused; ++grants) {
                SCOPED_TRACE(text + (cascade ? " cascade" : " direct") + ", grants " + std::to_string(grants));
                ASSERT_LT(grants, 100);
                TestHost host;
                host.setSimParam("maxLaplace_p_Order", cascade ? -1 : 0);
                Rig rig(host, poles ? whole : lone, poles ? lone : whole);
                Circuit c(host, rig.op->inst);
                {
                    testhost::LimitedHeap heap(grants, true);
                    c.load(c.zeros());
                    refused = heap.refused();
                }
                c.load(c.zeros());
                c.load(c.zeros());
                EXPECT_EQ(std::count_if(host.messages.begin(), host.messages.end(),
                                        [&](const auto& m) { return m.formatted == text; }),
                          1);
            }
        }
    }
    // Each error of one computation is told.
    TestHost host;
    Rig rig(host, lone, lone);
    Circuit c(host, rig.op->inst);
    c.load(c.zeros());
    c.load(c.zeros());
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_NE(host.messages[0].formatted, host.messages[1].formatted);
}

// Every allocation of an operator's coefficients, loads and clone refused
// in turn: each step answers its failure value and the sanitizer build sees
// no bad access or leak. (Topology is made with a full heap: a state
// variable whose list entry cannot be allocated is the instance's to lose.)
TEST(LaplaceLife, ExhaustedHeapAtEveryStep) {
    for (bool cascade : {false, true}) {
        // Until a run gets all it asks for.
        bool refused = true;
        for (int grants = 0; refused; ++grants) {
            ASSERT_LT(grants, 1000) << "cascade " << cascade;
            TestHost host;
            host.setSimParam("maxLaplace_p_Order", cascade ? -1 : 0);
            TestInstance inst(host, nullptr, {});
            s_ZRT_Array* numer = realArray(&host.sim, {1, 0.5}, true);
            s_ZRT_Array* denom = realArray(&host.sim, {-1, 2, -1, -2, -3, 0}, true);
            ZRT_OpBranch_lap* op = nullptr;
            {
                testhost::LimitedHeap heap(grants);
                op = ZRT_createOpBranch_lap("op", inst.get(), 0, 1);
                ZRT_lapInitArrayArg(op, numer, denom);
                refused = heap.refused();
            }
            ZRT_lapFinalizeTopology(op, nullptr, 1);
            ZRT_lapSetStamp(op, nullptr);
            {
                testhost::LimitedHeap heap(grants);
                ZRT_lapSetArg(op, 1.0, numer, denom, &host.loader);
                ZRT_lapGenericLoad(op, &host.loader);
                ZRT_OpBranch_lap* clone = ZRT_OpClone_lap(op, inst.get());
                ZRT_destroyOpBranch_lap(op);
                ZRT_setArrayReal(numer, 0, 2.0);
                ZRT_lapSetArg(clone, 1.0, numer, denom, &host.loader);
                ZRT_lapGenericLoadRHS(clone, &host.loader);
                ZRT_destroyOpBranch_lap(clone);
                refused = refused || heap.refused();
            }
            ZRT_freeArray(numer);
            ZRT_freeArray(denom);
            // The host hears of every refusal.
            EXPECT_EQ(host.exitCount() > 0, refused) << "cascade " << cascade << ", grants " << grants;
        }
    }
}

}  // namespace
