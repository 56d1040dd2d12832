#pragma once
// The host's sample readers: recorded samples of a channel within a block, and a reader that scales the
// samples of another (units conversion, a calculation's value factor).
#include <memory>

#include "host/calc/ienum_float_ex.h"
#include "host/calc/ienum_float_span.h"
#include "host/com/com_object.h"
#include "host/data/data_file.h"
#include "host/data/iunits.h"

namespace kymora {

// Reads ticks [begin, end) of one block's recorded samples. The samples are shared, so the reader stays
// valid whatever happens to the document afterwards.
class RecordedReader final : public ComObject<IEnumFloatEx, IEnumFloatSpan> {
 public:
  RecordedReader(std::shared_ptr<const Samples> samples, std::int64_t begin, std::int64_t end, double secsPerTick,
                 ComPtr<IUnits> units);

  HRESULT GetPosition(std::int64_t* tick) override;
  HRESULT Seek(std::int64_t tick) override;
  HRESULT GetLength(std::int64_t* length) override;
  HRESULT GetSecsPerTick(double* secs) override;
  HRESULT Clone(IEnumFloatEx** out) override;
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override;
  HRESULT GetUnits(IUnits** units) override;
  HRESULT Borrow(std::int32_t count, const float** samples, std::int32_t* delivered) override;

 private:
  static constexpr std::int64_t kMaxPrefetch = 4096;  // samples
  // Where reading stops: the range's end, or the samples' end if that comes first.
  std::int64_t Limit() const;
  // Asks the processor for as many samples after the position as were just read (at most kMaxPrefetch).
  void PrefetchAhead(std::int64_t justRead) const;

  std::shared_ptr<const Samples> mSamples;
  std::int64_t mBegin, mEnd, mPos;
  double mSecsPerTick;
  ComPtr<IUnits> mUnits;
};

// Multiplies every sample of its source by a factor and reports other units (null: the source's);
// everything else passes through. Serves a channel read in other units of its kind, a calculation's value
// factor and unary minus. Reading stops at `end` (ticks of the record) when given.
class ScalingReader final : public ComObject<IEnumFloatEx> {
 public:
  ScalingReader(ComPtr<IEnumFloatEx> source, double factor, ComPtr<IUnits> units, std::int64_t end = INT64_MAX);

  HRESULT GetPosition(std::int64_t* tick) override;
  HRESULT Seek(std::int64_t tick) override;
  HRESULT GetLength(std::int64_t* length) override;
  HRESULT GetSecsPerTick(double* secs) override;
  HRESULT Clone(IEnumFloatEx** out) override;
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override;
  HRESULT GetUnits(IUnits** units) override;

 private:
  ComPtr<IEnumFloatEx> mSource;
  double mFactor;
  ComPtr<IUnits> mUnits;
  std::int64_t mEnd;
};

}  // namespace kymora
