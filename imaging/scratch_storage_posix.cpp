// Linux: scratch rows on the heap, never in the temporary folder.
//
// The block of the last released image is kept for the next request of the same size: the same screen
// is converted again and again, and on some systems (virtual machines above all) taking fresh pages
// from the kernel costs more than the conversion around it. A reused block is not cleared (see
// Allocate()); every decoder writes every pixel of its image.
#include "imaging/scratch_storage.h"

#include <cstdlib>
#include <limits>
#include <mutex>

namespace {

// Larger blocks are not kept when released.
constexpr std::uint64_t kMaxKeptBytes = 64 * 1024 * 1024;

struct KeptBlock {
    std::mutex mutex;
    void* block = nullptr;
    std::uint64_t bytes = 0;
};

// Never destroyed: images held in static objects may still be released during exit.
KeptBlock& Kept() {
    static KeptBlock* kept = new KeptBlock;
    return *kept;
}

}  // namespace

bool ScratchStorage::Allocate(std::uint64_t bytes) {
    Release();
    if (bytes == 0 || bytes > std::numeric_limits<std::size_t>::max()) return false;
    void* block = nullptr;
    {
        KeptBlock& kept = Kept();
        std::lock_guard<std::mutex> lock(kept.mutex);
        if (kept.block != nullptr && kept.bytes == bytes) {
            block = kept.block;
            kept.block = nullptr;
        }
    }
    if (block == nullptr) {
        block = std::calloc(static_cast<std::size_t>(bytes), 1);
        if (block == nullptr) return false;
    }
    data_ = static_cast<std::uint8_t*>(block);
    size_ = bytes;
    return true;
}

void ScratchStorage::Release() {
    if (data_ == nullptr) return;
    void* unwanted = data_;
    if (size_ <= kMaxKeptBytes) {
        KeptBlock& kept = Kept();
        std::lock_guard<std::mutex> lock(kept.mutex);
        std::swap(unwanted, kept.block);  // the previously kept block, if any, goes
        kept.bytes = size_;
    }
    std::free(unwanted);
    data_ = nullptr;
    size_ = 0;
}
