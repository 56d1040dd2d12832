#pragma once
#include <cstdint>

// A position in the host's data: the sample index within a block and the block index.
// kNotSet in either member means "not set"; as an offset it also stands for the end of the block.
struct DataPosition {
  static constexpr std::int32_t kNotSet = 2147483647;
  std::int32_t offset = kNotSet;
  std::int32_t block = kNotSet;
  friend constexpr bool operator==(const DataPosition&, const DataPosition&) = default;
};
