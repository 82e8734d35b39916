// The test host's side of the model modules: what it knows of each of the
// nine modules (registration export, family, node arrays, the documented
// sizes of its private block) and a model instance that it registers,
// allocates and drives through the module's callbacks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ZRT_Models.h"
#include "tests/test_host.h"
#include "analog_files/topology.h"

namespace testhost {

enum class Family { Alder, Birch, Cedar, Larch };

struct ModuleSpec {
    const char* name;
    void (*registerModule)(s_ZRT_ModuleDesc*);
    Family family;
    uint32_t moduleFlags;
    int32_t assertLine;
    // Private-block shape.
    int vars, ints, rr, rd, jr, jd, memory;
    bool delayOp;
    int history, collapse;
    // Node arrays the host fills: first array, second array nodes, room for
    // branch state variables behind them.
    int externalNodes, internalNodes, branchSlots;
    int realParams, intParams;
};

extern const ModuleSpec kModules[9];
// A module in test names and failure reports: its name.
inline void PrintTo(const ModuleSpec& spec, std::ostream* os) { *os << spec.name; }
struct ModuleName {
    template <class ParamInfo>
    std::string operator()(const ParamInfo& info) const {
        return info.param.name;
    }
};
const ModuleSpec& moduleSpec(const std::string& name);
// The modules of one family, and those without an absdelay operator, in the
// order of kModules.
std::vector<ModuleSpec> modulesOf(Family family);
std::vector<ModuleSpec> modulesWithoutOperator();

// Byte offsets of the private block's fields, from the documented field
// order and natural alignment.
struct BlockLayout {
    size_t vars, ints, flag, rr, rd, jr, jd, memory, op, history, deriv, ams, collapse, counter;
};
BlockLayout blockLayout(const ModuleSpec& spec);

// A read/write view of an instance's private block.
class BlockView {
public:
    BlockView(const ModuleSpec& spec, void* block) : layout_(blockLayout(spec)), base_(static_cast<char*>(block)) {}
    void* raw() const { return base_; }
    double& var(int k) const { return at<double>(layout_.vars + 8 * k); }
    int32_t& intVar(int k) const { return at<int32_t>(layout_.ints + 4 * k); }
    int32_t& execInvariant() const { return at<int32_t>(layout_.flag); }
    ZRT_Handle& rr(int k) const { return at<ZRT_Handle>(layout_.rr + 8 * k); }
    ZRT_Handle& rd(int k) const { return at<ZRT_Handle>(layout_.rd + 8 * k); }
    ZRT_Handle& jr(int k) const { return at<ZRT_Handle>(layout_.jr + 8 * k); }
    ZRT_Handle& jd(int k) const { return at<ZRT_Handle>(layout_.jd + 8 * k); }
    double& memory(int k) const { return at<double>(layout_.memory + 8 * k); }
    void*& op() const { return at<void*>(layout_.op); }
    double& history(int k) const { return at<double>(layout_.history + 8 * k); }
    ZRT_Handle& deriv(int k) const { return at<ZRT_Handle>(layout_.deriv + 8 * k); }
    int32_t& ams(int k) const { return at<int32_t>(layout_.ams + 4 * k); }
    uint8_t& collapsed(int k) const { return at<uint8_t>(layout_.collapse + k); }
    int32_t& branchCounter() const { return at<int32_t>(layout_.counter); }
    const BlockLayout& layout() const { return layout_; }

private:
    template <typename T>
    T& at(size_t offset) const {
        return *reinterpret_cast<T*>(base_ + offset);
    }
    BlockLayout layout_;
    char* base_;
};

// One instance of a module, registered and allocated as a host does.
class ModelInstance {
public:
    ModelInstance(TestHost& host, const ModuleSpec& spec, const char* name = "m1");
    ~ModelInstance();

    s_ZRT_ModuleDesc md{};
    TestInstance inst;
    const ModuleSpec& spec;

    s_ZRT_DeviceInst* get() { return inst.get(); }
    BlockView block() { return BlockView(spec, inst->pModuleData); }
    // The state variable of a node of the family's topology tables (null
    // for ground and the operator's branch).
    s_ZRT_StateVar* var(hbx::NodeRef ref);

    // Topology set-up in the host's order: finalize, branches, system state
    // variables, stamps, report.
    void createTopology(void* hostData = nullptr);
    // The topology set-up, then the analog initial step.
    void setUp(void* hostData = nullptr);
    void destroy();

private:
    bool destroyed_ = false;
};

}  // namespace testhost
