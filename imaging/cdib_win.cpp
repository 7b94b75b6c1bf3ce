// The one part of CDIB that needs GDI: turning the bitmap into a device-dependent bitmap.
#include <windows.h>

#include "imaging/cdib.h"

void CDIB::BitmapDeleter::operator()(HBITMAP__* bitmap) const {
    if (bitmap) DeleteObject(bitmap);
}

CDIB::BitmapHandle CDIB::CreateBitmap(HDC__* hdc) const {
    lastError_.clear();
    if (!block_) {
        lastError_ = "位图尚未创建，没有可用数据";
        return {};
    }
    // The block is laid out as a packed DIB: BITMAPINFO (header and colour table), then the rows.
    const auto* info = reinterpret_cast<const BITMAPINFO*>(block_.get());
    return BitmapHandle(CreateDIBitmap(hdc, &info->bmiHeader, CBM_INIT, Pixels(), info, DIB_RGB_COLORS));
}
