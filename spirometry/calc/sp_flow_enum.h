#pragma once
// The flow enumerator: turns the samples of a flow-head voltage into litres per second. Created by the
// host's enumerator factory from the flow parameter text of SpFlow, or by the expression function
// "SpFlow(source, drift, raw channel, head scale, coefficient)".
//
// Output units: litres per second for a source in volts. For a source in prefixed volts (mV, µV, …) the
// output is in litres per second times 10^-exponent, and the host's value factor (10^exponent) brings it
// to litres per second; the non-linear coefficient and the noise floor are adjusted so that they act on
// volts and litres per second whatever the source's prefix.
#include <memory>
#include <optional>

#include "host/calc/ienum_float_span.h"
#include "spirometry/calc/recent_flow.h"
#include "spirometry/calc/single_source_no_delay_calc.h"
#include "spirometry/support/function_table.h"

namespace Spirometry {

class SpFlowEnum final : public CalcEnums::SingleSourceNoDelayCalc {
 public:
  static const CalcEnums::FunctionTable& Table();
  static HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out);

  SpFlowEnum() = default;

  // Parses the current (marked) or the older four-number form. E_INVALIDARG for a text with a field that
  // does not read whole (see ParameterTextReader), which changes nothing.
  HRESULT SetParameters(const wchar_t* text, std::uint32_t* outputKind) override;
  // Takes the source and computes the record's drift line when drift correction is on and the record is
  // complete.
  HRESULT SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources, std::int32_t further,
                     double secsPerTick, std::int32_t online) override;
  // Reads from the source and transforms in place: drift, head scale (non-linear), noise floor. Flow that
  // a clone computed a moment ago is copied instead.
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override;

 private:
  SpFlowEnum(const SpFlowEnum&) = default;
  ComPtr<CalcEnums::CalcEnumBase2> Copy() const override;
  void DropSources() override;
  // Copies the family's recent flow from tick first on (at most count ticks, never beyond the source's end)
  // into out and moves the source past it; returns how many.
  std::int32_t TakeRecent(std::int64_t first, std::int32_t count, float* out);
  // Offers the flow just computed from lent samples (in, the first at tick first) to the family.
  void KeepRecent(std::int64_t first, const float* in, const float* flow, std::int32_t count);
  RecentFlow::Key RecentKey() const;
  void ComputeDriftLine(std::int64_t length);
  // Flow from the source's samples in[0..count) (the first at firstTick) into samples[] (in may be samples).
  void Transform(std::int64_t firstTick, const float* in, float* samples, std::int32_t count) const;

  // What the parameter text sets.
  struct Parameters {
    bool mDriftCorrection = false;
    std::int32_t mPresetIndex = 3;
    bool mCustom = false;
    double mHeadScale = 0.0;    // S
    double mCoefficient = 1.0;  // k, per volt
    std::int32_t mRawFlowChannel = INT32_MIN;
    std::int32_t mOwnChannel = INT32_MIN;
    bool mApplyNonLinear = false;
    double mNoiseFloor = 0.0;  // L/s
    bool mApplyNoiseFloor = false;
  };
  // The parameters a text gives an enumerator that had `previous`; nothing when a field does not read whole.
  static std::optional<Parameters> Parse(const std::wstring& text, Parameters previous);

  Parameters mParameters;
  double mDriftIntercept = 0.0;  // a, source units
  double mDriftSlope = 0.0;      // b, source units per sample
  // Range the drift line was last computed for: start offset, start record, end offset, end record.
  std::int32_t mDriftCache[4] = {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF};
  // 10^exponent of the source's voltage prefix (1 for volts).
  double mSourceUnitScale = 1.0;

  // The flow the clones of this enumerator computed last. New parameters start a new one.
  std::shared_ptr<RecentFlow> mRecent = std::make_shared<RecentFlow>();
  // The source as a lender of its samples, and where its tick 0 lies once a read has shown it. A copy
  // reads a clone of the source, so it starts knowing nothing of it.
  struct SourceSpan {
    SourceSpan() = default;
    SourceSpan(const SourceSpan&) {}
    SourceSpan& operator=(const SourceSpan&) = delete;
    ComPtr<IEnumFloatSpan> lender;
    bool looked = false;
    std::uintptr_t origin = 0;
    bool originKnown = false;
    bool moves = false;  // lent samples that did not lie where the first ones did: never shared
  };
  SourceSpan mSpan;
  IEnumFloatSpan* Lender();
};

}  // namespace Spirometry
