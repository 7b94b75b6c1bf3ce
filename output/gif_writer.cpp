#include "output/gif_writer.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstddef>
#include <new>
#include <vector>

#include "imaging/cdib.h"

namespace {

constexpr int kMaxGifSide = 65535;  // logical screen and image sizes are 16-bit fields
constexpr int kPaletteSize = 256;   // always a full 8-bit colour table, as GDI+ writes it
constexpr std::uint32_t kNoColour = 0xFFFFFFFFu;

struct Colour {
    int r = 0, g = 0, b = 0;
};

Colour ColourOf(std::uint32_t key) { return {int(key >> 16), int((key >> 8) & 0xFF), int(key & 0xFF)}; }

int Channel(std::uint32_t key, int axis) { return int((key >> (16 - 8 * axis)) & 0xFF); }  // 0 r, 1 g, 2 b

// The picture's distinct colours with their pixel counts, and for every pixel the number of its colour.
struct ColourCensus {
    std::vector<std::uint32_t> colours;  // 0xRRGGBB, in order of first appearance
    std::vector<std::uint32_t> counts;   // a GIF holds at most 65535 x 65535 < 2^32 pixels
    std::vector<std::uint32_t> pixelColour;
};

// Open addressing with linear probing over the 24-bit colour value; the table doubles at half load.
class ColourIndex {
public:
    ColourIndex() : keys_(std::size_t(1) << 12, kNoColour), values_(keys_.size()) {}

    // The number of `key`, made the next free number when the key is new.
    std::uint32_t Find(std::uint32_t key, std::uint32_t next) {
        std::size_t slot = Slot(key);
        while (keys_[slot] != kNoColour) {
            if (keys_[slot] == key) return values_[slot];
            slot = (slot + 1) & (keys_.size() - 1);
        }
        keys_[slot] = key;
        values_[slot] = next;
        if (++used_ * 2 > keys_.size()) Grow();
        return next;
    }

private:
    std::size_t Slot(std::uint32_t key) const {
        const unsigned bits = unsigned(std::countr_zero(keys_.size()));
        return std::size_t((key * 0x9E3779B1u) >> (32 - bits));
    }
    void Grow() {
        std::vector<std::uint32_t> oldKeys(keys_.size() * 2, kNoColour), oldValues(oldKeys.size());
        oldKeys.swap(keys_);  // keys_ becomes the empty doubled table, oldKeys what was in use
        oldValues.swap(values_);
        for (std::size_t i = 0; i < oldKeys.size(); ++i) {
            if (oldKeys[i] == kNoColour) continue;
            std::size_t slot = Slot(oldKeys[i]);
            while (keys_[slot] != kNoColour) slot = (slot + 1) & (keys_.size() - 1);
            keys_[slot] = oldKeys[i];
            values_[slot] = oldValues[i];
        }
    }

    std::vector<std::uint32_t> keys_;
    std::vector<std::uint32_t> values_;
    std::size_t used_ = 0;
};

ColourCensus TakeCensus(int width, int height, const BgrRowSource& row) {
    ColourCensus census;
    census.pixelColour.resize(std::size_t(width) * std::size_t(height));
    ColourIndex index;
    std::uint32_t lastKey = kNoColour, lastNumber = 0;
    std::uint32_t* out = census.pixelColour.data();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const std::uint32_t key = (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
            // Screen pictures are mostly runs of one colour: skip the table lookup for a repeat.
            if (key != lastKey) {
                lastKey = key;
                lastNumber = index.Find(key, std::uint32_t(census.colours.size()));
                if (lastNumber == census.colours.size()) {
                    census.colours.push_back(key);
                    census.counts.push_back(0);
                }
            }
            ++census.counts[lastNumber];
            *out++ = lastNumber;
        }
    }
    return census;
}

// Weighted colour statistics of a set of census colours; exact in 64-bit integers.
struct Moments {
    std::int64_t weight = 0;
    std::array<std::int64_t, 3> sum{};
    std::array<std::int64_t, 3> sumSquares{};

    void Add(std::uint32_t key, std::int64_t w) {
        weight += w;
        for (int axis = 0; axis < 3; ++axis) {
            const std::int64_t c = Channel(key, axis);
            sum[axis] += w * c;
            sumSquares[axis] += w * c * c;
        }
    }
    void Add(const Moments& other) {
        weight += other.weight;
        for (std::size_t axis = 0; axis < 3; ++axis) {
            sum[axis] += other.sum[axis];
            sumSquares[axis] += other.sumSquares[axis];
        }
    }
    // Sum of squared distances to the mean along one axis; exact up to the final division (the sums of a
    // screen-sized box lose their low digits in a double, and a flat box must come out exactly 0).
    double Spread(int axis) const {
        if (weight == 0) return 0;
        const __int128 scaled = __int128(weight) * sumSquares[axis] - __int128(sum[axis]) * sum[axis];
        return double(scaled) / double(weight);
    }
    // Sum of squared distances to the mean.
    double Error() const { return Spread(0) + Spread(1) + Spread(2); }
    Colour Mean() const {
        const auto mean = [&](std::int64_t s) { return int((s + weight / 2) / weight); };
        return {mean(sum[0]), mean(sum[1]), mean(sum[2])};
    }
};

// A run of census colour numbers in the split order.
struct Box {
    std::size_t begin = 0, end = 0;
    Moments moments;
    double error = 0;
};

Box MakeBox(std::size_t begin, std::size_t end, const Moments& moments) {
    // A box of one colour cannot be split however many pixels it has.
    return {begin, end, moments, end - begin > 1 ? moments.Error() : 0};
}

Moments Difference(const Moments& whole, const Moments& part) {
    Moments rest = whole;
    rest.weight -= part.weight;
    for (std::size_t a = 0; a < 3; ++a) {
        rest.sum[a] -= part.sum[a];
        rest.sumSquares[a] -= part.sumSquares[a];
    }
    return rest;
}

// Splits `box` across its widest axis (by variance) at the point that leaves the least total error.
// The members are ordered by that axis with a stable counting sort, so the result never depends on the
// standard library's sort, and the cut is chosen between the sort's 256 buckets, whose moments the
// counting pass gathers on the way.
std::pair<Box, Box> SplitBox(const ColourCensus& census, std::vector<std::uint32_t>& members,
                             std::vector<std::uint32_t>& scratch, const Box& box) {
    int axis = 0;
    for (int a = 1; a < 3; ++a)
        if (box.moments.Spread(a) > box.moments.Spread(axis)) axis = a;

    std::array<std::size_t, 257> start{};
    std::array<Moments, 256> bucket{};
    for (std::size_t i = box.begin; i < box.end; ++i) {
        const std::uint32_t key = census.colours[members[i]];
        const int v = Channel(key, axis);
        ++start[std::size_t(v) + 1];
        bucket[std::size_t(v)].Add(key, census.counts[members[i]]);
    }
    for (std::size_t v = 0; v < 256; ++v) start[v + 1] += start[v];

    // Error(left) + Error(right) = const - (|S_l|^2 / W_l + |S_r|^2 / W_r): maximise the bracket. Equal
    // values on the axis never straddle the cut.
    Moments left, bestLeft;
    std::size_t bestCut = 0;
    double bestGain = -1;
    for (std::size_t v = 0; v < 255; ++v) {
        if (bucket[v].weight == 0) continue;
        left.Add(bucket[v]);
        if (left.weight == box.moments.weight) break;
        double gain = 0;
        const double wl = double(left.weight), wr = double(box.moments.weight - left.weight);
        for (std::size_t a = 0; a < 3; ++a) {
            const double sl = double(left.sum[a]), sr = double(box.moments.sum[a] - left.sum[a]);
            gain += sl * sl / wl + sr * sr / wr;
        }
        if (gain > bestGain) {
            bestGain = gain;
            bestCut = start[v + 1];
            bestLeft = left;
        }
    }

    for (std::size_t i = box.begin; i < box.end; ++i) {
        const std::uint32_t m = members[i];
        scratch[box.begin + start[std::size_t(Channel(census.colours[m], axis))]++] = m;
    }
    std::copy(scratch.begin() + std::ptrdiff_t(box.begin), scratch.begin() + std::ptrdiff_t(box.end),
              members.begin() + std::ptrdiff_t(box.begin));
    // The widest axis of a box with error has two values at least, so a cut was found.
    const std::size_t cut = box.begin + bestCut;
    return {MakeBox(box.begin, cut, bestLeft), MakeBox(cut, box.end, Difference(box.moments, bestLeft))};
}

// Nearest palette colour by squared RGB distance. The entries are kept ordered by r + g + b: since
// (dr + dg + db)^2 <= 3 (dr^2 + dg^2 + db^2), a search walking outwards from the query's own sum can stop
// in each direction once the sum difference alone rules out beating the best distance found. Colours of
// a picture spread mostly along brightness, so few entries are looked at.
class NearestColour {
public:
    explicit NearestColour(const std::vector<Colour>& palette) : palette_(palette) {
        for (std::size_t i = 0; i < palette.size(); ++i) {
            const Colour& c = palette[i];
            entries_.push_back({c.r + c.g + c.b, c.r, c.g, c.b, int(i)});
        }
        std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.sum < b.sum; });
        for (const Entry& e : entries_) sums_.push_back(e.sum);
    }

    // Index of the nearest entry (the lowest index among equals); `distance` receives its squared distance.
    // `guess`, an entry likely to be near (the answer of the previous round), only narrows the search.
    int Find(const Colour& c, int& distance, int guess = 0) const {
        const int sum = c.r + c.g + c.b;
        const std::ptrdiff_t n = std::ptrdiff_t(entries_.size());
        std::ptrdiff_t up = std::lower_bound(sums_.begin(), sums_.end(), sum) - sums_.begin();
        std::ptrdiff_t down = up - 1;
        const Colour& g = palette_[std::size_t(guess)];
        int best = (g.r - c.r) * (g.r - c.r) + (g.g - c.g) * (g.g - c.g) + (g.b - c.b) * (g.b - c.b);
        int bestIndex = guess;
        const auto consider = [&](const Entry& e) {
            const int dr = e.r - c.r, dg = e.g - c.g, db = e.b - c.b;
            const int d = dr * dr + dg * dg + db * db;
            if (d < best || (d == best && e.index < bestIndex)) {
                best = d;
                bestIndex = e.index;
            }
        };
        // best is at most 3 * 255^2 throughout, so 3 * best cannot overflow.
        while (up < n || down >= 0) {
            if (up < n) {
                const int ds = entries_[std::size_t(up)].sum - sum;
                if (ds * ds > 3 * best) {
                    up = n;
                } else {
                    consider(entries_[std::size_t(up++)]);
                }
            }
            if (down >= 0) {
                const int ds = sum - entries_[std::size_t(down)].sum;
                if (ds * ds > 3 * best) {
                    down = -1;
                } else {
                    consider(entries_[std::size_t(down--)]);
                }
            }
        }
        distance = best;
        return bestIndex;
    }

private:
    struct Entry {
        int sum, r, g, b, index;
    };
    const std::vector<Colour>& palette_;
    std::vector<Entry> entries_;
    std::vector<int> sums_;
};

// What the palette refinement works on: a census colour, or for a picture with very many colours a
// small cell of similar colours merged (their exact sums kept, so means stay exact).
struct Sample {
    Colour at;  // the colour searched for: the sample's own, or the cell's rounded mean
    std::int64_t weight = 0;
    std::array<std::int64_t, 3> sum{};
};

// Gives every sample the index of its nearest palette entry; `assignment` holds the previous answers on
// entry (they speed up the search) and the new ones on return. Returns the total error.
double Assign(const std::vector<Sample>& samples, const std::vector<Colour>& palette,
              std::vector<std::uint8_t>& assignment) {
    const NearestColour nearest(palette);
    double error = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        int distance = 0;
        assignment[i] = std::uint8_t(nearest.Find(samples[i].at, distance, assignment[i]));
        error += double(distance) * double(samples[i].weight);
    }
    return error;
}

// Lloyd iterations over the samples, weighted by their pixel counts: every sample goes to its nearest
// palette entry and every entry moves to the (rounded) mean of its pixels. Stops when the total error
// improves by less than a thousandth or after a fixed number of rounds, so the time stays bounded.
void RefinePalette(const std::vector<Sample>& samples, std::vector<Colour>& palette,
                   std::vector<std::uint8_t>& assignment) {
    constexpr int kMaxRounds = 8;
    double previousError = -1;
    for (int round = 0; round < kMaxRounds; ++round) {
        const double error = Assign(samples, palette, assignment);
        if (previousError >= 0 && previousError - error < previousError * 1e-3) return;
        previousError = error;
        std::vector<Sample> clusters(palette.size());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            Sample& cluster = clusters[assignment[i]];
            cluster.weight += samples[i].weight;
            for (int axis = 0; axis < 3; ++axis) cluster.sum[std::size_t(axis)] += samples[i].sum[std::size_t(axis)];
        }
        bool moved = false;
        for (std::size_t k = 0; k < palette.size(); ++k) {
            const Sample& cluster = clusters[k];
            if (cluster.weight == 0) continue;  // chosen by no sample this round: stays where it is
            const auto mean = [&](int axis) {
                return int((cluster.sum[std::size_t(axis)] + cluster.weight / 2) / cluster.weight);
            };
            const Colour next{mean(0), mean(1), mean(2)};
            if (next.r != palette[k].r || next.g != palette[k].g || next.b != palette[k].b) moved = true;
            palette[k] = next;
        }
        if (!moved) return;
    }
}

// Above this many colours the refinement runs on cells of 4 x 4 x 4 colour values instead: its cost then
// stays near that of a picture with this many colours, and the palette it finds is almost the same.
constexpr std::size_t kMaxExactSamples = 1 << 16;
constexpr int kCellShift = 2;

// The samples of the census, and for every census colour the number of its sample.
std::vector<Sample> MakeSamples(const ColourCensus& census, std::vector<std::uint32_t>& sampleOfColour) {
    const std::size_t distinct = census.colours.size();
    sampleOfColour.resize(distinct);
    std::vector<Sample> samples;
    const auto add = [](Sample& sample, std::uint32_t key, std::int64_t weight) {
        sample.weight += weight;
        for (int axis = 0; axis < 3; ++axis) sample.sum[std::size_t(axis)] += weight * Channel(key, axis);
    };
    if (distinct <= kMaxExactSamples) {
        samples.resize(distinct);
        for (std::size_t i = 0; i < distinct; ++i) {
            samples[i].at = ColourOf(census.colours[i]);
            add(samples[i], census.colours[i], census.counts[i]);
            sampleOfColour[i] = std::uint32_t(i);
        }
        return samples;
    }
    constexpr int kBits = 8 - kCellShift;
    std::vector<std::uint32_t> sampleOfCell(std::size_t(1) << (3 * kBits), kNoColour);
    for (std::size_t i = 0; i < distinct; ++i) {
        const std::uint32_t key = census.colours[i];
        const std::uint32_t cell = (std::uint32_t(Channel(key, 0) >> kCellShift) << (2 * kBits)) |
                                   (std::uint32_t(Channel(key, 1) >> kCellShift) << kBits) |
                                   std::uint32_t(Channel(key, 2) >> kCellShift);
        if (sampleOfCell[cell] == kNoColour) {
            sampleOfCell[cell] = std::uint32_t(samples.size());
            samples.emplace_back();
        }
        sampleOfColour[i] = sampleOfCell[cell];
        add(samples[sampleOfCell[cell]], key, census.counts[i]);
    }
    for (Sample& sample : samples) {
        const auto mean = [&](int axis) { return int((sample.sum[std::size_t(axis)] + sample.weight / 2) / sample.weight); };
        sample.at = {mean(0), mean(1), mean(2)};
    }
    return samples;
}

// Chooses at most 256 colours and gives every census colour its palette index.
std::vector<Colour> ChoosePalette(const ColourCensus& census, std::vector<std::uint8_t>& indexOfColour) {
    const std::size_t distinct = census.colours.size();
    indexOfColour.resize(distinct);
    std::vector<Colour> palette;
    if (distinct <= std::size_t(kPaletteSize)) {
        // Every colour fits: keep them exactly.
        for (std::size_t i = 0; i < distinct; ++i) {
            palette.push_back(ColourOf(census.colours[i]));
            indexOfColour[i] = std::uint8_t(i);
        }
        return palette;
    }

    std::vector<std::uint32_t> members(distinct), scratch(distinct);
    for (std::size_t i = 0; i < distinct; ++i) members[i] = std::uint32_t(i);
    Moments all;
    for (std::size_t i = 0; i < distinct; ++i) all.Add(census.colours[i], census.counts[i]);
    std::vector<Box> boxes{MakeBox(0, distinct, all)};
    while (boxes.size() < std::size_t(kPaletteSize)) {
        std::size_t worst = 0;
        for (std::size_t i = 1; i < boxes.size(); ++i)
            if (boxes[i].error > boxes[worst].error) worst = i;
        if (boxes[worst].error <= 0) break;
        auto [left, right] = SplitBox(census, members, scratch, boxes[worst]);
        boxes[worst] = left;
        boxes.push_back(right);
    }
    scratch = {};

    // The box means are the first palette; every sample starts out at the box of (one of) its colours.
    std::vector<std::uint32_t> sampleOfColour;
    const std::vector<Sample> samples = MakeSamples(census, sampleOfColour);
    std::vector<std::uint8_t> sampleIndex(samples.size());
    for (std::size_t k = 0; k < boxes.size(); ++k) {
        palette.push_back(boxes[k].moments.Mean());
        for (std::size_t i = boxes[k].begin; i < boxes[k].end; ++i) sampleIndex[sampleOfColour[members[i]]] = std::uint8_t(k);
    }
    RefinePalette(samples, palette, sampleIndex);

    // Every colour to its own nearest entry of the final palette, starting from its sample's.
    const NearestColour nearest(palette);
    for (std::size_t i = 0; i < distinct; ++i) {
        int distance = 0;
        indexOfColour[i] =
            std::uint8_t(nearest.Find(ColourOf(census.colours[i]), distance, sampleIndex[sampleOfColour[i]]));
    }
    return palette;
}

int AppendToArray(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<ByteArray*>(gif->UserData);
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        return 0;  // giflib reports a write error; the exception must not cross its C frames
    }
    return length;
}

// giflib's part: one frame, no interlace, the palette as the global colour table.
ByteArray WriteGifFile(int width, int height, const std::vector<Colour>& palette, std::vector<std::uint8_t>& pixels) {
    std::array<GifColorType, kPaletteSize> colours{};
    for (std::size_t i = 0; i < palette.size(); ++i)
        colours[i] = {GifByteType(palette[i].r), GifByteType(palette[i].g), GifByteType(palette[i].b)};
    ColorMapObject map{};
    map.ColorCount = kPaletteSize;
    map.BitsPerPixel = 8;
    map.SortFlag = false;
    map.Colors = colours.data();

    ByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, AppendToArray, &error);
    if (gif == nullptr) return {};
    // EGifCloseFile writes the trailer and frees the handle whatever went before, so it runs exactly once.
    bool ok = EGifPutScreenDesc(gif, width, height, 8, 0, &map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < height; ++y)
        ok = EGifPutLine(gif, pixels.data() + std::size_t(y) * std::size_t(width), width) == GIF_OK;
    if (EGifCloseFile(gif, &error) != GIF_OK || !ok) return {};
    return out;
}

}  // namespace

ByteArray EncodeGif(int width, int height, const BgrRowSource& row) {
    if (width < 1 || height < 1 || width > kMaxGifSide || height > kMaxGifSide || !row) return {};
    try {
        const ColourCensus census = TakeCensus(width, height, row);
        std::vector<std::uint8_t> indexOfColour;
        const std::vector<Colour> palette = ChoosePalette(census, indexOfColour);
        std::vector<std::uint8_t> pixels(census.pixelColour.size());
        for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = indexOfColour[census.pixelColour[i]];
        return WriteGifFile(width, height, palette, pixels);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

ByteArray EncodeBmpAsGif(const ByteArray& bmp) {
    CDIB source;
    if (!source.LoadBmpData(bmp)) return {};
    const CDIB rgb = source.ChangeBitDepth(24);
    if (rgb.IsEmpty() || rgb.BitCount() != 24) return {};
    return EncodeGif(rgb.Width(), rgb.Height(), [&rgb](int y) { return rgb.Row(y); });
}

bool IsCompleteGif(const ByteArray& gif, int width, int height) {
    const std::size_t size = gif.size();
    const auto word = [&](std::size_t at) { return int(gif[at]) | (int(gif[at + 1]) << 8); };
    if (size < 13 || gif[0] != 'G' || gif[1] != 'I' || gif[2] != 'F' || gif[3] != '8' ||
        (gif[4] != '7' && gif[4] != '9') || gif[5] != 'a')
        return false;
    if (word(6) != width || word(8) != height) return false;
    std::size_t at = 13;
    if (gif[10] & 0x80) at += std::size_t(3) << ((gif[10] & 7) + 1);

    // Skips a chain of data sub-blocks up to its zero-length terminator; false when it runs off the end.
    const auto skipSubBlocks = [&](std::size_t& dataBytes) {
        dataBytes = 0;
        for (;;) {
            if (at >= size) return false;
            const std::size_t length = gif[at++];
            if (length == 0) return true;
            if (size - at < length) return false;
            at += length;
            dataBytes += length;
        }
    };

    bool sawImage = false;
    while (at < size) {
        const std::uint8_t introducer = gif[at++];
        std::size_t dataBytes = 0;
        if (introducer == 0x3B) return sawImage;
        if (introducer == 0x21) {  // extension: label, then sub-blocks
            if (at >= size) return false;
            ++at;
            if (!skipSubBlocks(dataBytes)) return false;
        } else if (introducer == 0x2C) {  // image descriptor
            if (size - at < 9) return false;
            const int left = word(at), top = word(at + 2), w = word(at + 4), h = word(at + 6);
            const std::uint8_t flags = gif[at + 8];
            at += 9;
            if (flags & 0x80) {
                const std::size_t table = std::size_t(3) << ((flags & 7) + 1);
                if (size - at < table) return false;
                at += table;
            }
            if (at >= size) return false;
            const int minCodeSize = gif[at++];
            if (minCodeSize < 2 || minCodeSize > 8) return false;
            if (!skipSubBlocks(dataBytes)) return false;
            if (w == 0 || h == 0 || left + w > width || top + h > height || dataBytes == 0) return false;
            sawImage = true;
        } else {
            return false;
        }
    }
    return false;  // no trailer
}
