#include "ui/layout.h"

const ControlRow* FindRow(const WindowLayout& layout, std::string_view name) {
    for (const ControlRow& row : layout.controls)
        if (name == row.name) return &row;
    return nullptr;
}

int ControlId(const WindowLayout& layout, std::string_view name) {
    for (size_t i = 0; i < layout.controls.size(); ++i)
        if (name == layout.controls[i].name) return kFirstControlId + int(i);
    return 0;
}

RECT ScaleRect(int left, int top, int width, int height, UINT dpi) {
    return RECT{ScaleToDpi(left, dpi), ScaleToDpi(top, dpi), ScaleToDpi(left + width, dpi),
                ScaleToDpi(top + height, dpi)};
}
