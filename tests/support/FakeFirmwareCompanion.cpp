// A companion library of the stand-in firmware library: the variant built with FAKEFW_COMPANION
// needs it and finds it beside itself through RUNPATH $ORIGIN only.

#include <cstdint>

extern "C" __attribute__((visibility("default"))) int32_t FakeFWDep_Answer(void) {
    return 730;
}
