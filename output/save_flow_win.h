#pragma once
// Writing the last capture to an image file: the automatic save after each capture and the save through the
// system's Save dialog. Both read App().settings at the moment they run.
//
// A save never costs the user a file and never claims a file it did not write: every format is produced in a
// temporary file beside the target and moved over it only when complete, and when nothing could be written
// (missing or read-only folder, a name the file system refuses, a full disk, an empty encoder result) the user
// gets the error box naming the file, while App().lastSavedPath and the running number keep their values.
#include <string>

#include "imaging/image_types.h"
#include "settings/settings_types.h"

// Runs the automatic save for the capture that App().lastCaptureImage and TempCapturePath() now hold. Does
// nothing when "抓图后立即保存" is off. Called by the capture session once per finished capture.
void SaveAfterCapture();

// Saves the last capture through the Save dialog (the save button, the preview menu, and the automatic save
// when it needs a name from the user). A confirmed save records the chosen file as App().lastSavedPath and
// advances the running number once.
void SaveCaptureAs();

// Reaction of the check box "立即保存": "自动保存" is available only while it is on (its tick stays).
void OnSaveImmediatelyClicked();

// The BMP file image written for the list "BMP图片质量": index 0 (and any index outside 0-3) is the 24-bit
// capture itself, unchanged and not copied (a screen is megabytes); 1, 2, 3 are 16, 8 and 4 bits through CDIB,
// made into `reduced`, which is returned then. Empty when the depth change fails.
const ByteArray& BmpBytesForDepth(const ByteArray& capture24, int depthIndex, ByteArray& reduced);

// Texts of the boxes shown here.
constexpr const char* kErrorTitle = "错误：";
constexpr const char* kNoCaptureText = "您还没抓图！";
constexpr const char* kExistingFileTitle = "询问：发现重名文件";
constexpr const char* kExistingFileText = "保存文件时发现重名文件，是否覆盖？\r\n按是 覆盖保存   按否 编辑命名";
constexpr const char* kSaveDialogTitle = "保存文件";
constexpr const char* kSaveFailedText = "文件没有保存：";
constexpr const char* kSaveFailedHint =
    "请检查保存文件夹是否存在并可以写入、文件名是否含有 \\ / : * ? \" < > | 等字符、磁盘空间是否足够。";
constexpr const char* kReplaceTitle = "确认另存为";
constexpr const char* kReplaceText = " 已存在。\r\n要替换它吗？";

// The message of a failed save of `path`.
std::string SaveFailedMessage(const std::string& path);
