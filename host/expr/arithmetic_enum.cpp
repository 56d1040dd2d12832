#include "host/expr/arithmetic_enum.h"

#include <algorithm>
#include <new>

namespace kymora::expr {

namespace {
// Reads up to `want` samples and normalises what a source may get wrong: a count outside [0, want], or S_OK
// with fewer samples than asked (taken as the end of the record).
HRESULT ReadOperand(IEnumFloatEx* source, std::int32_t want, float* out, std::int32_t* got) {
  std::int32_t n = 0;
  HRESULT hr = source->Read(want, out, &n);
  *got = std::clamp<std::int32_t>(n, 0, want);
  if (hr == S_OK && *got < want) hr = S_FALSE;
  return hr;
}

// The code of a short read. A failure wins; otherwise the operand that ran out speaks, and when both did,
// the end of one record ends the combination even if the other is still growing.
HRESULT ShortCode(HRESULT left, std::int32_t gotLeft, HRESULT right, std::int32_t gotRight, std::int32_t got,
                  std::int32_t want) {
  if (Failed(left)) return left;
  if (Failed(right)) return right;
  const bool leftShort = gotLeft == got && gotLeft < want;
  const bool rightShort = gotRight == got && gotRight < want;
  if (leftShort && rightShort) return left == S_FALSE || right == S_FALSE ? S_FALSE : left;
  return leftShort ? left : right;
}

template <class F>
HRESULT Guarded(F&& f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}
}  // namespace

// --- ArithmeticEnum ---------------------------------------------------------------------------------------

ArithmeticEnum::ArithmeticEnum(Op op, Operand left, Operand right, std::int64_t position)
    : mOp(op), mLeft(std::move(left)), mRight(std::move(right)), mPosition(position) {
  if (mRight.source) mScratch.resize(kChunkSamples);
}

HRESULT ArithmeticEnum::GetPosition(std::int64_t* tick) {
  if (!tick) return E_POINTER;
  *tick = mPosition;
  return S_OK;
}

HRESULT ArithmeticEnum::Seek(std::int64_t tick) {
  if (tick < 0) return E_INVALIDARG;
  if (mLeft.source) {
    HRESULT hr = mLeft.source->Seek(tick);
    if (Failed(hr)) return hr;
  }
  if (mRight.source) {
    HRESULT hr = mRight.source->Seek(tick);
    if (Failed(hr)) {
      // Keep the two sides together: the left one goes back to where both were.
      if (mLeft.source) mLeft.source->Seek(mPosition);
      return hr;
    }
  }
  mPosition = tick;
  return S_OK;
}

HRESULT ArithmeticEnum::GetLength(std::int64_t* length) {
  if (!length) return E_POINTER;
  std::int64_t shortest = INT64_MAX;
  for (const Operand* side : {&mLeft, &mRight}) {
    if (!side->source) continue;
    std::int64_t n = 0;
    HRESULT hr = side->source->GetLength(&n);
    if (Failed(hr)) return hr;
    shortest = std::min(shortest, n);
  }
  *length = shortest == INT64_MAX ? 0 : shortest;
  return S_OK;
}

HRESULT ArithmeticEnum::GetSecsPerTick(double* secs) {
  if (!secs) return E_POINTER;
  return (mLeft.source ? mLeft.source : mRight.source)->GetSecsPerTick(secs);
}

HRESULT ArithmeticEnum::Clone(IEnumFloatEx** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guarded([&]() -> HRESULT {
    Operand left{nullptr, mLeft.constant}, right{nullptr, mRight.constant};
    if (mLeft.source) {
      HRESULT hr = mLeft.source->Clone(left.source.Put());
      if (Failed(hr)) return hr;
    }
    if (mRight.source) {
      HRESULT hr = mRight.source->Clone(right.source.Put());
      if (Failed(hr)) return hr;
    }
    *out = MakeCom<ArithmeticEnum>(mOp, std::move(left), std::move(right), mPosition).Detach();
    return S_OK;
  });
}

void ArithmeticEnum::Combine(float* out, const float* right, std::int32_t n) const {
  const bool leftIsSource = mLeft.source != nullptr, rightIsSource = mRight.source != nullptr;
  const double lc = mLeft.constant, rc = mRight.constant;
  auto run = [&](auto op) {
    for (std::int32_t i = 0; i < n; ++i) {
      const double a = leftIsSource ? double{out[i]} : lc;
      const double b = rightIsSource ? double{right[i]} : rc;
      out[i] = static_cast<float>(op(a, b));
    }
  };
  switch (mOp) {
    case Op::kAdd:
      run([](double a, double b) { return a + b; });
      break;
    case Op::kSubtract:
      run([](double a, double b) { return a - b; });
      break;
    case Op::kMultiply:
      run([](double a, double b) { return a * b; });
      break;
    case Op::kDivide:
      run([](double a, double b) { return a / b; });
      break;
  }
}

HRESULT ArithmeticEnum::Read(std::int32_t count, float* buffer, std::int32_t* delivered) {
  std::int32_t ignored = 0;
  if (!delivered) delivered = &ignored;
  *delivered = 0;
  if (count < 0 || (count > 0 && !buffer)) return E_INVALIDARG;
  std::int32_t done = 0;
  HRESULT code = S_OK;
  while (done < count) {
    const std::int32_t want = std::min(kChunkSamples, count - done);
    float* out = buffer + done;
    std::int32_t gotLeft = want, gotRight = want;
    HRESULT hrLeft = S_OK, hrRight = S_OK;
    if (mLeft.source) hrLeft = ReadOperand(mLeft.source.Get(), want, out, &gotLeft);
    if (mRight.source) hrRight = ReadOperand(mRight.source.Get(), want, mScratch.data(), &gotRight);
    const std::int32_t got = std::min(gotLeft, gotRight);
    Combine(out, mScratch.data(), got);
    // The side that read further goes back so both stand where the output does.
    if (mLeft.source && gotLeft > got && !Failed(hrLeft)) hrLeft = mLeft.source->Seek(mPosition + got);
    if (mRight.source && gotRight > got && !Failed(hrRight)) hrRight = mRight.source->Seek(mPosition + got);
    mPosition += got;
    done += got;
    if (got < want || Failed(hrLeft) || Failed(hrRight)) {
      code = ShortCode(hrLeft, gotLeft, hrRight, gotRight, got, want);
      break;
    }
  }
  *delivered = done;
  return code;
}

HRESULT ArithmeticEnum::GetUnits(IUnits** units) {
  if (!units) return E_POINTER;
  *units = nullptr;  // a sum or product has no units the engine could name
  return S_OK;
}

// --- ConstantEnum -----------------------------------------------------------------------------------------

ConstantEnum::ConstantEnum(double value, std::int64_t length, double secsPerTick, std::int64_t position)
    : mValue(static_cast<float>(value)), mLength(length), mSecsPerTick(secsPerTick), mPosition(position) {}

HRESULT ConstantEnum::GetPosition(std::int64_t* tick) {
  if (!tick) return E_POINTER;
  *tick = mPosition;
  return S_OK;
}

HRESULT ConstantEnum::Seek(std::int64_t tick) {
  if (tick < 0) return E_INVALIDARG;
  mPosition = tick;
  return S_OK;
}

HRESULT ConstantEnum::GetLength(std::int64_t* length) {
  if (!length) return E_POINTER;
  *length = mLength;
  return S_OK;
}

HRESULT ConstantEnum::GetSecsPerTick(double* secs) {
  if (!secs) return E_POINTER;
  *secs = mSecsPerTick;
  return S_OK;
}

HRESULT ConstantEnum::Clone(IEnumFloatEx** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guarded([&]() -> HRESULT {
    *out = MakeCom<ConstantEnum>(mValue, mLength, mSecsPerTick, mPosition).Detach();
    return S_OK;
  });
}

HRESULT ConstantEnum::Read(std::int32_t count, float* buffer, std::int32_t* delivered) {
  std::int32_t ignored = 0;
  if (!delivered) delivered = &ignored;
  *delivered = 0;
  if (count < 0 || (count > 0 && !buffer)) return E_INVALIDARG;
  const std::int64_t left = std::max<std::int64_t>(0, mLength - mPosition);
  const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(count, left));
  std::fill_n(buffer, n, mValue);
  mPosition += n;
  *delivered = n;
  return n < count ? S_FALSE : S_OK;
}

HRESULT ConstantEnum::GetUnits(IUnits** units) {
  if (!units) return E_POINTER;
  *units = nullptr;
  return S_OK;
}

}  // namespace kymora::expr
