#pragma once
// TakeSnapshot: what the primary display shows inside a rectangle (or all of it), delivered as a BMP file,
// as a bitmap on the clipboard, or as the bytes of a BMP file image.
//
// Only the primary display is grabbed: the area is clamped to HORZRES × VERTRES from the origin, so parts
// beyond it are cut off and an area wholly outside it fails. In a per-monitor DPI aware process those are
// the display's physical pixels.
#include <windows.h>

#include <string>

#include "imaging/image_types.h"

enum SnapshotDestination : int {
    ToFile = 0,       // a BMP file at the display's depth (1, 4, 8 or 24 bits)
    ToClipboard = 1,  // a CF_BITMAP at the display's format; the clipboard owns it afterwards
    ToBytes = 2,      // a 24-bit bottom-up BMP file image without colour table
};

struct SnapshotResult {
    bool ok = false;  // ToFile, ToClipboard: the picture arrived
    ByteArray bytes;  // ToBytes: the BMP file image, empty on failure
};

// `area` null means the whole primary display. A destination outside 0-2 means ToFile. `filePath` is used
// by ToFile only; a failed write leaves no file behind and an existing file untouched.
SnapshotResult TakeSnapshot(const RECT* area, int destination, const std::string& filePath = {});
