// Saving and restoring module instances through their descriptors: the
// byte layout of each module's saved string, restores into fresh instances,
// damaged strings refused without a trace, and the serializer protocol.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/model_fixture.h"
#include "tests/stream_bytes.h"

namespace {

using namespace testhost;

// Fills the saved values of an instance with distinct numbers.
void fill(const ModuleSpec& spec, BlockView b, double base) {
    for (int k = 0; k < spec.vars; ++k) {
        b.var(k) = base + 0.25 * k;
    }
    for (int k = 0; k < spec.memory; ++k) {
        b.memory(k) = -base - k;
    }
    for (int k = 0; k < spec.ints; ++k) {
        b.intVar(k) = 100 + k;
    }
}

// The saved part of a block: memory values, model variables, integers and
// the execute-invariant flag.
Bytes savedPart(const ModuleSpec& spec, BlockView b) {
    Bytes out;
    auto add = [&out](const void* p, size_t n) {
        const auto* c = static_cast<const uint8_t*>(p);
        out.insert(out.end(), c, c + n);
    };
    for (int k = 0; k < spec.memory; ++k) add(&b.memory(k), 8);
    for (int k = 0; k < spec.vars; ++k) add(&b.var(k), 8);
    for (int k = 0; k < spec.ints; ++k) add(&b.intVar(k), 4);
    add(&b.execInvariant(), 4);
    return out;
}

class EachModuleState : public ModuleTest {};

TEST_P(EachModuleState, SavedStringsHaveEachModulesLayout) {
    const ModuleSpec& spec = GetParam();
    TestHost host;
    ModelInstance m(host, spec);
    m.setUp();
    fill(spec, m.block(), 1.0);
    const Bytes bytes = saveState(m);
    const size_t record = 8 * static_cast<size_t>(spec.memory + spec.vars) + 4 * static_cast<size_t>(spec.ints);
    const int32_t opStates = spec.delayOp ? 12 : 13;
    ASSERT_GE(bytes.size(), record + 39);
    // The record: memory values, model variables, integers, in block order.
    BlockView b = m.block();
    size_t at = 0;
    for (int k = 0; k < spec.memory; ++k, at += 8) EXPECT_EQ(std::memcmp(&bytes[at], &b.memory(k), 8), 0);
    for (int k = 0; k < spec.vars; ++k, at += 8) ASSERT_EQ(std::memcmp(&bytes[at], &b.var(k), 8), 0) << k;
    for (int k = 0; k < spec.ints; ++k, at += 4) EXPECT_EQ(readAt<int32_t>(bytes, at), 100 + k);
    EXPECT_EQ(std::string(bytes.begin() + at, bytes.begin() + at + 15), "Operator_states");
    EXPECT_EQ(readAt<int32_t>(bytes, at + 15), opStates);
    // Then the operator payloads (the birch delay state), the event states
    // (none: the initial-step event saves nothing) and the trailer.
    const size_t tail = bytes.size() - 20;
    EXPECT_EQ(std::string(bytes.begin() + tail, bytes.begin() + tail + 12), "Event_states");
    EXPECT_EQ(readAt<int32_t>(bytes, tail + 12), 1);
    EXPECT_EQ(readAt<int32_t>(bytes, tail + 16), opStates);
    if (!spec.delayOp) {
        EXPECT_EQ(bytes.size(), record + 39);
    } else {
        EXPECT_GE(bytes.size(), record + 39 + 76);
    }
    // The lengths every host can rely on (a birch string holds the host's
    // delay state as well).
    const std::pair<std::string, size_t> lengths[] = {{"alder_a", 1695}, {"alder_b", 1679}, {"alder_c", 1679},
                                                      {"cedar_a", 1695}, {"cedar_b", 1607}, {"larch_a", 1695},
                                                      {"cedar_c", 1647}};
    for (const auto& [name, length] : lengths) {
        if (name == spec.name) {
            EXPECT_EQ(bytes.size(), length);
        }
    }
}

TEST(ModuleState, ARestoredInstanceLoadsExactlyAsTheSavedOne) {
    for (const char* name : {"alder_a", "alder_b", "alder_c"}) {
        SCOPED_TRACE(name);
        TestHost host;
        ModelCircuit a(host, moduleSpec(name));
        DcResult op = a.solve(-0.7, 4.0);
        ASSERT_TRUE(op.converged);
        // A load with the memory value stored at an accepted point.
        a.model.md.setMemoryStates(a.model.get());
        const Bytes bytes = saveState(a.model);

        ModelCircuit b(host, moduleSpec(name));
        ASSERT_EQ(restoreState(b.model, bytes), 1);
        EXPECT_EQ(b.model.block().execInvariant(), 1);
        EXPECT_EQ(saveState(b.model), bytes);

        // The next loads of both hand the host the same values.
        host.isInitialStep = 0;
        a.model.md.forceExecInvarCode(a.model.get(), 1);
        for (auto kind : {Circuit::LoadKind::Full, Circuit::LoadKind::RhsOnly}) {
            a.circuit->load(op.x, kind);
            const std::vector<LoadRecord> first = host.loads;
            b.circuit->load(op.x, kind);
            ASSERT_EQ(host.loads.size(), first.size());
            for (size_t k = 0; k < first.size(); ++k) {
                EXPECT_EQ(std::memcmp(first[k].values.data(), host.loads[k].values.data(),
                                      8 * first[k].values.size()),
                          0)
                    << "load " << k;
            }
        }
    }
}

TEST(ModuleState, AStringOfAnotherModuleOrCutShortIsRefused) {
    TestHost host;
    ModelInstance a(host, moduleSpec("alder_a"));
    ModelInstance other(host, moduleSpec("alder_b"));
    a.setUp();
    other.setUp();
    fill(a.spec, a.block(), 3.0);
    fill(other.spec, other.block(), 7.0);
    const Bytes mine = saveState(a);
    const Bytes theirs = saveState(other);
    fill(a.spec, a.block(), 5.0);
    a.block().execInvariant() = 0;
    const Bytes before = savedPart(a.spec, a.block());

    EXPECT_EQ(restoreState(a, theirs), 0);
    EXPECT_EQ(savedPart(a.spec, a.block()), before);
    EXPECT_EQ(restoreState(a, Bytes(mine.begin(), mine.end() - 1)), 0);
    EXPECT_EQ(savedPart(a.spec, a.block()), before);
    EXPECT_EQ(restoreState(a, Bytes()), 0);
    EXPECT_EQ(savedPart(a.spec, a.block()), before);
    EXPECT_EQ(restoreState(a, mine), 1);
    EXPECT_NE(savedPart(a.spec, a.block()), before);
}

// Every truncation and thousands of seeded corruptions: refused with the
// instance untouched, or taken over whole.
TEST(ModuleState, DamagedStringsNeverHalfRestore) {
    for (const char* name : {"alder_a", "alder_c", "birch_c", "cedar_a"}) {
        SCOPED_TRACE(name);
        TestHost host;
        const ModuleSpec& spec = moduleSpec(name);
        ModelInstance source(host, spec);
        source.setUp();
        fill(spec, source.block(), 2.0);
        const Bytes good = saveState(source);

        ModelInstance target(host, spec, "t");
        target.setUp();
        auto check = [&](const Bytes& damaged) {
            fill(spec, target.block(), 9.0);
            target.block().execInvariant() = 0;
            const Bytes before = savedPart(spec, target.block());
            const int32_t ok = restoreState(target, damaged);
            if (ok == 0) {
                ASSERT_EQ(savedPart(spec, target.block()), before);
            } else {
                ASSERT_EQ(ok, 1);
                // What was taken over is what the string says: saving it
                // again gives the string's record back.
                Bytes again = saveState(target);
                const size_t record = 8 * static_cast<size_t>(spec.memory + spec.vars) + 4 * static_cast<size_t>(spec.ints);
                ASSERT_EQ(std::memcmp(again.data(), damaged.data(), record), 0);
                ASSERT_EQ(target.block().execInvariant(), 1);
            }
        };
        for (size_t cut = 0; cut < good.size(); ++cut) {
            check(Bytes(good.begin(), good.begin() + static_cast<long>(cut)));
        }
        std::mt19937 rng(1234);
        for (int trial = 0; trial < 1500; ++trial) {
            Bytes damaged = good;
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int f = 0; f < flips; ++f) {
                damaged[rng() % damaged.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
            }
            check(damaged);
        }
    }
}

TEST(ModuleState, TheSerializerIsReleasedByTheFreeEntry) {
    TestHost host;
    ModelInstance m(host, moduleSpec("alder_a"));
    m.setUp();
    s_ZRT_DeviceState state{};
    uint32_t count = 0;
    uint8_t* bytes = m.md.saveDeviceState(m.get(), &state, &count);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(count, 1695u);
    EXPECT_NE(m.get()->pSerializer, nullptr);
    // A second save while the first is outstanding is refused; the first
    // buffer stays valid.
    uint32_t second = 7;
    EXPECT_EQ(m.md.saveDeviceState(m.get(), &state, &second), nullptr);
    EXPECT_EQ(second, 7u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes) + 1656, 15), "Operator_states");
    m.md.freeDeviceSerializer(m.get(), 1);
    EXPECT_EQ(m.get()->pSerializer, nullptr);
    m.md.freeDeviceSerializer(m.get(), 1);  // nothing left to release

    const Bytes saved = saveState(m);
    s_ZRT_DeviceState in{};
    EXPECT_EQ(m.md.restoreDeviceState(m.get(), &in, saved.data(), static_cast<uint32_t>(saved.size())), 1);
    EXPECT_NE(m.get()->pSerializer, nullptr);
    m.md.freeDeviceSerializer(m.get(), 0);
    EXPECT_EQ(m.get()->pSerializer, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Models, EachModuleState, ::testing::ValuesIn(kModules), ModuleName());

}  // namespace
