#pragma once
// The colour-depth conversion written the plain way, as CDIB's behaviour is defined: columns in the
// outer loop, one GetPixel and one write per pixel, and for a palette target a search of the whole
// colour table for every pixel. It is the yardstick for CDIB::ChangeBitDepth: the tests demand the
// same bytes from both, and the benchmarks measure how much faster the real one is.
#include <cstdint>
#include <vector>

#include "imaging/cdib.h"

inline CDIB ReferenceChangeBitDepth(const CDIB& source, int bits) {
    if (source.IsEmpty() || bits == source.BitCount()) return source.ChangeBitDepth(std::int16_t(bits));
    CDIB target;
    target.Create(source.Width(), source.Height(), bits, CDIB::kNoFill);
    if (target.IsEmpty()) return target;
    const std::vector<Rgb> table = target.ColorTable();
    for (int x = 0; x < source.Width(); ++x) {
        for (int y = 0; y < source.Height(); ++y) {
            const ColorRef colour = source.GetPixel(x, y);
            if (bits <= 8)
                target.SetPixelIndex(x, y, NearestPaletteIndex(table.data(), int(table.size()), colour));
            else
                target.SetPixel(x, y, colour);
        }
    }
    return target;
}
