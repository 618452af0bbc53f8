// Arrays of the record are sized once at start-up and zero-filled then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velkor {

// Sizes an array to `entries` and fills it with zeros (or empty texts).
template <typename T>
void dimension(std::vector<T>& array, int64_t entries) {
  array.assign(static_cast<std::size_t>(entries), T{});
}

} // namespace velkor
