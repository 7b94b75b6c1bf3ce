// Windows: scratch rows in a hidden, memory-mapped "CSWCLASS<n>.tmp" in the temporary folder.
#include "imaging/scratch_storage.h"

#include <windows.h>

#include <cstdio>

namespace {

// Highest n tried for a free CSWCLASS<n>.tmp; only reached when something keeps creating them.
constexpr unsigned kMaxScratchNumber = 100000;

std::string TempFolder() {
    char buffer[MAX_PATH + 2] = {};
    DWORD length = GetTempPathA(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return std::string();
    std::string folder(buffer, length);
    if (folder.back() != '\\') folder += '\\';
    return folder;
}

}  // namespace

bool ScratchStorage::Allocate(std::uint64_t bytes) {
    Release();
    if (bytes == 0 || bytes > SIZE_MAX) return false;
    const std::string folder = TempFolder();
    if (folder.empty()) return false;

    std::string path;
    for (unsigned n = 0; n < kMaxScratchNumber && path.empty(); ++n) {
        char leaf[32];
        std::snprintf(leaf, sizeof leaf, "CSWCLASS%u.tmp", n);
        std::string candidate = folder + leaf;
        if (GetFileAttributesA(candidate.c_str()) == INVALID_FILE_ATTRIBUTES) path = std::move(candidate);
    }
    if (path.empty()) return false;

    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    // From here on Release() undoes whatever part of the set-up has been done, file included.
    file_ = file;
    path_ = std::move(path);

    // The mapping's size grows the new, empty file to the pixel bytes; its content reads as zeros.
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, DWORD(bytes >> 32), DWORD(bytes), nullptr);
    if (mapping == nullptr) {
        Release();
        return false;
    }
    mapping_ = mapping;

    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(bytes));
    if (view == nullptr) {
        Release();
        return false;
    }
    data_ = static_cast<std::uint8_t*>(view);
    size_ = bytes;
    return true;
}

void ScratchStorage::Release() {
    if (data_ != nullptr) UnmapViewOfFile(data_);
    if (mapping_ != nullptr) CloseHandle(static_cast<HANDLE>(mapping_));
    if (file_ != nullptr) CloseHandle(static_cast<HANDLE>(file_));
    if (!path_.empty()) DeleteFileA(path_.c_str());
    data_ = nullptr;
    size_ = 0;
    mapping_ = nullptr;
    file_ = nullptr;
    path_.clear();
}
