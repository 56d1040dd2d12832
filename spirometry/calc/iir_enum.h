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
// Besides the checkpoints, the state is kept at every multiple of this many ticks (it divides the
// checkpoint interval) for moves forward: a reader that steps from point to point through a record that
// has been read already (the volume one second into each breath, for FEV1) restarts within this many
// samples of each point instead of integrating every sample in between. A move back restarts from a
// checkpoint, as ever.
constexpr std::int64_t kStepInterval = 1000;
static_assert(kCheckpointInterval % kStepInterval == 0);
// The first multiple of interval after tick.
constexpr std::int64_t NextMultiple(std::int64_t tick, std::int64_t interval) {
  return (tick / interval + 1) * interval;
}
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
  // Reads up to count samples from the source straight into out and integrates them there through
  // integrate(samples, count). Stops early when the source delivers nothing, reports a pending record or
  // fails. Returns the number delivered.
  template <class IntegrateFn>
  std::int32_t Pull(IEnumFloatEx* source, std::int32_t count, float* out, IntegrateFn&& integrate) {
    std::int32_t done = 0;
    while (done < count) {
      const std::int32_t ask = std::min(kSourceBlock, count - done);
      std::int32_t got = 0;
      mLastResult = source->Read(ask, out + done, &got);
      got = std::clamp(got, 0, ask);
      integrate(out + done, got);
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

  // Restores the nearest checkpoint at or before the tick (unless the current position is nearer; going
  // forward, a step mark may be nearer still) and integrates forward to it. S_FALSE when the record ends
  // (or has not yet grown) before the tick.
  HRESULT Seek(std::int64_t tick) override {
    if (!mSource) return E_UNEXPECTED;
    if (tick < 0) return E_INVALIDARG;
    return CalcEnums::AtBoundary([&] {
      if (tick == mPosition) return S_OK;
      const Resume checkpoint = CheckpointAtOrBelow(tick);
      // A step mark counts only beyond both the checkpoint and the current position: a move back, or
      // forward within reach, never takes one.
      const Resume from = std::max(checkpoint, StepAtOrBelow(tick, std::max(mPosition, checkpoint.tick)));
      if (!(mPosition < tick && mPosition >= from.tick)) {
        HRESULT hr = mSource->Seek(from.tick);
        if (Failed(hr)) return hr;
        if (from.tick == 0)
          mPolicy.ResetState();
        else
          mPolicy.SetState(from.state);
        mPosition = from.tick;
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
  EnumBase() : mTable(std::make_shared<Table>()), mSteps(std::make_shared<Table>()) {}
  // Shares the checkpoint table; reads an independent clone of the source; keeps its own integrator state.
  EnumBase(const EnumBase& other)
      : CalcEnumBase2(other),
        mPolicy(other.mPolicy),
        mPosition(other.mPosition),
        mSource(CloneOfSource(other.mSource.Get())),
        mTable(other.mTable),
        mSteps(other.mSteps),
        mPrivate(other.mPrivate) {}

  void DropSources() override { mSource.Reset(); }

  // New parameters make the old checkpoints wrong. The enumerator takes a table of its own rather than
  // clearing the shared one, which clones still on the old parameters go on using. The integration
  // starts again at the record start, and so must the source.
  void StartNewTable() {
    mTable = std::make_shared<Table>();
    mSteps = std::make_shared<Table>();
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
    mPolicy.ResetState();
  }

  // A record still being acquired keeps its checkpoints to itself unless the host says otherwise.
  bool SharesCheckpoints() const { return mOnline >= 0 || (mOnline & kShareWhileOnline) != 0; }

  // Where integration may resume: a tick and the state there (the record start when the tick is 0).
  struct Resume {
    std::int64_t tick = 0;
    State state{};
    friend bool operator<(const Resume& a, const Resume& b) { return a.tick < b.tick; }
  };

  Resume CheckpointAtOrBelow(std::int64_t tick) const {
    State shared{}, own{};
    const std::int64_t a = mTable->FindAtOrBelow(mRecord, tick / kCheckpointInterval, &shared);
    const std::int64_t b = mPrivate.FindAtOrBelow(tick / kCheckpointInterval, &own);
    return {std::max(a, b) * kCheckpointInterval, a >= b ? shared : own};
  }

  // The last step mark at or before the tick and after `after`; the record start when there is none.
  Resume StepAtOrBelow(std::int64_t tick, std::int64_t after) const {
    Resume step;
    step.tick =
        mSteps->FindAtOrBelow(mRecord, tick / kStepInterval, &step.state, after / kStepInterval + 1) * kStepInterval;
    return step;
  }

  // Integrates samples whose first lies at `tick`, keeping the state at every step mark they reach
  // (only where checkpoints are shared: a record still being acquired keeps none).
  void IntegrateMarkingSteps(float* samples, std::int32_t count, std::int64_t tick) {
    while (count > 0) {
      const std::int64_t mark = NextMultiple(tick, kStepInterval);
      const auto piece = static_cast<std::int32_t>(std::min<std::int64_t>(count, mark - tick));
      mPolicy.Integrate(samples, piece);
      samples += piece;
      count -= piece;
      tick += piece;
      if (tick == mark && SharesCheckpoints()) mSteps->Store(mRecord, mark / kStepInterval, mPolicy.GetState());
    }
  }

  // Delivers up to count samples in runs that stop at each checkpoint, where the state is recorded.
  std::int32_t Advance(std::int32_t count, float* out) {
    std::int32_t done = 0;
    while (done < count) {
      const std::int64_t checkpoint = NextMultiple(mPosition, kCheckpointInterval);
      const auto run = static_cast<std::int32_t>(std::min<std::int64_t>(count - done, checkpoint - mPosition));
      std::int64_t tick = mPosition;
      const std::int32_t got = mPolicy.Pull(mSource.Get(), run, out + done, [&](float* samples, std::int32_t n) {
        IntegrateMarkingSteps(samples, n, tick);
        tick += n;
      });
      done += got;
      mPosition += got;
      if (mPosition == checkpoint) {
        const std::int64_t index = mPosition / kCheckpointInterval;
        if (SharesCheckpoints())
          mTable->Store(mRecord, index, mPolicy.GetState());
        else
          mPrivate.Store(index, mPolicy.GetState());
      }
      if (got < run) break;
    }
    return done;
  }

  std::int64_t mPosition = 0;
  ComPtr<IEnumFloatEx> mSource;
  std::shared_ptr<Table> mTable;
  std::shared_ptr<Table> mSteps;  // the states at the step marks, shared like the checkpoints
  PrivateCheckpoints<State> mPrivate;
};

}  // namespace IIREnum
