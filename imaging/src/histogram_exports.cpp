// The histogram and levels exports: clearing, the levels and their automatic choice,
// and drawing the bins and the two level markers into the program's histogram panel.
#include <QPainter>
#include <QPen>

#include "export_guard.h"
#include "histogram_levels.h"
#include "vantelo.h"

namespace {

constexpr int kBarHeight = 110;

// One-pixel aliased lines that cover their start point but not their end point, so
// that a bar of height h covers exactly h pixels. Qt's own end-point rule depends on
// the direction, so the covered span is drawn with both ends included.
QPen linePen(const QColor& colour) {
    return QPen(colour, 1, Qt::SolidLine, Qt::SquareCap);
}

void drawVertical(QPainter* dc, int x, int from, int to) {
    if (from == to) return;
    const int last = to > from ? to - 1 : to + 1;
    dc->drawLine(QPoint(x, from), QPoint(x, last));
}

}  // namespace

extern "C" VANTELO_API int Mes_InitHistogram(void) {
    vantelo::clearHistogram();
    return KD_DONE;
}

extern "C" VANTELO_API int Mes_SetLevelsValues(int black, int white) {
    vantelo::setLevels(black, white);
    return KD_DONE;
}

extern "C" VANTELO_API int Mes_GetLevelsValues(short* black, short* white) {
    if (black == nullptr || white == nullptr) return KD_NOTHING_DONE;
    std::uint16_t b = 0, w = 0;
    vantelo::getLevels(b, w);
    *black = static_cast<short>(b);
    *white = static_cast<short>(w);
    return KD_DONE;
}

extern "C" VANTELO_API int Mes_AutoLevels(int on) {
    vantelo::setAutoLevels(on != 0);
    return KD_DONE;
}

extern "C" VANTELO_API int Mes_DrawHistogramData(QPainter* dc, RECT* rect) {
    if (dc == nullptr || rect == nullptr) return KD_NOTHING_DONE;
    return vantelo::guardedExport("Mes_DrawHistogramData", int{KD_NOTHING_DONE}, [&]() -> int {
        std::int32_t bins[vantelo::kHistogramBins];
        std::int64_t sum = 0;
        for (int i = 0; i < vantelo::kHistogramBins; ++i) {
            bins[i] = vantelo::histogramBin(i);
            sum += bins[i];
        }
        // Bars reach full height at four times the mean bin.
        const std::int64_t full = sum / 256 * 4;
        const float scale =
            full > 0 ? static_cast<float>(kBarHeight) / static_cast<float>(full) : 0.0f;
        dc->save();
        dc->setRenderHint(QPainter::Antialiasing, false);
        dc->setPen(linePen(QColor(0, 0, 222)));
        const int bottom = rect->bottom - 1;
        int height = 0;
        for (int i = 0; i < vantelo::kHistogramBins; ++i) {
            const std::int32_t c = bins[i];
            // An empty bin repeats the bar before it.
            if (c != 0)
                height = c < full ? static_cast<int>(static_cast<float>(c) * scale) : kBarHeight;
            const int x = rect->left + 1 + i;
            drawVertical(dc, x, bottom, bottom - height);
        }
        dc->restore();
        return KD_DONE;
    });
}

extern "C" VANTELO_API int Mes_DrawHistogramFram(QPainter* dc, RECT* rect) {
    if (dc == nullptr || rect == nullptr) return KD_NOTHING_DONE;
    return vantelo::guardedExport("Mes_DrawHistogramFram", int{KD_NOTHING_DONE}, [&]() -> int {
        std::uint16_t black = 0, white = 0;
        vantelo::getLevels(black, white);
        const float s = static_cast<float>(rect->right - rect->left - 1) / 256.0f;
        dc->save();
        dc->setRenderHint(QPainter::Antialiasing, false);
        const int blackX = rect->left + 1 + static_cast<int>(static_cast<float>(black) * s);
        dc->setPen(linePen(QColor(255, 0, 255)));
        drawVertical(dc, blackX, rect->top + 1, rect->bottom - 1);
        const int whiteX = rect->left + 1 + static_cast<int>(static_cast<float>(white) * s);
        dc->setPen(linePen(QColor(0, 255, 255)));
        drawVertical(dc, whiteX, rect->top + 1, rect->bottom - 1);
        dc->restore();
        return KD_DONE;
    });
}
