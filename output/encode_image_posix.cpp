#include "output/encode_image.h"

#include "output/gif_writer.h"

// Without GDI+ the only encoder here is the giflib one, and GIF is the only format the save flow asks
// this function for; BMP, JPEG, TIFF and PNG requests give an empty result on this platform.
ByteArray EncodeImage(const ByteArray& input, int formatCode) {
    if (input.empty() || formatCode != kEncodeGif) return {};
    return EncodeBmpAsGif(input);
}
