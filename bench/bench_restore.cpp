// Start-up cost of a long history: the main window rebuilds its 5-second
// chart from a measure.txt of N lines (N / 5 chart steps) and its 30-second
// chart from a scope2.txt of N / 30 lines, as the staged start does. Prints
// the wall time of each rebuild (the window does nothing else meanwhile);
// only the end of a long log is read, so it should not grow with N.
//   bench_restore [lines]   (default 100000, about 28 hours of logging;
//                            7400000 makes a measure.txt of 200 MB)
#include "app/zolu.h"
#include "bench/figure.h"
#include "platform/clock.h"
#include "platform/mixerbackend.h"
#include "platform/wavein_device.h"
#include "platform/wavein_sources.h"
#include "platform/window_thread.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>

using namespace zol;

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    platform::InitWindowThread();
    platform::InstallClock(std::make_unique<platform::SimClock>());
    platform::InstallMixer(platform::CreateMixerBackend("sim"));
    platform::SetWaveInBackend(platform::MakeSimReceiverBackend());
    const int lines = argc > 1 ? std::max(5, std::atoi(argv[1])) : 100000;

    QTemporaryDir dir;
    {
        QByteArray measure;
        measure.reserve(lines * 27);
        for (int i = 0; i < lines; ++i)
            measure += QByteArray(i == 0 ? "*" : " ") + ",17:00:00,12/08/26," + QByteArray::number(20 + i % 50) +
                       ",25\r\n";
        QFile f(dir.filePath("measure.txt"));
        if (!f.open(QIODevice::WriteOnly) || f.write(measure) != measure.size())
            return 1;
        QByteArray scope2;
        for (int i = 0; i < lines / 30; ++i)
            scope2 += QByteArray::number(20 + i % 50) + ",60\r\n";
        QFile g(dir.filePath("scope2.txt"));
        if (!g.open(QIODevice::WriteOnly) || g.write(scope2) != scope2.size())
            return 1;
    }

    double ms1 = 0, ms2 = 0;
    {
        TOptions options;
        options.workdir = dir.path();
        TMainForm form(options);
        form.show();
        form.FormCreate();
        QElapsedTimer t;
        t.start();
        form.HT3Timer();  // measure.txt: rebuild, then open for appending
        ms1 = t.nsecsElapsed() / 1e6;
        t.restart();
        form.HT4Timer();  // scope2.txt
        ms2 = t.nsecsElapsed() / 1e6;
        form.close();
    }
    std::printf("measure.txt %d lines (%.1f MB, %d chart steps): %.1f ms\n", lines, lines * 27 / 1e6, lines / 5, ms1);
    std::printf("scope2.txt %d lines (%.1f MB, %d chart steps): %.1f ms\n", lines / 30, lines / 30 * 7 / 1e6, lines / 30,
                ms2);
    // The whole process at its largest: Qt, the window and the rebuild.
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMb = usage.ru_maxrss / 1024.0;
    std::printf("peak resident memory of the process: %.1f MB\n", peakMb);
    char name[64];
    std::snprintf(name, sizeof name, "restore_%d_lines_ms", lines);
    PrintFigure(name, ms1 + ms2, 1000, "ms");
    PrintFigure("restore_peak_rss", peakMb, 64, "MB");
    platform::InstallMixer(nullptr);
    platform::SetWaveInBackend(nullptr);
    platform::InstallClock(nullptr);
    return 0;
}
