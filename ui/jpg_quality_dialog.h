#pragma once
// JpgQualityDialog ("JPG图片质量"): edits jpegQuality, jpegSmoothing and jpegOptimize of App().settings.
// Modal; 确定 stores the slider positions and the check box, 取消, Esc and the close box store nothing.
void RunJpgQualityDialog();

// The text of the balloon tip on the smoothing controls.
constexpr const char* kSmoothingTip = "0为无柔化。在压缩比很大的JPEG文件中，适当的柔化可以改善图片质量。默认值为0";
