// Arrays of the record are sized once at start-up and zero-filled then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace velkor {

// An allocator whose arrays start on a cache line, so that a place within a
// line can be chosen (the block buffer of the decoder).
inline constexpr std::size_t kCacheLine = 64; // [bytes]

template <typename T>
struct CacheLineAllocator {
  using value_type = T;
  CacheLineAllocator() = default;
  template <typename U>
  explicit CacheLineAllocator(const CacheLineAllocator<U>&) {}
  T* allocate(std::size_t count) {
    return static_cast<T*>(::operator new (count * sizeof(T), std::align_val_t{kCacheLine}));
  }
  void deallocate(T* array, std::size_t) { ::operator delete (array, std::align_val_t{kCacheLine}); }
  friend bool operator==(const CacheLineAllocator&, const CacheLineAllocator&) { return true; }
};

// A byte array that starts on a cache line.
using AlignedBytes = std::vector<uint8_t, CacheLineAllocator<uint8_t>>;

// Sizes an array to `entries` and fills it with zeros (or empty texts).
template <typename T>
void dimension(std::vector<T>& array, int64_t entries) {
  array.assign(static_cast<std::size_t>(entries), T{});
}

} // namespace velkor
