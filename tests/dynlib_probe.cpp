// A loadable library with one known symbol, for the dynamic-library tests.
extern "C" __attribute__((visibility("default"))) int zrtProbeAnswer() { return 42; }
