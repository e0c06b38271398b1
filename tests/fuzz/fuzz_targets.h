// Entry functions of the fuzz targets: each takes one input as bytes, runs
// it through the program's own reading path and checks what it promises
// about the result. A broken promise aborts (a finding); bad input that is
// refused with a clear error is no finding. libFuzzer drives them in the
// fuzz build; the corpus test feeds them every stored input in the ordinary
// sanitizer build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zol::fuzz {

using EntryFunction = int (*)(const std::uint8_t* data, std::size_t size);

struct Target {
    const char* name;  // also the name of its corpus folder
    EntryFunction entry;
};

int IniFile(const std::uint8_t* data, std::size_t size);
int MeasureRestore(const std::uint8_t* data, std::size_t size);
int Scope2Restore(const std::uint8_t* data, std::size_t size);
int EqualizerStream(const std::uint8_t* data, std::size_t size);
int ObjectStream(const std::uint8_t* data, std::size_t size);
int AudioFile(const std::uint8_t* data, std::size_t size);
int BitmapList(const std::uint8_t* data, std::size_t size);

const std::vector<Target>& Targets();

// Aborts with the broken promise named: the input that got here is a
// finding.
[[noreturn]] void Broken(const char* promise);
inline void Check(bool promise, const char* what)
{
    if (!promise)
        Broken(what);
}

// A private folder for the files the targets write (made on first use,
// removed at exit), and the path of `name` in it after writing `size` bytes.
const char* WriteTempFile(const char* name, const std::uint8_t* data, std::size_t size);

}  // namespace zol::fuzz
