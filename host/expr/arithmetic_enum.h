#pragma once
// Sample enumerators of the expression engine's arithmetic. Each reads its operands in chunks into a buffer
// it allocated once, so reading costs no allocation however the caller slices its reads, and each keeps its
// operands at its own position so that Clone and Seek need no bookkeeping beyond the operands'.
#include <vector>

#include "host/calc/ienum_float_ex.h"
#include "host/com/com_object.h"
#include "host/data/iunits.h"

namespace kymora::expr {

// Samples are read from operands at most this many at a time.
constexpr std::int32_t kChunkSamples = 1024;

// One side of a binary operation: a sample source, or (when source is null) a constant at every tick.
struct Operand {
  ComPtr<IEnumFloatEx> source;
  double constant = 0;
};

// Left op right, tick by tick, computed in double and delivered as float. Division by zero gives the IEEE
// result. The length is the shorter operand's; a short read reports the code of the operand that ran out.
class ArithmeticEnum final : public ComObject<IEnumFloatEx> {
 public:
  enum class Op { kAdd, kSubtract, kMultiply, kDivide };
  // At least one operand must be a source; sources must stand at `position`.
  ArithmeticEnum(Op op, Operand left, Operand right, std::int64_t position);

  HRESULT GetPosition(std::int64_t* tick) override;
  HRESULT Seek(std::int64_t tick) override;
  HRESULT GetLength(std::int64_t* length) override;
  HRESULT GetSecsPerTick(double* secs) override;
  HRESULT Clone(IEnumFloatEx** out) override;
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override;
  HRESULT GetUnits(IUnits** units) override;

 private:
  void Combine(float* out, const float* right, std::int32_t n) const;

  Op mOp;
  Operand mLeft;
  Operand mRight;
  std::int64_t mPosition;
  std::vector<float> mScratch;  // the right operand's chunk; the left one is read straight into the output
};

// An expression without channels: its value at every tick of the block.
class ConstantEnum final : public ComObject<IEnumFloatEx> {
 public:
  ConstantEnum(double value, std::int64_t length, double secsPerTick, std::int64_t position = 0);

  HRESULT GetPosition(std::int64_t* tick) override;
  HRESULT Seek(std::int64_t tick) override;
  HRESULT GetLength(std::int64_t* length) override;
  HRESULT GetSecsPerTick(double* secs) override;
  HRESULT Clone(IEnumFloatEx** out) override;
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override;
  HRESULT GetUnits(IUnits** units) override;

 private:
  float mValue;
  std::int64_t mLength;
  double mSecsPerTick;
  std::int64_t mPosition;
};

}  // namespace kymora::expr
