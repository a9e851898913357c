// A tweak for the loader's tests: its load-time function counts how often it ran.

extern "C" {
__attribute__((visibility("default"))) int testTweakLoads = 0;
}

namespace {
__attribute__((constructor)) void loaded() {
  ++testTweakLoads;
}
}  // namespace
