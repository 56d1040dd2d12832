#pragma once
// Enumerators of recursive (sequential) calculations: each output sample depends on every sample before it
// in the record, so random access is served from checkpoints of the integrator state.
//
// A policy supplies the calculation:
//   struct State;                                   the integrator state (plain, copyable)
//   void ResetState(); const State& GetState() const; void SetState(const State&);
//   void OnSources(double secsPerTick, const std::wstring& sourceUnits);
//   void Integrate(float* samples, std::int32_t count);   turns source samples into output samples in place
// IIRPolicyBase<Policy> feeds the policy from the source; EnumBase<IIRPolicyBase<Policy>> is the enumerator.
#include <algorithm>
#include <memory>

#include "host/data/iunits.h"
#include "spirometry/calc/calc_enum_base2.h"
#include "spirometry/calc/checkpoint_table.h"

namespace IIREnum {

// Checkpoints lie at multiples of this many ticks from the record start.
constexpr std::int64_t kCheckpointInterval = 16000;
// The most samples read from the source at a time. Every read of a host channel passes through a chain of
// readers (a calculated flow computes its samples as it is read), so a run is read in as few pieces as this
// allows; the samples and the states are the same whatever the size of the pieces.
constexpr std::int32_t kSourceBlock = 4096;
// A result with this bit set: fewer samples because the record is still being acquired.
constexpr HRESULT kPendingBit = 0x8000;
// Online flag bit that lets a growing record's checkpoints be shared all the same.
constexpr std::int32_t kShareWhileOnline = 0x40000000;

template <class Policy>
class IIRPolicyBase : public Policy {
 public:
  // Reads up to count samples from the source straight into out and integrates them there. Stops early
  // when the source delivers nothing, reports a pending record or fails. Returns the number delivered.
  std::int32_t Pull(IEnumFloatEx* source, std::int32_t count, float* out) {
    std::int32_t done = 0;
    while (done < count) {
      const std::int32_t ask = std::min(kSourceBlock, count - done);
      std::int32_t got = 0;
      mLastResult = source->Read(ask, out + done, &got);
      got = std::clamp(got, 0, ask);
      this->Integrate(out + done, got);
      done += got;
      if (got == 0 || (mLastResult & kPendingBit) != 0 || Failed(mLastResult)) break;
    }
    return done;
  }
  void ClearLastResult() { mLastResult = S_OK; }
  // The source's answer to the last read.
  HRESULT LastResult() const { return mLastResult; }

 private:
  HRESULT mLastResult = S_OK;
};

template <class PolicyBase>
class EnumBase : public CalcEnums::CalcEnumBase2 {
 public:
  using State = typename PolicyBase::State;

  // Takes the source, lets the policy see the interval and the source's units, and goes to the record
  // start with the integrator at rest.
  HRESULT SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources, std::int32_t further,
                     double secsPerTick, std::int32_t online) override {
    return CalcEnums::AtBoundary([&] {
      DropSources();
      ComPtr<IEnumFloatEx> source;
      HRESULT hr = FirstSampleSource(count, sources, &source);
      if (Failed(hr)) return hr;
      hr = CalcEnumBase2::SetSources(record, count, sources, further, secsPerTick, online);
      if (Failed(hr)) return hr;
      mSource = source;
      ComPtr<IUnits> units;
      std::wstring unitsText;
      if (Succeeded(mSource->GetUnits(units.Put())) && units) units->GetText(&unitsText);
      mPolicy.OnSources(secsPerTick, unitsText);
      mPrivate.Clear();
      Restart();
      return mSource->Seek(0);
    });
  }

  HRESULT GetPosition(std::int64_t* tick) override {
    if (!tick) return E_POINTER;
    *tick = mPosition;
    return mSource ? S_OK : E_UNEXPECTED;
  }

  HRESULT GetLength(std::int64_t* length) override {
    if (!length) return E_POINTER;
    if (!mSource) return E_UNEXPECTED;
    return mSource->GetLength(length);
  }

  // The output's units are the host's to say (the calculation declares them); unknown here.
  HRESULT GetUnits(IUnits** units) override {
    if (!units) return E_POINTER;
    *units = nullptr;
    return S_OK;
  }

  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override {
    if (!delivered) return E_POINTER;
    *delivered = 0;
    if (!mSource) return E_UNEXPECTED;
    if (count < 0) return E_INVALIDARG;
    if (count > 0 && !buffer) return E_POINTER;
    return CalcEnums::AtBoundary([&] {
      mPolicy.ClearLastResult();
      *delivered = Advance(count, buffer);
      return mPolicy.LastResult();
    });
  }

  // Restores the nearest checkpoint at or before the tick (unless the current position is nearer) and
  // integrates forward to it. S_FALSE when the record ends (or has not yet grown) before the tick.
  HRESULT Seek(std::int64_t tick) override {
    if (!mSource) return E_UNEXPECTED;
    if (tick < 0) return E_INVALIDARG;
    return CalcEnums::AtBoundary([&] {
      if (tick == mPosition) return S_OK;
      State state{};
      const std::int64_t found = FindCheckpoint(tick / kCheckpointInterval, &state);
      const std::int64_t base = found * kCheckpointInterval;
      if (!(mPosition < tick && mPosition >= base)) {
        HRESULT hr = mSource->Seek(base);
        if (Failed(hr)) return hr;
        if (found == 0)
          mPolicy.ResetState();
        else
          mPolicy.SetState(state);
        mPosition = base;
        mNextCheckpoint = base + kCheckpointInterval;
      }
      float scratch[kSkipBlock];
      while (mPosition < tick) {
        const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(kSkipBlock, tick - mPosition));
        if (Advance(want, scratch) < want) break;
      }
      return mPosition == tick ? S_OK : S_FALSE;
    });
  }

 protected:
  EnumBase() : mTable(std::make_shared<Table>()) {}
  // Shares the checkpoint table; reads an independent clone of the source; keeps its own integrator state.
  EnumBase(const EnumBase& other)
      : CalcEnumBase2(other),
        mPolicy(other.mPolicy),
        mPosition(other.mPosition),
        mNextCheckpoint(other.mNextCheckpoint),
        mSource(CloneOfSource(other.mSource.Get())),
        mTable(other.mTable),
        mPrivate(other.mPrivate) {}

  void DropSources() override { mSource.Reset(); }

  // New parameters make the old checkpoints wrong. The enumerator takes a table of its own rather than
  // clearing the shared one, which clones still on the old parameters go on using. The integration
  // starts again at the record start, and so must the source.
  void StartNewTable() {
    mTable = std::make_shared<Table>();
    mPrivate.Clear();
    Restart();
    if (mSource) mSource->Seek(0);
  }

  PolicyBase mPolicy;

 private:
  using Table = CheckpointTable<State>;
  static constexpr std::int32_t kSkipBlock = 1024;

  void Restart() {
    mPosition = 0;
    mNextCheckpoint = kCheckpointInterval;
    mPolicy.ResetState();
  }

  // A record still being acquired keeps its checkpoints to itself unless the host says otherwise.
  bool SharesCheckpoints() const { return mOnline >= 0 || (mOnline & kShareWhileOnline) != 0; }

  std::int64_t FindCheckpoint(std::int64_t index, State* state) const {
    State shared{}, own{};
    const std::int64_t a = mTable->FindAtOrBelow(mRecord, index, &shared);
    const std::int64_t b = mPrivate.FindAtOrBelow(index, &own);
    *state = a >= b ? shared : own;
    return std::max(a, b);
  }

  // Delivers up to count samples in runs that stop at each checkpoint, where the state is recorded.
  std::int32_t Advance(std::int32_t count, float* out) {
    std::int32_t done = 0;
    while (done < count) {
      const auto run = static_cast<std::int32_t>(std::min<std::int64_t>(count - done, mNextCheckpoint - mPosition));
      const std::int32_t got = mPolicy.Pull(mSource.Get(), run, out + done);
      done += got;
      mPosition += got;
      if (mPosition == mNextCheckpoint) {
        const std::int64_t index = mPosition / kCheckpointInterval;
        if (SharesCheckpoints())
          mTable->Store(mRecord, index, mPolicy.GetState());
        else
          mPrivate.Store(index, mPolicy.GetState());
        mNextCheckpoint += kCheckpointInterval;
      }
      if (got < run) break;
    }
    return done;
  }

  std::int64_t mPosition = 0;
  std::int64_t mNextCheckpoint = kCheckpointInterval;
  ComPtr<IEnumFloatEx> mSource;
  std::shared_ptr<Table> mTable;
  PrivateCheckpoints<State> mPrivate;
};

}  // namespace IIREnum
