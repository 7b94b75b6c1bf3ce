#pragma once
// Follow-up actions on saved captures: the last saved file in Paint, the save folder in the file manager.
// Both start a separate program and do not wait for it to end.
#include <string>

// Opens App().lastSavedPath in the system's Paint program.
void EditInPaint();

// Opens the folder of automatic saving in a new file-manager window.
void OpenSaveFolder();

// The Windows folder (with one trailing backslash) followed by "system32\mspaint.exe".
std::string PaintProgramPath();

// The command lines the two actions start.
std::string PaintCommandLine(const std::string& paintProgram, const std::string& savedPath);
std::string FileManagerCommandLine(const std::string& folder);

constexpr const char* kNoPaintText = "您的系统已精简画图工具，无法打开编辑";
constexpr const char* kNoFolderText = "浏览指定目录不存在。";
constexpr const char* kNoFolderTitle = "打开文件夹错误：";
