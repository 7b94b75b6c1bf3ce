#pragma once
// Private working memory for decoded pixel rows.
//
// On Windows the bytes live in a hidden file "CSWCLASS<n>.tmp" in the temporary folder, mapped into
// memory, so a screen-sized picture does not sit in the process heap; the file is unmapped, closed and
// deleted on Release(). Elsewhere the storage is ordinary heap memory (which also lets the sanitizers
// see row overruns). Either way nothing is left in the temporary folder: the destructor releases it.
//
// Move-only: a copy would release the same mapping twice.
#include <cstdint>
#include <string>
#include <utility>

class ScratchStorage {
public:
    ScratchStorage() = default;
    ~ScratchStorage() { Release(); }

    ScratchStorage(const ScratchStorage&) = delete;
    ScratchStorage& operator=(const ScratchStorage&) = delete;
    ScratchStorage(ScratchStorage&& other) noexcept { Swap(other); }
    ScratchStorage& operator=(ScratchStorage&& other) noexcept {
        if (this != &other) {
            Release();
            Swap(other);
        }
        return *this;
    }

    // Replaces any earlier storage with `bytes` bytes (bytes > 0). Fresh storage reads as zeros, but a
    // block handed on from an earlier image may still hold its pixels: callers write before they read.
    // False when the storage cannot be had; the object is then empty.
    bool Allocate(std::uint64_t bytes);
    void Release();

    std::uint8_t* Data() const { return data_; }
    std::uint64_t Size() const { return size_; }
    bool Empty() const { return data_ == nullptr; }

    // Windows: the scratch file's full name while it exists; empty elsewhere.
    const std::string& BackingFile() const { return path_; }

private:
    void Swap(ScratchStorage& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(file_, other.file_);
        std::swap(mapping_, other.mapping_);
        std::swap(path_, other.path_);
    }

    std::uint8_t* data_ = nullptr;
    std::uint64_t size_ = 0;
    void* file_ = nullptr;     // Windows: the scratch file's HANDLE
    void* mapping_ = nullptr;  // Windows: its file-mapping HANDLE
    std::string path_;         // Windows: its name, for deletion
};
