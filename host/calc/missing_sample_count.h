#pragma once
// Counts the samples of a channel that hold no number (an empty cell, NaN or an infinity), as the user sees
// the channel, over a stretch of one block. The count can follow another reader that walks the same
// stretch, a piece at a time, so that the samples are counted while that reader has them in the cache
// rather than in a pass of their own over the whole stretch. Header-only: extension modules use it too.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "host/calc/ienum_float_ex.h"
#include "host/com/com_ptr.h"
#include "host/data/data_position.h"
#include "host/data/ichannel_data.h"

namespace kymora {

namespace detail {
// Without a branch per sample, in eight independent counts, so that the loop vectorises.
[[gnu::always_inline]] inline std::int64_t CountNotFiniteLoop(const float* samples, std::int32_t count) {
  std::int32_t counts[8] = {};
  std::int32_t i = 0;
  for (; i + 8 <= count; i += 8)
    for (std::int32_t j = 0; j < 8; ++j) counts[j] += std::fabs(samples[i + j]) <= FLT_MAX ? 0 : 1;
  std::int64_t total = 0;
  for (std::int32_t j = 0; j < 8; ++j) total += counts[j];
  for (; i < count; ++i) total += std::isfinite(samples[i]) ? 0 : 1;
  return total;
}
inline std::int64_t CountNotFiniteBaseline(const float* samples, std::int32_t count) {
  return CountNotFiniteLoop(samples, count);
}
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KYMORA_WIDE_COUNT 1
// The same loop eight samples to an instruction, on processors with AVX2.
[[gnu::target("avx2")]] inline std::int64_t CountNotFiniteWide(const float* samples, std::int32_t count) {
  return CountNotFiniteLoop(samples, count);
}
#endif
}  // namespace detail

// The samples that are NaN or infinite; the widest form the processor runs is chosen when the program runs.
inline std::int64_t CountNotFinite(const float* samples, std::int32_t count) {
#ifdef KYMORA_WIDE_COUNT
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide) return detail::CountNotFiniteWide(samples, count);
#endif
  return detail::CountNotFiniteBaseline(samples, count);
}

class MissingSampleCounter {
 public:
  static constexpr std::uint32_t kUserSampleFlags = 0x40001000;  // the samples as the user sees the channel
  static constexpr std::int32_t kPiece = 4096;

  // The samples from start up to (excluding) end, in start's block.
  MissingSampleCounter(IChannelData& data, std::int32_t channel, DataPosition start, DataPosition end)
      : mTick(start.offset) {
    end.block = start.block;
    if (Failed(data.OpenReader(kUserSampleFlags, channel, start, end, mReader.Put())) || !mReader)
      mFailed = true;
    else
      mPiece.resize(kPiece);
  }

  // Counts the samples before the tick `to` (and no further than the end of the stretch).
  void CountTo(std::int64_t to) {
    while (!mFailed && !mEnded && mTick < to) {
      const auto wanted = static_cast<std::int32_t>(std::min<std::int64_t>(kPiece, to - mTick));
      std::int32_t delivered = 0;
      const HRESULT hr = mReader->Read(wanted, mPiece.data(), &delivered);
      if (Failed(hr)) {
        mFailed = true;
        return;
      }
      delivered = std::clamp(delivered, 0, wanted);
      mMissing += CountNotFinite(mPiece.data(), delivered);
      mTick += delivered;
      if (hr != S_OK || delivered < wanted) mEnded = true;
    }
  }

  // Counts the rest of the stretch; the number of missing samples, or nothing when the channel could not
  // be read.
  std::optional<std::int64_t> Finish() {
    while (!mFailed && !mEnded) CountTo(mTick + kPiece);
    if (mFailed) return std::nullopt;
    return mMissing;
  }

 private:
  ComPtr<IEnumFloatEx> mReader;
  std::vector<float> mPiece;
  std::int64_t mTick = 0;
  std::int64_t mMissing = 0;
  bool mFailed = false;
  bool mEnded = false;
};

}  // namespace kymora
