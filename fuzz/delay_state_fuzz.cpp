// Fuzz target: the delay-state payload (and its time-value history) read
// through the device-state stream, behind a one-double module record.
#include <cstddef>
#include <cstdint>

#include "dsl/ZRT_SupportLib.h"
#include "tests/stream_bytes.h"
#include "tests/test_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    testhost::TestHost host;
    s_ZRT_ModuleDesc md{};
    testhost::TestInstance inst(host, &md, testhost::TestInstance::Shape{});
    ZRT_GenericOperatorState* delay = host.sim.CreateDelaySpec(&host.sim);
    testhost::OneDoubleRec record{testhost::serializeOneDouble, 0.0};
    ZRT_GenericOperatorState* ops[1] = {delay};
    s_ZRT_DeviceState state{&record, 1, 0, ops, 0, 0, nullptr, inst.get()};
    const int32_t answer = ZRT_RestoreDeviceState(data, static_cast<uint32_t>(size), &state, inst.get());
    ZRT_FreeDeviceSerializer(inst.get(), 0);
    if (answer != 0 && answer != 1) {
        __builtin_trap();
    }
    releaseOperatorState(delay);
    return 0;
}
