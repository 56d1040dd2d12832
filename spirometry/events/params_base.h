#pragma once
// Parameter blocks of detectors. ParamsBaseAutoCopy holds the plain words every detector carries (the
// analysed range, the words of the host's calls, the sampling interval); ParamsBase adds the wrapped
// sources and their units. A detector's parameter class derives from ParamsBase, names its sources in the
// constructor and adds its numbers.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/calc/icalc_enum_class.h"
#include "host/data/iunits.h"
#include "spirometry/events/eeh_source_enum.h"

namespace EEH3 {

class ParamsBaseAutoCopy {
 public:
  // Negative bounds are corrected (starts to 0, ends to 2147483647); an all-zero range is the whole record.
  void CorrectRange();
  // The analysed ticks of the current record, [RangeBegin, RangeEnd); empty for a record outside the range.
  std::int32_t RangeBegin() const;
  std::int32_t RangeEnd() const;

  std::int32_t mRangeStartTick = 0;
  std::int32_t mRangeStartRecord = 0;
  std::int32_t mRangeEndTick = 0;
  std::int32_t mRangeEndRecord = 0;
  std::int32_t mSettingsWord = 0;  // first number of the settings text
  std::int32_t mSourceWord = 0;    // second argument of SetSources
  double mSecsPerTick = 0;         // sampling interval of the sources
  std::int32_t mCurrentRecord = 0;
  std::int32_t mFurtherWord = 0;  // fourth argument of SetSources
};

// What a detector expects of one source.
struct SourceSlot {
  using EventFactory = std::unique_ptr<EventWrapper> (*)(ComPtr<IEnumEventEx> source, std::int32_t elementSize,
                                                         std::int32_t blockEvents, HRESULT* result);
  std::int32_t kind = ParamKind::kChannel;  // ParamKind::kChannel or ParamKind::kEvent
  EventFactory makeEvents = nullptr;        // event sources: the wrapper to make (a plain EventWrapper if null)

  static SourceSlot Channel() { return SourceSlot{ParamKind::kChannel, nullptr}; }
  static SourceSlot AnyEvents() { return SourceSlot{ParamKind::kEvent, nullptr}; }
  template <class E>
  static SourceSlot Events() {
    return SourceSlot{ParamKind::kEvent, &EventWrapperEx<E>::Make};
  }
};

// Thrown by the copy of a ParamsBase whose sources cannot be cloned; caught at the interface boundary.
struct SourceCloneError {
  HRESULT result;
};

class ParamsBase : public ParamsBaseAutoCopy {
 public:
  virtual ~ParamsBase() = default;
  // Copies clone every wrapped source, so that a copy reads independently (throws SourceCloneError).
  ParamsBase(const ParamsBase& other);
  ParamsBase& operator=(const ParamsBase& other);

  // Reads the detector's numbers (the settings text after the settings word). Checks all of them before
  // changing anything; E_INVALIDARG for a value out of range.
  virtual HRESULT ReadNumbers(std::span<const double> numbers);
  // Appends the numbers as text in the classic locale, separated by spaces.
  virtual void WriteNumbers(std::wstring& text) const;
  // in: the host's sources in parameter order. Wraps each after asking it for the interface its kind
  // needs; event sources are read eventBlock events at a time. On failure the sources are unchanged.
  virtual HRESULT SetSources(std::int32_t count, IUnknown* const* sources, std::int32_t eventBlock);
  // How many numbers ReadNumbers takes.
  virtual std::size_t NumberCount() const { return 0; }

  void ReleaseSources();
  bool HasSources() const { return !mSources.empty(); }
  std::size_t SourceCount() const { return mSources.size(); }
  eeh_SourceEnum& Source(std::size_t index) const { return *mSources[index]; }
  FloatExWrapper& FloatSource(std::size_t index) const { return static_cast<FloatExWrapper&>(*mSources[index]); }
  template <class E>
  EventWrapperEx<E>& EventSource(std::size_t index) const {
    return static_cast<EventWrapperEx<E>&>(*mSources[index]);
  }
  IUnits* Units(std::size_t index) const { return index < mUnits.size() ? mUnits[index].Get() : nullptr; }

 protected:
  explicit ParamsBase(std::initializer_list<SourceSlot> slots);

 private:
  void CopySourcesFrom(const ParamsBase& other);

  std::vector<SourceSlot> mSlots;
  std::vector<std::unique_ptr<eeh_SourceEnum>> mSources;
  std::vector<ComPtr<IUnits>> mUnits;
};

}  // namespace EEH3
