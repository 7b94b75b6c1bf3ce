#pragma once
// Re-encodes a whole image file held in memory (in this program the BMP file image of the last capture)
// into another format, entirely in memory. Each call is self-contained: on Windows it starts GDI+ for
// itself and shuts it down before returning.
#include "imaging/image_types.h"

// Format codes; the save flow asks only for kEncodeGif.
constexpr int kEncodeBmp = 1;
constexpr int kEncodeJpeg = 2;
constexpr int kEncodeGif = 3;
constexpr int kEncodeTiff = 4;
constexpr int kEncodePng = 5;

// The whole encoded file; empty when the input is empty, the code is not 1 to 5, or nothing was encoded
// (input that is not a readable image, an encoder that failed). The GIF is an 8-bit palette image of the
// input's width and height.
ByteArray EncodeImage(const ByteArray& input, int formatCode);
