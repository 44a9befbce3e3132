// Painting cost of the character grid. The goal: a full panel's worth of cells (760 × 490)
// in at most 8 ms, half a frame at 60 Hz, once the CJK font is cached.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <algorithm>

#include "views/CharacterGrid.h"
#include "views/FontCoverage.h"

namespace {

QStringList codes(char32_t first, int count) {
    QStringList list;
    for (char32_t c = first; c < first + static_cast<char32_t>(count); ++c) {
        list << QString::fromUcs4(&c, 1);
    }
    return list;
}

void paintPanel(benchmark::State& state, char32_t first) {
    sumiro::CharacterGrid grid;
    grid.resize(760, 1);
    grid.setCharacters(codes(first, 20000));
    QImage image(760, 490, QImage::Format_ARGB32_Premultiplied);
    grid.render(&image, {}, QRegion(0, 0, 760, 490));  // loads and caches the font
    for (auto _ : state) {
        grid.render(&image, {}, QRegion(0, 0, 760, 490));
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["cells"] = static_cast<double>(grid.lastPaint().cells);
}

void BM_PaintPanelKanji(benchmark::State& state) { paintPanel(state, 0x4E00); }
void BM_PaintPanelExtensionB(benchmark::State& state) { paintPanel(state, 0x20000); }
void BM_PaintPanelCodes(benchmark::State& state) { paintPanel(state, 0xF0000); }

void BM_RenderabilityOfAPanel(benchmark::State& state) {
    const QStringList list = codes(0x20000, 150);
    const sumiro::FontCoverage& fonts = sumiro::FontCoverage::installed();
    for (auto _ : state) {
        int renderable = 0;
        for (const QString& c : list) renderable += fonts.renders(c);
        benchmark::DoNotOptimize(renderable);
    }
}

// The mouse moving from cell to cell over an on-screen grid, each move followed by its repaint.
// "cells" is the most cells one repaint drew: the two whose hover mark changed.
void BM_HoverAcrossCells(benchmark::State& state) {
    sumiro::CharacterGrid grid;
    grid.resize(760, 490);
    grid.setCharacters(codes(0x4E00, 150));
    grid.show();
    QApplication::processEvents();
    const sumiro::GridLayout layout = grid.gridLayout();
    qsizetype cell = 0;
    qsizetype most = 0;
    for (auto _ : state) {
        const QPointF at = layout.pitchRect(cell).center();
        QMouseEvent move(QEvent::MouseMove, at, grid.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&grid, &move);
        QApplication::processEvents();  // paints just the pending dirty region
        most = std::max(most, grid.lastPaint().cells);
        cell = (cell + 1) % 150;
    }
    state.counters["cells"] = static_cast<double>(most);
}

// Assigning the longest browse list (every CJK ideograph of the BMP and Extension B).
void BM_AssignLongList(benchmark::State& state) {
    QStringList list = codes(0x4E00, 0x9FFF - 0x4E00 + 1) + codes(0x20000, 0xA6E0);
    sumiro::CharacterGrid grid;
    grid.resize(760, 1);
    for (auto _ : state) grid.setCharacters(list);
    state.counters["characters"] = static_cast<double>(list.size());
}

// The one-time cost of gathering the coverage of every installed font.
void BM_GatherFontCoverage(benchmark::State& state) {
    for (auto _ : state) {
        sumiro::FontCoverage fonts;
        benchmark::DoNotOptimize(fonts.covers(U'木'));
    }
}

}  // namespace

BENCHMARK(BM_HoverAcrossCells)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AssignLongList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GatherFontCoverage)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PaintPanelKanji)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintPanelExtensionB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintPanelCodes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderabilityOfAPanel)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
