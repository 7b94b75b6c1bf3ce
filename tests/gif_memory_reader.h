#pragma once
// Lets giflib decode a GIF held in memory, for the tests, fuzzers and benchmarks that check what the writer
// made: DGifOpen(&cursor, ReadGifFromArray, &error) with GifReadCursor cursor{&bytes, 0}.
#include <gif_lib.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "imaging/image_types.h"

struct GifReadCursor {
    const ByteArray* data;
    std::size_t at;
};

inline int ReadGifFromArray(GifFileType* gif, GifByteType* buffer, int length) {
    auto* cursor = static_cast<GifReadCursor*>(gif->UserData);
    const std::size_t n = std::min(std::size_t(length), cursor->data->size() - cursor->at);
    std::memcpy(buffer, cursor->data->data() + cursor->at, n);
    cursor->at += n;
    return int(n);
}
