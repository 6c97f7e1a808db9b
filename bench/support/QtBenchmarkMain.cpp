#include <QCoreApplication>
#include <benchmark/benchmark.h>

// Benchmarks run with an application object so that Qt timers, sockets and networking work in them.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
