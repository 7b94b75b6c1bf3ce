#pragma once
// The data the capture carries inside the program: the shutter sound and the freehand pen's dot.
#include <windows.h>

#include <cstdint>
#include <span>

// The bytes of an RCDATA resource of the program module (App().instance, or the process's own module
// before that is set); empty when the module has no such resource. The bytes live as long as the module.
std::span<const std::uint8_t> EmbeddedData(int resourceId);

std::span<const std::uint8_t> ShutterWave();  // RIFF/WAVE, Microsoft ADPCM, about 0.41 s
std::span<const std::uint8_t> PenDot();       // PNG, 16 × 16 RGBA; its alpha channel is the dot
