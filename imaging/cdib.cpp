#include "imaging/cdib.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace {

// The texts kept as the object's last error (GBK in the binary).
constexpr char kNoBitmap[] = "位图尚未创建，没有可用数据";
constexpr char kBadDepth[] = "位深度无效";
constexpr char kUnsupported[] = "不被支持的位图数据或无法识别的文件格式";
constexpr char kNoColorTable[] = "当前位图格式不使用颜色表";
constexpr char kBadIndex[] = "颜色索引无效";
constexpr char kOutOfRange[] = "像素点坐标越界";
constexpr char kNoBuffer[] = "缓冲区无效或大小不够";

// Raised inside an operation; the operation's boundary turns it into the last error text.
class CDIBException {
public:
    explicit CDIBException(const char* message) : message_(message) {}
    const char* what() const { return message_; }

private:
    const char* message_;
};

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kCoreHeaderSize = 12;
constexpr std::uint32_t kBiRgb = 0;

// Limits on what a bitmap may be: beyond these a header is garbage, not a screen, and honouring it
// would only mean a huge allocation.
constexpr std::int64_t kMaxDimension = 65535;
constexpr std::uint64_t kMaxPixelBytes = std::uint64_t(1) << 30;

// Offsets in the 40-byte BITMAPINFOHEADER.
constexpr std::size_t kBiWidth = 4, kBiHeight = 8, kBiPlanes = 12, kBiBitCount = 14, kBiClrUsed = 32;

std::uint16_t Get16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

bool ValidDepth(std::int64_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

std::uint64_t StrideFor(std::int64_t width, std::int64_t bits) {
    return 4 * ((std::uint64_t(bits) * std::uint64_t(width) + 31) / 32);
}

std::uint64_t DefaultColorCount(std::int64_t bits) { return bits <= 8 ? std::uint64_t(1) << bits : 0; }

// Size of the pixel rows, after refusing dimensions no screen has.
std::uint64_t CheckedPixelBytes(std::int64_t width, std::int64_t height, std::int64_t bits) {
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension)
        throw CDIBException(kUnsupported);
    const std::uint64_t bytes = StrideFor(width, bits) * std::uint64_t(height);
    if (bytes > kMaxPixelBytes) throw CDIBException(kUnsupported);
    return bytes;
}

// ---- Fixed palettes -------------------------------------------------------------------------------

constexpr std::array<Rgb, 2> kPalette1 = {{{0, 0, 0}, {255, 255, 255}}};

constexpr std::array<Rgb, 16> kPalette4 = {{
    {0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00},
    {0x00, 0x00, 0x80}, {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0x80, 0x80, 0x80},
    {0xC0, 0xC0, 0xC0}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
}};

constexpr std::array<Rgb, 256> MakePalette8() {
    std::array<Rgb, 256> p{};
    for (int n = 0; n < 256; ++n)
        p[n] = Rgb{std::uint8_t((n % 8) * 32), std::uint8_t((n / 8 % 8) * 32), std::uint8_t(n / 64 * 64)};
    // The twenty static colours of the system palette take the two ends.
    constexpr Rgb low[10] = {{0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00},
                             {0x00, 0x00, 0x80}, {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0xC0, 0xC0, 0xC0},
                             {0xC0, 0xDC, 0xC0}, {0xA6, 0xCA, 0xF0}};
    constexpr Rgb high[10] = {{0xFF, 0xFB, 0xF0}, {0xA0, 0xA0, 0xA4}, {0x80, 0x80, 0x80}, {0xFF, 0x00, 0x00},
                              {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00}, {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF},
                              {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}};
    for (int i = 0; i < 10; ++i) {
        p[i] = low[i];
        p[246 + i] = high[i];
    }
    return p;
}
constexpr std::array<Rgb, 256> kPalette8 = MakePalette8();

int SquaredDistance(const Rgb& e, int red, int green, int blue) {
    const int r = e.red - red, g = e.green - green, b = e.blue - blue;
    return r * r + g * g + b * b;
}

// ---- Nearest colour of a fixed palette --------------------------------------------------------------
//
// The colour cube is cut into cells of at most 8 x 8 x 8 colours. For each cell we keep the palette
// entries that can be the nearest for some colour in it: entry e qualifies when its smallest
// possible distance to the cell is no larger than the largest possible distance of the entry that is
// closest in the worst case. The true answer for any colour of the cell always qualifies (its
// distance is at most that bound), and an entry left out is strictly farther than that one, so it
// cannot even tie: searching the kept entries in index order with a strict comparison gives
// exactly GetNearestPaletteIndex's answer.
//
// Cell c of a channel spans the values 8c - 7 .. 8c (cell 0 is value 0 alone, cell 31 is 241 ..
// 255), so that the halfway values of the 8-bit palette's levels (16, 48, ... for red and green,
// 32, 96, ... for blue), which tie and go to the lower entry, end a cell instead of starting one.
// With the entries that another one beats on the whole cell dropped as well, 19 cells in 20 keep a
// single entry and answer at once; the others are split once more in eight, and only what is
// still open after that is searched. A cell's number is the 5-5-5 packing of the colour with 7
// added to each channel (saturating at 255), which the vector loop computes for 8 pixels at once.
class PaletteMatcher {
public:
    explicit PaletteMatcher(std::span<const Rgb> table) : table_(table.begin(), table.end()) {
        const int count = int(table_.size());
        // The values of each half; one half has none (cell 0 is value 0 alone) and stays empty.
        std::fill(std::begin(fineLow_), std::end(fineLow_), 256);
        std::fill(std::begin(fineHigh_), std::end(fineHigh_), -1);
        for (int v = 0; v < 256; ++v) {
            fineLow_[Fine(v)] = std::min(fineLow_[Fine(v)], v);
            fineHigh_[Fine(v)] = std::max(fineHigh_[Fine(v)], v);
            for (int c = 0; c < 3; ++c) halfBit_[c][v] = std::uint8_t((Fine(v) & 1) << (2 - c));
        }
        // Per channel and cell, the smallest and largest squared difference to each entry.
        std::vector<int> minD[3], maxD[3];
        for (int c = 0; c < 3; ++c) {
            minD[c].resize(kSide * count);
            maxD[c].resize(kSide * count);
            for (int cell = 0; cell < kSide; ++cell) {
                const int lo = CellLow(cell), hi = CellHigh(cell);
                for (int e = 0; e < count; ++e) {
                    const int v = Channel(table_[e], c);
                    const int near = v < lo ? lo - v : v > hi ? v - hi : 0;
                    const int far = std::max(std::abs(v - lo), std::abs(v - hi));
                    minD[c][cell * count + e] = near * near;
                    maxD[c][cell * count + e] = far * far;
                }
            }
        }
        cells_.resize(kSide * kSide * kSide);
        std::vector<std::uint8_t> kept, narrowed;
        for (int r = 0; r < kSide; ++r) {
            for (int g = 0; g < kSide; ++g) {
                for (int b = 0; b < kSide; ++b) {
                    const int* minR = &minD[0][r * count];
                    const int* minG = &minD[1][g * count];
                    const int* minB = &minD[2][b * count];
                    const int* maxR = &maxD[0][r * count];
                    const int* maxG = &maxD[1][g * count];
                    const int* maxB = &maxD[2][b * count];
                    int bound = INT_MAX;
                    for (int e = 0; e < count; ++e) bound = std::min(bound, maxR[e] + maxG[e] + maxB[e]);
                    kept.clear();
                    for (int e = 0; e < count; ++e)
                        if (minR[e] + minG[e] + minB[e] <= bound) kept.push_back(std::uint8_t(e));
                    RemoveBeaten(kept, CellBox(r, g, b));
                    std::uint16_t& cell = cells_[(r << 10) | (g << 5) | b];
                    if (kept.size() == 1) {
                        cell = kept[0];
                        continue;
                    }
                    // A mixed cell is split in eight halves of each channel, which mostly settle.
                    cell = std::uint16_t(kMixed | (halves_.size() / 8));
                    for (int half = 0; half < 8; ++half) {
                        const Box box = HalfBox(r, g, b, half);
                        narrowed = kept;
                        if (box.Empty())
                            narrowed.resize(1);  // never looked up
                        else
                            Narrow(narrowed, box);
                        if (narrowed.size() == 1) {
                            halves_.push_back(narrowed[0]);
                        } else {
                            halves_.push_back(std::uint16_t(kMixed | mixed_.size()));
                            mixed_.push_back({std::uint32_t(candidates_.size()), std::uint32_t(narrowed.size())});
                            candidates_.insert(candidates_.end(), narrowed.begin(), narrowed.end());
                        }
                    }
                }
            }
        }
    }

    static constexpr std::uint16_t kMixed = 0x8000;

    // Channel value v falls in cell Fine(v) / 2, in its lower or upper half by Fine(v) % 2. The
    // last cell, 241 .. 255, is split 241 .. 254 and 255, so that colours made of 0s and 255s,
    // white above all, settle at the second step.
    static int Fine(int v) { return v == 255 ? 63 : v >= 241 ? 62 : (v + 7) >> 2; }
    static std::uint32_t Key(int red, int green, int blue) {
        return std::uint32_t(((Fine(red) >> 1) << 10) | ((Fine(green) >> 1) << 5) | (Fine(blue) >> 1));
    }
    // The cell's answer, or kMixed and where its halves are.
    std::uint16_t CellAt(std::uint32_t key) const { return cells_[key]; }
    // For a mixed cell, the answer of the colour's half, or kMixed and where its kept entries are.
    std::uint16_t Half(std::uint16_t cell, int red, int green, int blue) const {
        const unsigned half = halfBit_[0][red] | halfBit_[1][green] | halfBit_[2][blue];
        return halves_[(cell & ~kMixed) * 8u + half];
    }
    // For a mixed half, the search of its kept entries.
    std::uint8_t Search(std::uint16_t half, int red, int green, int blue) const {
        const Mixed& m = mixed_[half & ~kMixed];
        const std::uint8_t* kept = &candidates_[m.offset];
        int best = INT_MAX;
        std::uint8_t index = 0;
        for (std::uint32_t i = 0; i < m.count; ++i) {
            const int d = SquaredDistance(table_[kept[i]], red, green, blue);
            const bool nearer = d < best;
            best = nearer ? d : best;
            index = nearer ? kept[i] : index;
        }
        return index;
    }
    std::uint8_t Nearest(int red, int green, int blue) const {
        const std::uint16_t cell = CellAt(Key(red, green, blue));
        if (!(cell & kMixed)) return std::uint8_t(cell);
        const std::uint16_t half = Half(cell, red, green, blue);
        if (!(half & kMixed)) return std::uint8_t(half);
        return Search(half, red, green, blue);
    }

private:
    struct Mixed {
        std::uint32_t offset, count;
    };
    struct Box {
        int low[3], high[3];
        bool Empty() const { return low[0] > high[0] || low[1] > high[1] || low[2] > high[2]; }
    };

    static int Channel(const Rgb& e, int c) { return c == 0 ? e.red : c == 1 ? e.green : e.blue; }
    int CellLow(int cell) const { return std::min(fineLow_[2 * cell], fineLow_[2 * cell + 1]); }
    int CellHigh(int cell) const { return std::max(fineHigh_[2 * cell], fineHigh_[2 * cell + 1]); }
    Box CellBox(int r, int g, int b) const {
        return {{CellLow(r), CellLow(g), CellLow(b)}, {CellHigh(r), CellHigh(g), CellHigh(b)}};
    }
    Box HalfBox(int r, int g, int b, int half) const {
        const int fr = 2 * r + ((half >> 2) & 1), fg = 2 * g + ((half >> 1) & 1), fb = 2 * b + (half & 1);
        return {{fineLow_[fr], fineLow_[fg], fineLow_[fb]}, {fineHigh_[fr], fineHigh_[fg], fineHigh_[fb]}};
    }

    // Keeps the entries that may be the nearest somewhere in the box (see above).
    void Narrow(std::vector<std::uint8_t>& kept, const Box& box) const {
        int bound = INT_MAX;
        int nearest[256];
        for (std::size_t i = 0; i < kept.size(); ++i) {
            int near = 0, far = 0;
            for (int c = 0; c < 3; ++c) {
                const int v = Channel(table_[kept[i]], c), lo = box.low[c], hi = box.high[c];
                const int n = v < lo ? lo - v : v > hi ? v - hi : 0, f = std::max(std::abs(v - lo), std::abs(v - hi));
                near += n * n;
                far += f * f;
            }
            nearest[i] = near;
            bound = std::min(bound, far);
        }
        std::size_t left = 0;
        for (std::size_t i = 0; i < kept.size(); ++i)
            if (nearest[i] <= bound) kept[left++] = kept[i];
        kept.resize(left);
        RemoveBeaten(kept, box);
    }

    // Drops every entry that another kept entry beats on the whole box: nearer everywhere, or
    // never farther and of lower index. What is dropped can answer no colour of the box, and
    // since "beats" is transitive an entry may be dropped even for one that is dropped itself.
    void RemoveBeaten(std::vector<std::uint8_t>& kept, const Box& box) const {
        if (kept.size() < 2) return;
        bool beaten[256] = {};
        for (std::size_t i = 0; i < kept.size(); ++i)
            for (std::size_t j = 0; j < kept.size() && !beaten[i]; ++j)
                beaten[i] = j != i && Beats(kept[j], kept[i], box);
        std::size_t left = 0;
        for (std::size_t i = 0; i < kept.size(); ++i)
            if (!beaten[i]) kept[left++] = kept[i];
        kept.resize(left);
    }

    // d(c, f) - d(c, e) is linear in the colour c, so its largest value on the box is at the
    // corner that each channel's coefficient points to.
    bool Beats(int f, int e, const Box& box) const {
        int worst = 0;
        for (int k = 0; k < 3; ++k) {
            const int fv = Channel(table_[f], k), ev = Channel(table_[e], k);
            const int coefficient = -2 * (fv - ev);
            worst += fv * fv - ev * ev + coefficient * (coefficient > 0 ? box.high[k] : box.low[k]);
        }
        return worst < 0 || (worst == 0 && f < e);
    }

    static constexpr int kSide = 32;
    std::vector<Rgb> table_;
    int fineLow_[64], fineHigh_[64];
    std::uint8_t halfBit_[3][256];  // per channel, the value's bit of the half number
    // Per cell: the answer, or kMixed | the number of its eight halves in halves_.
    std::vector<std::uint16_t> cells_;
    // Per half of a mixed cell: the answer, or kMixed | its slot in mixed_.
    std::vector<std::uint16_t> halves_;
    std::vector<Mixed> mixed_;
    std::vector<std::uint8_t> candidates_;
};

// Each table is prepared the first time its depth is asked for (a few milliseconds for 8 bits).
const PaletteMatcher& MatcherFor(int bits) {
    switch (bits) {
    case 1: {
        static const PaletteMatcher matcher(kPalette1);
        return matcher;
    }
    case 4: {
        static const PaletteMatcher matcher(kPalette4);
        return matcher;
    }
    default: {
        static const PaletteMatcher matcher(kPalette8);
        return matcher;
    }
    }
}

// ---- Row converters -------------------------------------------------------------------------------
//
// A conversion walks the rows once. Each source depth has a decoder to blue-green-red triplets and
// each target depth an encoder from them; a 24-bit side is used in place, so the pairs the program
// uses (to 24 bits, and from 24 to 16, 8 or 4) are single loops. Every byte of a target row is
// written, padding as zero.
//
// The loops that only move bits (32 <-> 24, 16 <-> 24) and the cell numbers of the palette
// encoders have an AVX2 version for the bulk of a row when the processor has it (checked at run
// time: the program must run on any x86-64); the portable loop finishes the row.

std::atomic<bool> vectorAllowed{true};

#if defined(__GNUC__) || defined(__clang__)
#define CDIB_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define CDIB_ALWAYS_INLINE inline
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CDIB_AVX2 1

bool UseAvx2() {
    static const bool present = __builtin_cpu_supports("avx2");
    return present && vectorAllowed.load(std::memory_order_relaxed);
}

// Each loop runs while 11 or more pixels are left, so that its 32-byte loads and stores of 8
// pixels of 24 bits (24 bytes used, 8 more touched) stay inside the row; the spare bytes it stores
// are written again by the next step. The portable loop takes over for the rest.

__attribute__((target("avx2"))) __m256i CompactToBgr(__m256i bgrx) {
    const __m256i drop = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                          0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    return _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(bgrx, drop), _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
}

__attribute__((target("avx2"))) __m256i SpreadToBgrx(__m256i bgr) {
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                            0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    return _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(bgr, _mm256_setr_epi32(0, 1, 2, 0, 3, 4, 5, 0)), spread);
}

__attribute__((target("avx2"))) int Bgrx32ToBgrAvx2(const std::uint8_t* src, int width, std::uint8_t* bgr) {
    int x = 0;
    for (; x + 11 <= width; x += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * x));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(bgr + 3 * x), CompactToBgr(v));
    }
    return x;
}

__attribute__((target("avx2"))) int Rgb555ToBgrAvx2(const std::uint8_t* src, int width, std::uint8_t* bgr) {
    const __m256i blue = _mm256_set1_epi32(0xF8), green = _mm256_set1_epi32(0xF800), red = _mm256_set1_epi32(0xF80000);
    int x = 0;
    for (; x + 11 <= width; x += 8) {
        const __m256i w =
            _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * x)));
        const __m256i v = _mm256_or_si256(
            _mm256_and_si256(_mm256_slli_epi32(w, 3), blue),
            _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi32(w, 6), green),
                            _mm256_and_si256(_mm256_slli_epi32(w, 9), red)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(bgr + 3 * x), CompactToBgr(v));
    }
    return x;
}

__attribute__((target("avx2"))) int BgrToRgb555Avx2(const std::uint8_t* bgr, int width, std::uint8_t* dst) {
    const __m256i blue = _mm256_set1_epi32(0x1F), green = _mm256_set1_epi32(0x3E0), red = _mm256_set1_epi32(0x7C00);
    int x = 0;
    for (; x + 11 <= width; x += 8) {
        const __m256i v = SpreadToBgrx(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bgr + 3 * x)));
        const __m256i w = _mm256_or_si256(
            _mm256_and_si256(_mm256_srli_epi32(v, 3), blue),
            _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(v, 6), green),
                            _mm256_and_si256(_mm256_srli_epi32(v, 9), red)));
        const __m128i words = _mm_packus_epi32(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * x), words);
    }
    return x;
}

__attribute__((target("avx2"))) int BgrToBgrx32Avx2(const std::uint8_t* bgr, int width, std::uint8_t* dst) {
    int x = 0;
    for (; x + 11 <= width; x += 8) {
        const __m256i v = SpreadToBgrx(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bgr + 3 * x)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * x), v);
    }
    return x;
}
#endif

using Lut = std::array<std::array<std::uint8_t, 3>, 256>;

void DecodeRow(const std::uint8_t* src, int width, int bits, const Lut& lut, std::uint8_t* bgr) {
    int x = 0;
    switch (bits) {
    case 32:
#ifdef CDIB_AVX2
        if (UseAvx2()) x = Bgrx32ToBgrAvx2(src, width, bgr);
#endif
        for (; x < width; ++x) {
            bgr[3 * x] = src[4 * x];
            bgr[3 * x + 1] = src[4 * x + 1];
            bgr[3 * x + 2] = src[4 * x + 2];
        }
        break;
    case 24:
        std::memcpy(bgr, src, std::size_t(width) * 3);
        break;
    case 16:
#ifdef CDIB_AVX2
        if (UseAvx2()) x = Rgb555ToBgrAvx2(src, width, bgr);
#endif
        for (; x < width; ++x) {
            const unsigned w = Get16(src + 2 * x);
            bgr[3 * x] = std::uint8_t((w & 31) << 3);
            bgr[3 * x + 1] = std::uint8_t(((w >> 5) & 31) << 3);
            bgr[3 * x + 2] = std::uint8_t(((w >> 10) & 31) << 3);
        }
        break;
    case 8:
        for (; x < width; ++x) std::memcpy(bgr + 3 * x, lut[src[x]].data(), 3);
        break;
    case 4:
        for (; x < width; ++x) {
            const std::uint8_t b = src[x >> 1];
            std::memcpy(bgr + 3 * x, lut[(x & 1) ? (b & 15) : (b >> 4)].data(), 3);
        }
        break;
    case 1:
        for (; x < width; ++x) std::memcpy(bgr + 3 * x, lut[(src[x >> 3] >> (7 - (x & 7))) & 1].data(), 3);
        break;
    }
}

// The groups of 24 bytes are compared and written as 64-bit words in memory order.
static_assert(std::endian::native == std::endian::little);

// Palette targets. A screen is mostly runs of one colour, so the row is taken 8 pixels at a time:
// 8 pixels that all equal the last colour looked up are 24 bytes compared with its repeated pattern
// and get its index without a lookup; any other group looks up its 8 cells together (so that the
// loads overlap) and searches only where a cell is mixed.
template <int Bits>
class PaletteEncoder {
public:
    static constexpr int kGroupBytes = Bits;  // 8 pixels of Bits bits each

    explicit PaletteEncoder(const PaletteMatcher& matcher) : matcher_(matcher) {}

    // Writes the packed indices of the row; returns the number of bytes written.
    std::size_t Encode(const std::uint8_t* bgr, int width, std::uint8_t* dst);

    // When the 8 pixels at bgr are all the last colour looked up, writes their indices and says so.
    bool Repeat(const std::uint8_t* bgr, std::uint8_t* dst) const {
        std::uint64_t group[3];
        std::memcpy(group, bgr, 24);
        if (((group[0] ^ last_.pattern[0]) | (group[1] ^ last_.pattern[1]) | (group[2] ^ last_.pattern[2])) != 0)
            return false;
        std::memcpy(dst, &last_.packed, kGroupBytes);
        return true;
    }

    // Inlined into the vector loop as well, whose target allows everything this needs.
    CDIB_ALWAYS_INLINE void Group(const std::uint8_t* bgr, const std::uint32_t* keys, std::uint8_t* dst) {
        std::uint8_t index[8];
        unsigned mixed = 0;  // bit i: pixel i's cell is mixed
        for (int i = 0; i < 8; ++i) {
            const std::uint16_t cell = matcher_.CellAt(keys[i]);
            index[i] = std::uint8_t(cell);
            mixed |= unsigned((cell & PaletteMatcher::kMixed) != 0) << i;
        }
        for (; mixed; mixed &= mixed - 1) {
            const int i = std::countr_zero(mixed);
            index[i] = Resolve(matcher_.CellAt(keys[i]), bgr + 3 * i);
        }
        Pack(index, 8, dst);
        Remember(bgr + 21, index[7]);
    }

private:
    std::uint8_t Lookup(const std::uint8_t* p) {
        return Resolve(matcher_.CellAt(PaletteMatcher::Key(p[2], p[1], p[0])), p);
    }

    // Colours that still need a search are few and recur (the near-whites around the system
    // palette's light entries, the shades of anti-aliased text), so their answers are kept by full
    // colour in a small direct-mapped table.
    std::uint8_t Resolve(std::uint16_t cell, const std::uint8_t* p) {
        if (!(cell & PaletteMatcher::kMixed)) return std::uint8_t(cell);
        const std::uint16_t half = matcher_.Half(cell, p[2], p[1], p[0]);
        if (!(half & PaletteMatcher::kMixed)) return std::uint8_t(half);
        const std::uint32_t colour = p[0] | (p[1] << 8) | (std::uint32_t(p[2]) << 16);
        const std::uint32_t slot = (colour * 0x9E3779B1u) >> (32 - kSearchedBits);
        if (searchedColour_[slot] == colour) return searchedIndex_[slot];
        const std::uint8_t index = matcher_.Search(half, p[2], p[1], p[0]);
        searchedColour_[slot] = colour;
        searchedIndex_[slot] = index;
        return index;
    }

    // 8 pixels of one colour as they appear in a row, and the packed bytes of 8 of its index.
    struct Uniform {
        std::uint64_t pattern[3] = {};
        std::uint64_t packed = 0;
    };

    // Makes the colour at p, whose index is known, the last colour looked up.
    void Remember(const std::uint8_t* p, std::uint8_t index) {
        const std::uint64_t c = p[0] | (p[1] << 8) | (std::uint32_t(p[2]) << 16);
        const std::uint64_t rotate1 = (c >> 16) | ((c << 8) & 0xFFFFFF);  // starts with red
        const std::uint64_t rotate2 = (c >> 8) | ((c << 16) & 0xFFFFFF);  // starts with green
        constexpr std::uint64_t kRepeat3 = 0x0001000001000001ull;
        last_.pattern[0] = c * kRepeat3;
        last_.pattern[1] = rotate1 * kRepeat3;
        last_.pattern[2] = rotate2 * kRepeat3;
        if constexpr (Bits == 8)
            last_.packed = index * 0x0101010101010101ull;
        else if constexpr (Bits == 4)
            last_.packed = ((index << 4) | index) * 0x01010101ull;
        else
            last_.packed = index ? 0xFF : 0;
    }

    static void Pack(const std::uint8_t* index, int count, std::uint8_t* dst) {
        if constexpr (Bits == 8) {
            std::memcpy(dst, index, std::size_t(count));
        } else if constexpr (Bits == 4) {
            for (int i = 0; i < count; i += 2)
                *dst++ = std::uint8_t((index[i] << 4) | (i + 1 < count ? index[i + 1] : 0));
        } else {
            if (count == 0) return;
            std::uint8_t byte = 0;
            for (int i = 0; i < count; ++i) byte |= std::uint8_t(index[i] << (7 - i));
            *dst = byte;
        }
    }

    static constexpr int kSearchedBits = 12;

    const PaletteMatcher& matcher_;
    Uniform last_;  // set from the first pixel of every row before use
    // A slot whose colour is not a 24-bit colour is empty.
    std::vector<std::uint32_t> searchedColour_ = std::vector<std::uint32_t>(std::size_t(1) << kSearchedBits, ~0u);
    std::vector<std::uint8_t> searchedIndex_ = std::vector<std::uint8_t>(std::size_t(1) << kSearchedBits);
};

#ifdef CDIB_AVX2
// The groups of a row while 11 or more pixels are left (see above), cell numbers computed for 8
// pixels at once; returns the first pixel left.
template <int Bits>
__attribute__((target("avx2"))) int EncodeGroupsAvx2(PaletteEncoder<Bits>& encoder, const std::uint8_t* bgr,
                                                     int width, std::uint8_t* dst) {
    const __m256i seven = _mm256_set1_epi32(0x070707);
    const __m256i blue = _mm256_set1_epi32(0x1F), green = _mm256_set1_epi32(0x3E0), red = _mm256_set1_epi32(0x7C00);
    int x = 0;
    for (; x + 11 <= width; x += 8, bgr += 24, dst += PaletteEncoder<Bits>::kGroupBytes) {
        if (encoder.Repeat(bgr, dst)) continue;
        const __m256i v =
            _mm256_adds_epu8(SpreadToBgrx(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bgr))), seven);
        const __m256i key = _mm256_or_si256(
            _mm256_and_si256(_mm256_srli_epi32(v, 3), blue),
            _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(v, 6), green),
                            _mm256_and_si256(_mm256_srli_epi32(v, 9), red)));
        alignas(32) std::uint32_t keys[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(keys), key);
        encoder.Group(bgr, keys, dst);
    }
    return x;
}
#endif

template <int Bits>
std::size_t PaletteEncoder<Bits>::Encode(const std::uint8_t* bgr, int width, std::uint8_t* dst) {
    Remember(bgr, Lookup(bgr));
    int x = 0;
#ifdef CDIB_AVX2
    if (UseAvx2()) {
        x = EncodeGroupsAvx2(*this, bgr, width, dst);
        bgr += 3 * x;
        dst += x / 8 * kGroupBytes;
    }
#endif
    for (; x + 8 <= width; x += 8, bgr += 24, dst += kGroupBytes) {
        if (Repeat(bgr, dst)) continue;
        std::uint32_t keys[8];
        for (int i = 0; i < 8; ++i) keys[i] = PaletteMatcher::Key(bgr[3 * i + 2], bgr[3 * i + 1], bgr[3 * i]);
        Group(bgr, keys, dst);
    }
    std::uint8_t index[8];
    const int left = width - x;
    for (int i = 0; i < left; ++i) index[i] = Lookup(bgr + 3 * i);
    Pack(index, left, dst);
    return (std::size_t(width) * Bits + 7) / 8;
}

// Encodes rows of blue-green-red triplets at one depth; lives for one conversion, so the palette
// encoders keep what they learn from row to row.
class RowEncoder {
public:
    explicit RowEncoder(int bits) : bits_(bits) {
        switch (bits) {
        case 8: eight_.emplace(MatcherFor(8)); break;
        case 4: four_.emplace(MatcherFor(4)); break;
        case 1: one_.emplace(MatcherFor(1)); break;
        }
    }

    void Encode(const std::uint8_t* bgr, int width, std::uint8_t* dst, std::size_t stride) {
        std::size_t written = 0;
        int x = 0;
        switch (bits_) {
        case 32:
#ifdef CDIB_AVX2
            if (UseAvx2()) x = BgrToBgrx32Avx2(bgr, width, dst);
#endif
            for (; x < width; ++x) {
                dst[4 * x] = bgr[3 * x];
                dst[4 * x + 1] = bgr[3 * x + 1];
                dst[4 * x + 2] = bgr[3 * x + 2];
                dst[4 * x + 3] = 0;
            }
            written = std::size_t(width) * 4;
            break;
        case 24:
            std::memcpy(dst, bgr, std::size_t(width) * 3);
            written = std::size_t(width) * 3;
            break;
        case 16:
#ifdef CDIB_AVX2
            if (UseAvx2()) x = BgrToRgb555Avx2(bgr, width, dst);
#endif
            for (; x < width; ++x)
                Put16(dst + 2 * x, ((bgr[3 * x + 2] >> 3) << 10) | ((bgr[3 * x + 1] >> 3) << 5) | (bgr[3 * x] >> 3));
            written = std::size_t(width) * 2;
            break;
        case 8: written = eight_->Encode(bgr, width, dst); break;
        case 4: written = four_->Encode(bgr, width, dst); break;
        case 1: written = one_->Encode(bgr, width, dst); break;
        }
        std::memset(dst + written, 0, stride - written);
    }

private:
    int bits_;
    std::optional<PaletteEncoder<8>> eight_;
    std::optional<PaletteEncoder<4>> four_;
    std::optional<PaletteEncoder<1>> one_;
};

Lut MakeLut(const std::vector<Rgb>& table) {
    Lut lut{};  // indices past the table read as black
    for (std::size_t i = 0; i < table.size() && i < lut.size(); ++i)
        lut[i] = {table[i].blue, table[i].green, table[i].red};
    return lut;
}

}  // namespace

std::uint8_t NearestPaletteIndex(const Rgb* table, int count, ColorRef colour) {
    const int red = RedOf(colour), green = GreenOf(colour), blue = BlueOf(colour);
    int best = INT_MAX;
    std::uint8_t index = 0;
    for (int i = 0; i < count && i < 256; ++i) {
        const int d = SquaredDistance(table[i], red, green, blue);
        if (d < best) {
            best = d;
            index = std::uint8_t(i);
        }
    }
    return index;
}

std::span<const Rgb> FixedPalette(int bits) {
    switch (bits) {
    case 1: return kPalette1;
    case 4: return kPalette4;
    case 8: return kPalette8;
    default: return {};
    }
}

void EnableVectorConversion(bool enabled) { vectorAllowed.store(enabled); }

std::uint8_t NearestFixedPaletteIndex(int bits, ColorRef colour) {
    return MatcherFor(bits).Nearest(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

// ---- CDIB -------------------------------------------------------------------------------------------

CDIB::CDIB() = default;
CDIB::~CDIB() = default;

CDIB::CDIB(CDIB&& other) noexcept
    : block_(std::move(other.block_)),
      blockSize_(std::exchange(other.blockSize_, 0)),
      fixedPalette_(std::exchange(other.fixedPalette_, false)),
      lastError_(std::move(other.lastError_)) {}

CDIB& CDIB::operator=(CDIB&& other) noexcept {
    block_ = std::move(other.block_);
    blockSize_ = std::exchange(other.blockSize_, 0);
    fixedPalette_ = std::exchange(other.fixedPalette_, false);
    lastError_ = std::move(other.lastError_);
    return *this;
}

int CDIB::Width() const { return block_ ? int(Get32(&block_[kBiWidth])) : 0; }
int CDIB::Height() const { return block_ ? int(Get32(&block_[kBiHeight])) : 0; }
int CDIB::BitCount() const { return block_ ? Get16(&block_[kBiBitCount]) : 0; }
std::size_t CDIB::Stride() const { return block_ ? std::size_t(StrideFor(Width(), BitCount())) : 0; }

std::size_t CDIB::ColorCount() const {
    if (!block_) return 0;
    const std::uint32_t used = Get32(&block_[kBiClrUsed]);
    return used ? used : std::size_t(DefaultColorCount(BitCount()));
}

std::uint8_t* CDIB::Pixels() const { return block_.get() + kInfoHeaderSize + 4 * ColorCount(); }

const std::uint8_t* CDIB::Row(int y) const {
    if (!block_ || y < 0 || y >= Height()) return nullptr;
    return PixelRowForWrite(y);
}

std::uint8_t* CDIB::PixelRowForWrite(int y) const {
    return Pixels() + std::size_t(Height() - 1 - y) * Stride();
}

std::vector<Rgb> CDIB::ColorTable() const {
    if (!block_) return {};
    std::vector<Rgb> table(ColorCount());
    const std::uint8_t* entry = block_.get() + kInfoHeaderSize;
    for (Rgb& rgb : table) {
        rgb = Rgb{entry[2], entry[1], entry[0]};
        entry += 4;
    }
    return table;
}

PixelRect CDIB::GetRect() const {
    lastError_.clear();
    return PixelRect{0, 0, Width(), Height()};
}

void CDIB::Release() {
    block_.reset();
    blockSize_ = 0;
    fixedPalette_ = false;
}

// Allocates a block with a fresh 40-byte header; a palette depth gets room for its full table.
void CDIB::AllocateFor(int width, int height, int bits, bool zeroed) {
    Release();
    if (!ValidDepth(bits)) throw CDIBException(kBadDepth);
    const std::uint64_t pixelBytes = CheckedPixelBytes(width, height, bits);
    const std::size_t size = std::size_t(kInfoHeaderSize + 4 * DefaultColorCount(bits) + pixelBytes);
    std::unique_ptr<std::uint8_t[]> block(zeroed ? new (std::nothrow) std::uint8_t[size]()
                                                 : new (std::nothrow) std::uint8_t[size]);
    if (!block) throw CDIBException(kNoBuffer);
    std::memset(block.get(), 0, kInfoHeaderSize);
    Put32(&block[0], kInfoHeaderSize);
    Put32(&block[kBiWidth], std::uint32_t(width));
    Put32(&block[kBiHeight], std::uint32_t(height));
    Put16(&block[kBiPlanes], 1);
    Put16(&block[kBiBitCount], std::uint32_t(bits));
    block_ = std::move(block);
    blockSize_ = size;
}

void CDIB::CopyFixedPalette() {
    std::uint8_t* entry = block_.get() + kInfoHeaderSize;
    for (const Rgb& rgb : FixedPalette(BitCount())) {
        *entry++ = rgb.blue;
        *entry++ = rgb.green;
        *entry++ = rgb.red;
        *entry++ = 0;
    }
    fixedPalette_ = BitCount() <= 8;
}

bool CDIB::LoadBmpData(const ByteArray& data) {
    lastError_.clear();
    Release();
    try {
        const std::uint8_t* file = data.data();
        const std::uint64_t length = data.size();
        if (length < kFileHeaderSize + kInfoHeaderSize || file[0] != 'B' || file[1] != 'M')
            throw CDIBException(kUnsupported);
        if (Get32(file + 2) > length) throw CDIBException(kUnsupported);
        const std::uint64_t offBits = Get32(file + 10);
        const std::uint32_t headerSize = Get32(file + 14);
        const std::uint8_t* info = file + kFileHeaderSize;

        std::uint8_t header[kInfoHeaderSize] = {};
        std::int64_t width, height;
        std::uint32_t planes, bits, compression, colorsUsed;
        if (headerSize == kInfoHeaderSize) {
            std::memcpy(header, info, kInfoHeaderSize);
            width = std::int32_t(Get32(info + 4));
            height = std::int32_t(Get32(info + 8));
            planes = Get16(info + 12);
            bits = Get16(info + 14);
            compression = Get32(info + 16);
            colorsUsed = Get32(info + 32);
        } else if (headerSize == kCoreHeaderSize) {
            // OS/2 core header: 16-bit unsigned sizes, no compression, 3-byte colour entries.
            width = Get16(info + 4);
            height = Get16(info + 6);
            planes = Get16(info + 8);
            bits = Get16(info + 10);
            compression = kBiRgb;
            colorsUsed = 0;
            Put32(header, kInfoHeaderSize);
            Put32(header + kBiWidth, std::uint32_t(width));
            Put32(header + kBiHeight, std::uint32_t(height));
            Put16(header + kBiPlanes, planes);
            Put16(header + kBiBitCount, bits);
        } else {
            throw CDIBException(kUnsupported);
        }
        // Height <= 0 (top-down rows) is refused here with the absurd sizes.
        if (!ValidDepth(bits) || planes != 1 || compression != kBiRgb) throw CDIBException(kUnsupported);
        const std::uint64_t pixelBytes = CheckedPixelBytes(width, height, bits);

        const std::uint64_t colors = colorsUsed ? colorsUsed : DefaultColorCount(bits);
        const std::uint64_t entrySize = headerSize == kInfoHeaderSize ? 4 : 3;
        const std::uint64_t tableOffset = kFileHeaderSize + headerSize;
        if (tableOffset + entrySize * colors > length) throw CDIBException(kUnsupported);
        if (offBits >= length) throw CDIBException(kUnsupported);

        const std::size_t size = std::size_t(kInfoHeaderSize + 4 * colors + pixelBytes);
        std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[size]);
        if (!block) throw CDIBException(kNoBuffer);
        std::memcpy(block.get(), header, kInfoHeaderSize);
        std::uint8_t* entry = block.get() + kInfoHeaderSize;
        for (std::uint64_t i = 0; i < colors; ++i, entry += 4) {
            const std::uint8_t* src = file + tableOffset + i * entrySize;
            entry[0] = src[0];
            entry[1] = src[1];
            entry[2] = src[2];
            entry[3] = 0;
        }
        // A file may carry fewer pixel bytes than its rows need (a capture cut short). Rather than
        // refuse it, the missing bytes, which are the top rows, read as zero (black): the picture
        // that did arrive stays usable and nothing is ever read past the file's end. Bytes beyond
        // the rows are dropped; no operation would look at them.
        const std::uint64_t present = std::min(length - offBits, pixelBytes);
        std::memcpy(entry, file + offBits, std::size_t(present));
        std::memset(entry + present, 0, std::size_t(pixelBytes - present));

        block_ = std::move(block);
        blockSize_ = size;
        if (bits <= 8 && colors == DefaultColorCount(bits)) {
            const std::vector<Rgb> table = ColorTable();
            const std::span<const Rgb> fixed = FixedPalette(int(bits));
            fixedPalette_ = std::equal(table.begin(), table.end(), fixed.begin(), fixed.end());
        }
        return true;
    } catch (const CDIBException& e) {
        Release();
        lastError_ = e.what();
    } catch (const std::bad_alloc&) {
        Release();
        lastError_ = kNoBuffer;
    }
    return false;
}

void CDIB::Create(int width, int height, int bits, ColorRef fill) {
    lastError_.clear();
    try {
        AllocateFor(width, height, bits, true);
        CopyFixedPalette();
        if (fill == kNoFill) return;
        // One row is encoded like any converted row, then repeated.
        std::vector<std::uint8_t> bgr(std::size_t(width) * 3);
        for (std::size_t i = 0; i < bgr.size(); i += 3) {
            bgr[i] = BlueOf(fill);
            bgr[i + 1] = GreenOf(fill);
            bgr[i + 2] = RedOf(fill);
        }
        const std::size_t stride = Stride();
        std::uint8_t* first = Pixels();
        RowEncoder(bits).Encode(bgr.data(), width, first, stride);
        for (int y = 1; y < height; ++y) std::memcpy(first + std::size_t(y) * stride, first, stride);
    } catch (const CDIBException& e) {
        Release();
        lastError_ = e.what();
    } catch (const std::bad_alloc&) {
        Release();
        lastError_ = kNoBuffer;
    }
}

void CDIB::ConvertInto(CDIB& target) const {
    const int width = Width(), height = Height();
    const int from = BitCount(), to = target.BitCount();
    const std::size_t fromStride = Stride(), toStride = target.Stride();
    const Lut lut = from <= 8 ? MakeLut(ColorTable()) : Lut{};
    std::vector<std::uint8_t> bgr(from == 24 || to == 24 ? 0 : std::size_t(width) * 3);
    const std::uint8_t* src = Pixels();
    std::uint8_t* dst = target.Pixels();
    RowEncoder encoder(to);
    // Both bitmaps store their rows bottom-up, so row i of one is row i of the other.
    for (int i = 0; i < height; ++i, src += fromStride, dst += toStride) {
        if (from == 24) {
            encoder.Encode(src, width, dst, toStride);
        } else if (to == 24) {
            DecodeRow(src, width, from, lut, dst);
            std::memset(dst + std::size_t(width) * 3, 0, toStride - std::size_t(width) * 3);
        } else {
            DecodeRow(src, width, from, lut, bgr.data());
            encoder.Encode(bgr.data(), width, dst, toStride);
        }
    }
}

CDIB CDIB::ChangeBitDepth(std::int16_t bits) const {
    lastError_.clear();
    CDIB result;
    try {
        if (!block_) throw CDIBException(kNoBitmap);
        if (!ValidDepth(bits)) throw CDIBException(kBadDepth);
        if (bits == BitCount()) {
            std::unique_ptr<std::uint8_t[]> copy(new (std::nothrow) std::uint8_t[blockSize_]);
            if (!copy) throw CDIBException(kNoBuffer);
            std::memcpy(copy.get(), block_.get(), blockSize_);
            result.block_ = std::move(copy);
            result.blockSize_ = blockSize_;
            result.fixedPalette_ = fixedPalette_;
        } else {
            // Every byte of the new rows is written by the conversion, so no clearing first.
            result.AllocateFor(Width(), Height(), bits, false);
            result.CopyFixedPalette();
            ConvertInto(result);
        }
    } catch (const CDIBException& e) {
        result.Release();
        lastError_ = e.what();
    } catch (const std::bad_alloc&) {
        result.Release();
        lastError_ = kNoBuffer;
    }
    return result;
}

ByteArray CDIB::GetBmpData() const {
    lastError_.clear();
    if (!block_) {
        lastError_ = kNoBitmap;
        return {};
    }
    // The block is the header, the colour table and exactly stride x height pixel bytes.
    const std::uint64_t size = kFileHeaderSize + std::uint64_t(blockSize_);
    ByteArray out;
    try {
        if (size > 0xFFFFFFFFu) throw std::bad_alloc();
        out.resize(std::size_t(size));
    } catch (const std::bad_alloc&) {
        lastError_ = kNoBuffer;
        return {};
    }
    out[0] = 'B';
    out[1] = 'M';
    Put32(&out[2], std::uint32_t(size));
    Put32(&out[6], 0);
    Put32(&out[10], std::uint32_t(kFileHeaderSize + kInfoHeaderSize + 4 * ColorCount()));
    std::memcpy(&out[kFileHeaderSize], block_.get(), blockSize_);
    return out;
}

void CDIB::CheckPixel(int x, int y) const {
    if (!block_) throw CDIBException(kNoBitmap);
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) throw CDIBException(kOutOfRange);
}

ColorRef CDIB::GetPixel(int x, int y) const {
    lastError_.clear();
    try {
        CheckPixel(x, y);
        const std::uint8_t* row = PixelRowForWrite(y);
        const int bits = BitCount();
        switch (bits) {
        case 32:
        case 24: {
            const std::uint8_t* p = row + std::size_t(x) * (bits / 8);
            return MakeColorRef(p[2], p[1], p[0]);
        }
        case 16: {
            const unsigned w = Get16(row + std::size_t(x) * 2);
            return MakeColorRef(std::uint8_t(((w >> 10) & 31) << 3), std::uint8_t(((w >> 5) & 31) << 3),
                                std::uint8_t((w & 31) << 3));
        }
        }
        unsigned index;
        switch (bits) {
        case 8: index = row[x]; break;
        case 4: index = (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4); break;
        default: index = (row[x >> 3] >> (7 - (x & 7))) & 1; break;
        }
        if (index >= ColorCount()) return 0;  // a short table: missing entries read as black
        const std::uint8_t* entry = block_.get() + kInfoHeaderSize + 4 * index;
        return MakeColorRef(entry[2], entry[1], entry[0]);
    } catch (const CDIBException& e) {
        lastError_ = e.what();
        return 0;
    }
}

void CDIB::SetPixel(int x, int y, ColorRef colour) {
    lastError_.clear();
    try {
        CheckPixel(x, y);
        const int bits = BitCount();
        std::uint8_t* row = PixelRowForWrite(y);
        switch (bits) {
        case 32: {
            std::uint8_t* p = row + std::size_t(x) * 4;
            p[0] = BlueOf(colour);  // the fourth byte keeps what it held
            p[1] = GreenOf(colour);
            p[2] = RedOf(colour);
            return;
        }
        case 24: {
            std::uint8_t* p = row + std::size_t(x) * 3;
            p[0] = BlueOf(colour);
            p[1] = GreenOf(colour);
            p[2] = RedOf(colour);
            return;
        }
        case 16:
            Put16(row + std::size_t(x) * 2,
                  ((RedOf(colour) >> 3) << 10) | ((GreenOf(colour) >> 3) << 5) | (BlueOf(colour) >> 3));
            return;
        }
        std::uint8_t index;
        if (fixedPalette_) {
            index = NearestFixedPaletteIndex(bits, colour);
        } else {
            // A loaded table: only the entries this depth can address are candidates.
            const std::vector<Rgb> table = ColorTable();
            index = NearestPaletteIndex(table.data(), int(std::min<std::size_t>(table.size(), std::size_t(1) << bits)),
                                        colour);
        }
        SetPixelIndex(x, y, index);
    } catch (const CDIBException& e) {
        lastError_ = e.what();
    }
}

void CDIB::SetPixelIndex(int x, int y, int index) {
    lastError_.clear();
    try {
        CheckPixel(x, y);
        const int bits = BitCount();
        if (bits >= 16) throw CDIBException(kNoColorTable);
        if (index < 0 || index >= (1 << bits)) throw CDIBException(kBadIndex);
        std::uint8_t* row = PixelRowForWrite(y);
        switch (bits) {
        case 8: row[x] = std::uint8_t(index); break;
        case 4: {
            std::uint8_t& b = row[x >> 1];
            b = (x & 1) ? std::uint8_t((b & 0xF0) | index) : std::uint8_t((b & 0x0F) | (index << 4));
            break;
        }
        default: {
            std::uint8_t& b = row[x >> 3];
            const std::uint8_t mask = std::uint8_t(0x80 >> (x & 7));
            b = index ? std::uint8_t(b | mask) : std::uint8_t(b & ~mask);
            break;
        }
        }
    } catch (const CDIBException& e) {
        lastError_ = e.what();
    }
}
