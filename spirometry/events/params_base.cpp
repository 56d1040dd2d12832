#include "spirometry/events/params_base.h"

#include <algorithm>

namespace EEH3 {

namespace {
constexpr std::int32_t kTickMax = 2147483647;
// Source lists grow in steps of this many entries.
constexpr std::size_t kSourceGrowth = 8;

std::size_t Rounded(std::size_t n) { return (n + kSourceGrowth - 1) / kSourceGrowth * kSourceGrowth; }
}  // namespace

void ParamsBaseAutoCopy::CorrectRange() {
  if (mRangeStartTick < 0) mRangeStartTick = 0;
  if (mRangeStartRecord < 0) mRangeStartRecord = 0;
  if (mRangeEndTick < 0) mRangeEndTick = kTickMax;
  if (mRangeEndRecord < 0) mRangeEndRecord = kTickMax;
  if (mRangeStartTick == 0 && mRangeStartRecord == 0 && mRangeEndTick == 0 && mRangeEndRecord == 0) {
    mRangeEndTick = kTickMax;
    mRangeEndRecord = kTickMax;
  }
}

std::int32_t ParamsBaseAutoCopy::RangeBegin() const {
  return mCurrentRecord == mRangeStartRecord ? mRangeStartTick : 0;
}

std::int32_t ParamsBaseAutoCopy::RangeEnd() const {
  if (mCurrentRecord < mRangeStartRecord || mCurrentRecord > mRangeEndRecord) return 0;
  return mCurrentRecord == mRangeEndRecord ? mRangeEndTick : kTickMax;
}

ParamsBase::ParamsBase(std::initializer_list<SourceSlot> slots) : mSlots(slots) { CorrectRange(); }

ParamsBase::ParamsBase(const ParamsBase& other)
    : ParamsBaseAutoCopy(other), mSlots(other.mSlots), mUnits(other.mUnits) {
  CopySourcesFrom(other);
}

ParamsBase& ParamsBase::operator=(const ParamsBase& other) {
  if (this == &other) return *this;
  ParamsBase copy(other);
  static_cast<ParamsBaseAutoCopy&>(*this) = copy;
  mSlots = std::move(copy.mSlots);
  mSources = std::move(copy.mSources);
  mUnits = std::move(copy.mUnits);
  return *this;
}

void ParamsBase::CopySourcesFrom(const ParamsBase& other) {
  mSources.reserve(Rounded(other.mSources.size()));
  for (const auto& source : other.mSources) {
    HRESULT hr = S_OK;
    auto copy = source->Clone(&hr);
    if (!copy) throw SourceCloneError{Failed(hr) ? hr : E_FAIL};
    mSources.push_back(std::move(copy));
  }
}

HRESULT ParamsBase::ReadNumbers(std::span<const double> numbers) { return numbers.empty() ? S_OK : E_INVALIDARG; }

void ParamsBase::WriteNumbers(std::wstring&) const {}

HRESULT ParamsBase::SetSources(std::int32_t count, IUnknown* const* sources, std::int32_t eventBlock) {
  if (count != static_cast<std::int32_t>(mSlots.size()) || (count > 0 && !sources) || eventBlock <= 0)
    return E_INVALIDARG;
  std::vector<std::unique_ptr<eeh_SourceEnum>> wrapped;
  std::vector<ComPtr<IUnits>> units;
  wrapped.reserve(Rounded(mSlots.size()));
  units.reserve(Rounded(mSlots.size()));
  for (std::size_t i = 0; i < mSlots.size(); ++i) {
    IUnknown* source = sources[i];
    if (!source) return E_INVALIDARG;
    if (mSlots[i].kind == ParamKind::kChannel) {
      ComPtr<IEnumFloatEx> samples;
      HRESULT hr = source->QueryInterface(IEnumFloatEx::kIid, samples.PutVoid());
      if (Failed(hr) || !samples) return E_NOINTERFACE;
      ComPtr<IUnits> u;
      samples->GetUnits(u.Put());
      units.push_back(std::move(u));
      wrapped.push_back(std::make_unique<FloatExWrapper>(std::move(samples)));
    } else {
      ComPtr<IEnumEventEx> events;
      HRESULT hr = source->QueryInterface(IEnumEventEx::kIid, events.PutVoid());
      if (Failed(hr) || !events) return E_NOINTERFACE;
      std::int32_t elementSize = 0;
      hr = events->GetElementSize(&elementSize);
      if (Failed(hr) || elementSize < static_cast<std::int32_t>(sizeof(QorEventBase))) return E_INVALIDARG;
      std::unique_ptr<EventWrapper> wrapper;
      if (mSlots[i].makeEvents) {
        wrapper = mSlots[i].makeEvents(std::move(events), elementSize, eventBlock, &hr);
        if (!wrapper) return Failed(hr) ? hr : E_INVALIDARG;
      } else {
        wrapper = std::make_unique<EventWrapper>(std::move(events), elementSize, eventBlock);
      }
      units.emplace_back();
      wrapped.push_back(std::move(wrapper));
    }
  }
  mSources = std::move(wrapped);
  mUnits = std::move(units);
  return S_OK;
}

void ParamsBase::ReleaseSources() {
  mSources.clear();
  mUnits.clear();
}

}  // namespace EEH3
