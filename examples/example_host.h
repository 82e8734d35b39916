// The host side that the worked hosts share. It sees only include/ and loads
// the library at run time: the loader of the library, the nine models with a
// working parameter set, one device instance with its nodes and stamps, the
// simulator interface and the contribution loader that assemble what the
// device loads into dense residuals and Jacobians, a Newton solve of the
// device in its small circuit, save and restore, and the release of what the
// library leaves to the host.
//
// Each example circuit holds one device, so the device also carries what the
// host answers it about the analysis: which one runs, whether this is its
// initial step, and the time.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "ZRT_HostInterface.h"

namespace example {

struct ModelInfo {
    const char* name;
    const char* exportName;
    int secondNodes;  // host nodes of the second array
    int branchSlots;  // room behind them for the branch state variables
    int unusedSlot;   // a second-array slot the model never reads, or -1
    int32_t intParams[3];  // a working set of the integer parameters (1 to 3 are read)
};
extern const ModelInfo kModels[9];

// First array, in every model: g, di, s, dii, si, pTj (nTj in cedar), d.
enum Port { G = 0, DI = 1, S = 2, DII = 3, D = 6 };
// A working set of the 13 real parameters (the first is the multiplicity).
extern const double kRealParams[13];

// ---- the library -------------------------------------------------------------
#ifdef _WIN32
using Library = HMODULE;
#else
using Library = void*;
#endif
extern const char* const kDefaultLibrary;
// Null, with the reason on stderr, when the library cannot be loaded.
Library openLibrary(const char* path);
void closeLibrary(Library lib);
// Calls the model's registration export with a descriptor whose head is
// filled; false when the library lacks the export.
bool registerModel(Library lib, const ModelInfo& model, s_ZRT_ModuleDesc& md);

// ---- the device ----------------------------------------------------------------

// One stamp: rows (a, b) and, for a Jacobian or doublet, columns (c, d), as
// unknown numbers; -1 is ground. A reactive entry loads charges (or fluxes)
// and their Jacobian.
struct Stamp {
    int a, b, c, d;
    bool reactive;
};

// The host's delay state of an absdelay operator: the accepted points of its
// input, oldest first, and the point of the present load, which AcceptDelay
// adds to them.
struct DelayState : ZRT_GenericOperatorState {
    std::vector<double> times, inputs;
    double time = 0.0, input = 0.0;
    double weight = 1.0;  // d delayed / d input of the present load
};

// A saved instance: the library's bytes, and beside them the delay states,
// which the host keeps itself (the runtime's stream writers are not
// exported). The runtime hands every delay state to its serialize function
// during a save and again during a restore, in the same order.
struct Checkpoint {
    std::vector<uint8_t> bytes;
    std::vector<DelayState> delays;
    size_t nextDelay = 0;  // the next one a restore reads
};

struct Device {
    Device() = default;
    Device(const Device&) = delete;  // the instance points into the device
    Device& operator=(const Device&) = delete;

    s_ZRT_DeviceInst inst{};
    s_ZRT_ModuleDesc* md = nullptr;
    std::deque<s_ZRT_StateVar> nodes;
    std::vector<s_ZRT_StateVar*> first, second;
    double real[13];
    int32_t ints[3] = {};  // one to three are read, by model
    ZRT_NoiseSrc noise[4] = {};
    ZRT_EventDesc* events[1] = {};
    s_ZRT_LimexpDesc* limexps[1] = {};
    std::vector<Stamp> stamps;
    size_t unknowns = 0;
    std::vector<bool> isNode;  // by unknown: a node (else a branch flow)

    // What the loader answers this device.
    uint32_t analysis = ZRT_ANALYSIS_DC;
    bool initialStep = true;
    double time = 0.0;
    Checkpoint* checkpoint = nullptr;  // during a save or restore

    std::vector<double> x;     // solution, by unknown
    std::vector<double> f, q;  // resistive residuals, charges
    std::vector<double> G, C;  // their Jacobians, row-major
};

// The host's callbacks: they assemble every load into the device's f, q, G
// and C.
s_ZRT_SimInterface simInterface();
s_ZRT_ContribLoader contribLoader();

// Makes the nodes (dii tied to di), points the instance at them and runs
// the set-up callbacks up to the initial conditions. False when the library
// refuses the instance.
bool setUp(Device& dev, const ModelInfo& model, s_ZRT_ModuleDesc* md, s_ZRT_SimInterface* sim, const char* name);
// One full load at dev.x into f, q, G and C.
void load(Device& dev, const s_ZRT_ContribLoader* loader);
// The accepted time point: tranAcceptPoint, then setMemoryStates.
void accept(Device& dev, const s_ZRT_ContribLoader* loader);

// The circuit: g and s held by voltage sources; d held as well, or, with
// rLoad > 0, fed from vd through rLoad. Every node has gmin to ground.
struct Bias {
    double vd, vg, vs;
    double rLoad = 0.0;
};
// The charges of a time step: the residual is f + alpha (q - qPrev) - carry
// and its Jacobian G + alpha C. Alpha 0 is a DC solve.
struct Integration {
    double alpha = 0.0;
    const std::vector<double>* qPrev = nullptr;
    const std::vector<double>* carry = nullptr;
};
// Newton from dev.x; answers the iterations, or -1. On success f, q, G and
// C are the device's at the solution.
int solve(Device& dev, const s_ZRT_ContribLoader* loader, const Bias& bias, const Integration& step = {});

// Save into `cp` (false when the library answers no bytes); restore from it
// (false when the library refuses, the instance then unchanged).
bool saveInstance(Device& dev, Checkpoint& cp);
bool restoreInstance(Device& dev, Checkpoint& cp);

// destroyInst, then what the library made in the instance and leaves to the host.
void release(Device& dev);

// The main of an example: loads the library named by argv[1] (or the default
// name), prints `header`, registers each model of `names` and hands it to
// `run`, which answers its failures, and prints their count. Answers the
// exit status: 0 when nothing failed, 2 when the library cannot be loaded.
using ModelRun = int (*)(const ModelInfo& model, s_ZRT_ModuleDesc& md, s_ZRT_SimInterface& sim,
                         const s_ZRT_ContribLoader* loader);
int runModels(int argc, char** argv, const char* header, const std::vector<const char*>& names, ModelRun run);

}  // namespace example
