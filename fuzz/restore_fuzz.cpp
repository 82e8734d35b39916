// Fuzz target: a module's restore entry given any bytes. The first byte picks
// one of the nine modules; the rest is the saved state. A restore answers 0
// or 1 and never crashes; after a 1 the instance still loads.
#include <cstddef>
#include <cstdint>

#include "tests/model_fixture.h"
#include "tests/model_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const testhost::ModuleSpec& spec = testhost::kModules[data[0] % 9];
    testhost::TestHost host;
    testhost::ModelInstance m(host, spec);
    m.setUp();
    s_ZRT_DeviceState state{};
    const int32_t answer =
        m.md.restoreDeviceState(m.get(), &state, data + 1, static_cast<uint32_t>(size - 1));
    m.md.freeDeviceSerializer(m.get(), 0);
    if (answer != 0 && answer != 1) {
        __builtin_trap();
    }
    m.md.genericAnalogLoad(m.get(), &host.loader);
    return 0;
}
