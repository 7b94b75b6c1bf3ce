#pragma once
// GIF output that needs no GDI+: the native build's only GIF encoder, and the Windows encoder's stand-in
// when gdiplus.dll is missing or writes no usable picture (Wine's does not).
//
// The picture is reduced to an adaptive 256-colour palette chosen from its own colours (an exact palette
// when it has 256 colours or fewer, otherwise variance-minimising box splits refined by k-means), every
// pixel takes its nearest palette colour without dithering, and giflib writes the result as one 8-bit
// frame covering the whole logical screen. The same pixels always give the same bytes.
#include <cstdint>
#include <functional>

#include "imaging/image_types.h"

// Hands out the picture's rows, top row first: row(y) points at `width` pixels of three bytes each, blue,
// green, red (the layout of a 24-bit DIB row). The pointer must stay valid for the whole encoding.
using BgrRowSource = std::function<const std::uint8_t*(int y)>;

// The whole GIF file of a width x height picture; empty when a side is outside 1..65535 (the format's
// 16-bit fields) or memory runs out.
ByteArray EncodeGif(int width, int height, const BgrRowSource& row);

// A BMP file image (decoded by CDIB, any depth it reads) as a GIF file; empty when it is not a readable BMP.
ByteArray EncodeBmpAsGif(const ByteArray& bmp);

// True when `gif` is a whole GIF file whose logical screen is width x height: the GIF87a or GIF89a
// signature, every block intact, at least one image descriptor inside the screen that carries image data,
// and the trailer byte 0x3B. Bytes after the trailer are allowed (a stream's memory block may be larger
// than what was written into it).
bool IsCompleteGif(const ByteArray& gif, int width, int height);
