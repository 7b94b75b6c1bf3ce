#include "settings/settings_file_win.h"

#include <shlobj.h>

#include <vector>

namespace {

constexpr DWORD kValueBufferSize = 10240;

std::string SpecialFolder(int csidl) {
    char path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE)) return {};
    return path;
}

std::string WithTrailingBackslash(std::string path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

bool FileHasContent(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    return data.nFileSizeHigh != 0 || data.nFileSizeLow != 0;
}

void ApplyFirstRunDefaults(AppSettings& settings) {
    settings = AppSettings{};
    settings.autoSaveFolder = DesktopFolderPath();
}

}  // namespace

std::string ConfigFilePath() {
    return WithTrailingBackslash(SpecialFolder(CSIDL_PERSONAL)) + kConfigFileName;
}

std::string DesktopFolderPath() { return WithTrailingBackslash(SpecialFolder(CSIDL_DESKTOPDIRECTORY)); }

void LoadSettings(AppSettings& settings) {
    const std::string path = ConfigFilePath();
    if (!FileHasContent(path)) {
        ApplyFirstRunDefaults(settings);
        ApplyOptionDependencies(settings);
        return;
    }
    std::vector<char> buffer(kValueBufferSize);
    settings = DecodeSettings([&](const char* key) {
        const DWORD n = GetPrivateProfileStringA(kConfigSection, key, "", buffer.data(), kValueBufferSize,
                                                 path.c_str());
        return std::string(buffer.data(), n);
    });
    // A folder that no path can be (empty, or longer than any path) would send saves elsewhere or nowhere.
    if (settings.autoSaveFolder.empty() || settings.autoSaveFolder.size() >= MAX_PATH)
        settings.autoSaveFolder = DesktopFolderPath();
}

void SaveSettings(const AppSettings& settings) {
    const std::string path = ConfigFilePath();
    for (const auto& [key, value] : EncodeSettings(settings))
        WritePrivateProfileStringA(kConfigSection, key.c_str(), value.c_str(), path.c_str());
}

namespace {

int CALLBACK BrowseCallback(HWND hwnd, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED)
        SendMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, data);  // open on the folder in use
    return 0;
}

}  // namespace

bool ChooseAutoSaveFolder(HWND owner, AppSettings& settings) {
    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.lpszTitle = "请选择一个文件夹：";
    info.ulFlags = BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(settings.autoSaveFolder.c_str());
    PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&info);
    if (!item) return false;
    char path[512] = {};
    const BOOL converted = SHGetPathFromIDListA(item, path);
    CoTaskMemFree(item);
    const std::string chosen = converted ? path : "";
    if (chosen.empty() || chosen.compare(0, 3, "::{") == 0) return false;  // cancelled or a virtual folder
    settings.autoSaveFolder = chosen;
    return true;
}
