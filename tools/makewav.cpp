// Writes a test recording as zol captures it (11025 Hz, 16-bit stereo PCM
// WAV): a 650 Hz carrier whose level steps through the given values, each
// held for HOLD seconds and repeated to the end, with optional noise.
//   zol_makewav [--noise DB] FILE SECONDS HOLD DB...
// Levels are dB below full scale (0: full scale). The noise is uniform,
// from a fixed seed, so the same arguments always give the same file.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kRate = 11025;
constexpr double kPi = 3.14159265358979323846;

void Put16(std::vector<unsigned char>& out, unsigned v)
{
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

void Put32(std::vector<unsigned char>& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

int Usage()
{
    std::fprintf(stderr, "usage: zol_makewav [--noise DB] FILE SECONDS HOLD DB...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int a = 1;
    double noiseDb = -1;
    if (a + 1 < argc && std::strcmp(argv[a], "--noise") == 0) {
        noiseDb = std::atof(argv[a + 1]);
        a += 2;
    }
    if (argc - a < 4)
        return Usage();
    const char* path = argv[a];
    const double seconds = std::atof(argv[a + 1]);
    const double hold = std::atof(argv[a + 2]);
    std::vector<double> levels;
    for (int i = a + 3; i < argc; ++i)
        levels.push_back(std::pow(10.0, -std::atof(argv[i]) / 20.0));
    const double maxSeconds = 0xFFFFFFF0u / 4.0 / kRate;
    if (!(seconds > 0 && seconds < maxSeconds) || !(hold > 0))
        return Usage();
    const double noise = noiseDb >= 0 ? std::pow(10.0, -noiseDb / 20.0) : 0.0;

    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) {
        std::perror(path);
        return 1;
    }
    const auto frames = static_cast<std::uint32_t>(std::llround(seconds * kRate));
    std::vector<unsigned char> out;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    Put32(out, 36 + frames * 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(out, 16);
    Put16(out, 1);  // PCM
    Put16(out, 2);
    Put32(out, kRate);
    Put32(out, kRate * 4);
    Put16(out, 4);
    Put16(out, 16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    Put32(out, frames * 4);

    std::uint32_t seed = 0x2545F491u;
    const auto holdFrames = static_cast<std::uint64_t>(std::llround(hold * kRate));
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double level = levels[(i / holdFrames) % levels.size()];
        double v = level * std::sin(2 * kPi * 650.0 * i / kRate);
        if (noise > 0) {
            seed = seed * 1664525u + 1013904223u;
            v += noise * ((seed >> 8) / 8388608.0 - 1.0);
        }
        const long s = std::lround(std::fmax(-32768.0, std::fmin(32767.0, v * 32768.0)));
        Put16(out, static_cast<unsigned>(s) & 0xFFFF);
        Put16(out, static_cast<unsigned>(s) & 0xFFFF);
        if (out.size() >= (1u << 20)) {
            if (std::fwrite(out.data(), 1, out.size(), f) != out.size())
                break;
            out.clear();
        }
    }
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    if (std::fclose(f) != 0 || !ok) {
        std::perror(path);
        return 1;
    }
    return 0;
}
