#include "tests/fuzz/fuzz_targets.h"

#include "app/diskio.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace zol::fuzz {

namespace {

struct TempFolder {
    std::string path;
    TempFolder()
    {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/zol-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("zol fuzz: no temporary folder");
            std::abort();
        }
        path = pattern;
        // Inputs are run many thousand times a second: what the targets
        // write needs no trip to the disk.
        diskio::SetSyncFunction([](int) { return 0; });
    }
    ~TempFolder()
    {
        const std::string command = "rm -rf '" + path + "'";
        if (std::system(command.c_str()) != 0) {
        }
    }
};

TempFolder& Folder()
{
    static TempFolder folder;
    return folder;
}

}  // namespace

void Broken(const char* promise)
{
    std::fprintf(stderr, "zol fuzz: broken promise: %s\n", promise);
    std::fflush(stderr);
    std::abort();
}

const char* WriteTempFile(const char* name, const std::uint8_t* data, std::size_t size)
{
    static thread_local std::string path;
    path = Folder().path + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::perror("zol fuzz: cannot write the input file");
        std::abort();
    }
    return path.c_str();
}

const std::vector<Target>& Targets()
{
    static const std::vector<Target> targets = {
        {"ini", IniFile},           {"measure", MeasureRestore}, {"scope2", Scope2Restore},
        {"equ", EqualizerStream},   {"obj", ObjectStream},       {"audiofile", AudioFile},
        {"bitmaplist", BitmapList},
    };
    return targets;
}

}  // namespace zol::fuzz
