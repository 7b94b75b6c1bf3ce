#include "capture/capture_assets_win.h"

#include "app/application.h"
#include "app/resource.h"

std::span<const std::uint8_t> EmbeddedData(int resourceId) {
    HMODULE module = App().instance ? App().instance : GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!resource) return {};
    HGLOBAL loaded = LoadResource(module, resource);
    const DWORD size = SizeofResource(module, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data || size == 0) return {};
    return {static_cast<const std::uint8_t*>(data), size};
}

std::span<const std::uint8_t> ShutterWave() { return EmbeddedData(IDR_SHUTTER_WAVE); }
std::span<const std::uint8_t> PenDot() { return EmbeddedData(IDR_PEN_DOT); }
