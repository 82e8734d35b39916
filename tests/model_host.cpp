#include "tests/model_host.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace testhost {

// name, export, family, flags, assertion line,
// vars, ints, rr, rd, jr, jd, memory, operator, history, collapse,
// first nodes, second nodes, branch slots, real and integer parameters
const ModuleSpec kModules[9] = {
    {"alder_a", registerCallbacks_module_alder_a_1, Family::Alder, 1, 4790,
     206, 0, 25, 13, 35, 13, 1, false, 10, 24, 7, 9, 4, 13, 2},
    {"alder_b", registerCallbacks_module_alder_b_2, Family::Alder, 0, 4794,
     205, 0, 25, 13, 35, 13, 0, false, 11, 24, 7, 9, 4, 13, 3},
    {"alder_c", registerCallbacks_module_alder_c_3, Family::Alder, 0, 4794,
     205, 0, 25, 13, 35, 13, 0, false, 11, 24, 7, 9, 4, 13, 3},
    {"birch_a", registerCallbacks_module_birch_a_4, Family::Birch, 0x200, 4326,
     171, 0, 21, 11, 28, 11, 0, true, 13, 19, 7, 7, 3, 13, 3},
    {"birch_c", registerCallbacks_module_birch_c_5, Family::Birch, 0x201, 4509,
     192, 0, 21, 11, 28, 11, 2, true, 10, 21, 7, 7, 3, 13, 2},
    {"cedar_a", registerCallbacks_module_cedar_a_6, Family::Cedar, 0, 4800,
     206, 2, 26, 13, 35, 13, 0, false, 10, 24, 7, 10, 5, 13, 1},
    {"cedar_b", registerCallbacks_module_cedar_b_7, Family::Cedar, 0, 4733,
     196, 0, 26, 13, 35, 13, 0, false, 18, 24, 7, 10, 5, 13, 3},
    {"larch_a", registerCallbacks_module_larch_a_8, Family::Larch, 0, 4778,
     207, 0, 27, 13, 37, 13, 0, false, 10, 25, 7, 11, 5, 13, 2},
    {"cedar_c", registerCallbacks_module_cedar_c_9, Family::Cedar, 0, 4791,
     201, 0, 26, 13, 35, 13, 0, false, 17, 24, 7, 10, 5, 13, 3},
};

const ModuleSpec& moduleSpec(const std::string& name) {
    for (const ModuleSpec& spec : kModules) {
        if (name == spec.name) {
            return spec;
        }
    }
    throw std::invalid_argument("no module " + name);
}

template <class Keep>
static std::vector<ModuleSpec> modulesWhere(Keep keep) {
    std::vector<ModuleSpec> out;
    std::copy_if(std::begin(kModules), std::end(kModules), std::back_inserter(out), keep);
    return out;
}

std::vector<ModuleSpec> modulesOf(Family family) {
    return modulesWhere([family](const ModuleSpec& spec) { return spec.family == family; });
}

std::vector<ModuleSpec> modulesWithoutOperator() {
    return modulesWhere([](const ModuleSpec& spec) { return !spec.delayOp; });
}

BlockLayout blockLayout(const ModuleSpec& s) {
    size_t off = 8;  // the clone function
    auto take = [&off](size_t align, size_t bytes) {
        off = (off + align - 1) / align * align;
        size_t at = off;
        off += bytes;
        return at;
    };
    BlockLayout l{};
    l.vars = take(8, 8 * s.vars);
    l.ints = take(4, 4 * s.ints);
    l.flag = take(4, 4);
    l.rr = take(8, 8 * s.rr);
    l.rd = take(8, 8 * s.rd);
    l.jr = take(8, 8 * s.jr);
    l.jd = take(8, 8 * s.jd);
    l.memory = take(8, 8 * s.memory);
    l.op = take(8, s.delayOp ? 8 : 0);
    l.history = take(8, 8 * s.history);
    l.deriv = take(8, s.delayOp ? 32 : 0);
    l.ams = take(4, 16);
    l.collapse = take(1, s.collapse);
    l.counter = take(4, 4);
    return l;
}

static TestInstance::Shape shapeOf(const ModuleSpec& spec) {
    TestInstance::Shape shape;
    shape.realParams = spec.realParams;
    shape.intParams = spec.intParams;
    shape.externalNodes = spec.externalNodes;
    shape.internalNodes = spec.internalNodes;
    shape.branchSlots = spec.branchSlots;
    shape.events = 1;
    shape.limexps = 1;
    shape.fileDescs = 0;
    return shape;
}

ModelInstance::ModelInstance(TestHost& host, const ModuleSpec& s, const char* name)
    : inst(host, &md, shapeOf(s), name), spec(s) {
    md.libName = "hbx";
    md.moduleName = s.name;
    md.numEvents = 1;  // the initial-step event; no file descriptors
    spec.registerModule(&md);
}

ModelInstance::~ModelInstance() { destroy(); }

void ModelInstance::createTopology(void* hostData) {
    md.finalizeAnalogTopology(get());
    md.createBranches(get(), hostData);
    md.createSystemStateVars(get(), hostData);
    md.setAnalogStamp(get(), hostData);
    md.reportTopology(get(), hostData);
}

void ModelInstance::setUp(void* hostData) {
    createTopology(hostData);
    md.doAnalogInitial(get());
}

s_ZRT_StateVar* ModelInstance::var(hbx::NodeRef ref) {
    switch (ref.where) {
    case hbx::Where::First: return inst.nodeVars.at(ref.slot);
    case hbx::Where::Second: return inst.internalVars.at(ref.slot);
    default: return nullptr;
    }
}

void ModelInstance::destroy() {
    if (!destroyed_) {
        destroyed_ = true;
        md.destroyInst(get());
    }
}

}  // namespace testhost
