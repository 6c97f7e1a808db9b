#include "platform/linux/PanelContrast.h"
#include "platform/linux/QtStatusItem.h"

#include <QHash>
#include <QImage>

#include <benchmark/benchmark.h>

namespace {

// A panel window as large as a screen, noisy as a wallpaper behind a transparent panel, with its own colour
// in two pixels of five.
QImage noisyPanel(int side) {
    QImage image(side, side, QImage::Format_RGB32);
    quint32 seed = 1;
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < side; ++x) {
            seed = seed * 1664525U + 1013904223U;
            line[x] = (seed >> 24) < 100 ? qRgb(0x30, 0x30, 0x30) : (seed | 0xff000000U);
        }
    }
    return image;
}

// The baseline: every pixel of the whole panel window counted, as the colour used to be judged.
QColor everyPixel(const QImage& image) {
    QHash<QRgb, int> counts;
    QRgb best = 0;
    int bestCount = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int count = ++counts[line[x]];
            if (count > bestCount) {
                best = line[x];
                bestCount = count;
            }
        }
    }
    return QColor::fromRgb(best);
}

void BM_PanelColourEveryPixelOfTheWindow(benchmark::State& state) {
    const QImage panel = noisyPanel(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(everyPixel(panel));
}
BENCHMARK(BM_PanelColourEveryPixelOfTheWindow)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);

// Now: the square around the icon that the status item grabs, judged on its grid.
void BM_PanelColourAroundTheIcon(benchmark::State& state) {
    const int side = int(state.range(0));
    const QImage panel = noisyPanel(side);
    const QRect region =
        QtStatusItem::panelSampleRegion(QRectF(side / 2.0, side / 2.0, side, side), QRectF(0, 0, side, side));
    for (auto _ : state)
        benchmark::DoNotOptimize(PanelContrast::dominantColour(panel.copy(region)));
}
BENCHMARK(BM_PanelColourAroundTheIcon)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);

// A whole window, should a caller hand one over: the grid bounds it all the same.
void BM_PanelColourOnTheGrid(benchmark::State& state) {
    const QImage panel = noisyPanel(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(PanelContrast::dominantColour(panel));
}
BENCHMARK(BM_PanelColourOnTheGrid)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);

} // namespace
