#include <benchmark/benchmark.h>

#ifdef MONDREL_BENCH_WIDGETS
#include <QApplication>
using BenchmarkApplication = QApplication;
#else
#include <QCoreApplication>
using BenchmarkApplication = QCoreApplication;
#endif

// Benchmarks run with an application object so that Qt timers, sockets and networking work in them; those
// of widgets draw offscreen unless told otherwise.
int main(int argc, char** argv) {
#ifdef MONDREL_BENCH_WIDGETS
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    BenchmarkApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
