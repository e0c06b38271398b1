// The libFuzzer entry of one target, chosen at build time.
#include "tests/fuzz/fuzz_targets.h"

#include <QCoreApplication>

#ifndef ZOL_FUZZ_ENTRY
#error "ZOL_FUZZ_ENTRY names the target's entry function"
#endif

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Some readers look at the application's settings (its name, the
    // locale); an application object makes them behave as in the program.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return zol::fuzz::ZOL_FUZZ_ENTRY(data, size);
}
