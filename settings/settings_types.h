#pragma once
// The enumerated options shared by settings, capture and output.

enum class CaptureMode { FullScreen, FreehandRegion, RectangleRegion };

// The consumers test the formats in this order and take the first selected one.
enum class ImageFormat { Jpg, Png, Bmp, Gif };

enum class ExistingFilePolicy { Ask, Overwrite, SaveDialog, AutoCount };
