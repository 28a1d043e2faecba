// main() of the benchmarks that need a QApplication: offscreen unless a display is
// wanted and present.
#pragma once

#include <QApplication>
#include <benchmark/benchmark.h>

inline int RunQtBenchmarks(int argc, char **argv, bool useDisplay) {
    if (!useDisplay || (qEnvironmentVariableIsEmpty("DISPLAY") &&
                        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
