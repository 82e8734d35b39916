// Fuzz target: the noise-table data-file reader given any file contents.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "dsl/ZRT_SupportLib.h"
#include "tests/test_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/hbx_noise_fuzz_" + std::to_string(getpid()) + ".txt";
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    testhost::TestHost host;
    s_ZRT_ModuleDesc md{};
    testhost::TestInstance inst(host, &md, testhost::TestInstance::Shape{});
    ZRT_NoiseSrc* src = &inst.get()->noiseSrcs[0];
    ZRT_setNoiseSrcInfo(src, ZRT_TABLE_NOISE_SRC, 0, "nt", inst.get());
    s_ZRT_Array* table = doReadNoiseTableFile(path.c_str(), src);
    ZRT_destroyNoiseTableFile(table);
    return 0;
}
