#pragma once
// Pictures of the window layouts: the artwork embedded as JPEG/GIF resources, and the preview of the last
// capture from its BMP file image.
#include <windows.h>

#include "app/win_handles.h"
#include "imaging/image_types.h"

// Decodes the RCDATA resource `id` of `module` (a JPEG or GIF file) with the OLE picture loader into a DIB
// section. Empty when the resource is missing or cannot be decoded.
UniqueBitmap LoadPictureResource(HMODULE module, int id);

// Decodes a JPEG/GIF/BMP file image held in memory (the same loader). Empty on failure.
UniqueBitmap DecodePicture(const void* bytes, size_t size);

// A DIB section holding the pixels of a BMP file image (uncompressed, 1 to 32 bits per pixel, bottom-up or
// top-down). Empty for anything malformed or implausibly large; never reads outside `image`.
UniqueBitmap BitmapFromBmpFile(const ByteArray& image);

SIZE BitmapSize(HBITMAP bitmap);

// Draws `bitmap` into `dest` (stretched to it). `halftone` picks HALFTONE, else COLORONCOLOR.
void DrawBitmap(HDC dc, HBITMAP bitmap, const RECT& dest, bool halftone);

// HALFTONE is worth its cost only on displays of more than 16 bits per pixel.
bool DisplayHasMoreThan16Bits();
