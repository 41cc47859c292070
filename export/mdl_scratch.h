// Scratch memory of one run: the allocator seam, and the holder through which
// the run and every writer take their blocks. A holder gives back what it
// handed out, newest first, when it goes out of scope, so no exit of a writer
// has anything to release by hand.
#ifndef MDLEXPORT_EXPORT_MDL_SCRATCH_H
#define MDLEXPORT_EXPORT_MDL_SCRATCH_H

#include <cassert>
#include <cstddef>
#include <cstdint>

// Scratch memory for one run (malloc's contract; null when out of memory).
using MdlAllocateFn = void* (*)(size_t bytes);
using MdlReleaseFn = void (*)(void* memory);

class MdlScratch
{
  public:
    // `refused`, when given, is set once a block cannot be had.
    MdlScratch(MdlAllocateFn allocate, MdlReleaseFn release, bool* refused = nullptr)
        : allocate_(allocate), release_(release), refused_(refused)
    {
    }
    ~MdlScratch()
    {
        while (count_ > 0)
            release_(blocks_[--count_]);
    }
    MdlScratch(const MdlScratch&) = delete;
    MdlScratch& operator=(const MdlScratch&) = delete;

    // A block of `bytes` (a request for none still gets one byte), or null.
    void* Allocate(size_t bytes);

    // Room for `count` items of T (none for a count below 1). A size that
    // does not fit in size_t is refused like memory that is not there, so a
    // count from the host can never wrap into a small block.
    template <typename T> T* Array(int64_t count)
    {
        uint64_t items = count > 0 ? static_cast<uint64_t>(count) : 0;
        if (items > SIZE_MAX / sizeof(T))
            return Refuse<T>();
        return static_cast<T*>(Allocate(static_cast<size_t>(items) * sizeof(T)));
    }

  private:
    template <typename T> T* Refuse()
    {
        if (refused_ != nullptr)
            *refused_ = true;
        return nullptr;
    }

    // The most blocks one scope holds at once (the run and each writer take
    // two).
    static constexpr size_t kCapacity = 4;

    MdlAllocateFn allocate_;
    MdlReleaseFn release_;
    bool* refused_;
    void* blocks_[kCapacity] = {};
    size_t count_ = 0;
};

inline void* MdlScratch::Allocate(size_t bytes)
{
    assert(count_ < kCapacity);
    if (count_ == kCapacity)
        return Refuse<void>();
    void* memory = allocate_(bytes == 0 ? 1 : bytes);
    if (memory == nullptr)
        return Refuse<void>();
    blocks_[count_++] = memory;
    return memory;
}

#endif
