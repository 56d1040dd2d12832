#pragma once
// The tidal-volume and minute-ventilation calculations (SpTidalVolCalculation, SpMinVentCalculation): their
// channels carry no code of their own in the sample path but an expression over the flow channel, which
// the host's expression engine evaluates through a TidalVolEnum. The enumerator is kept until the source's
// units change or the settings are applied again.
#include <string>

#include "spirometry/calc/calc_class_ids.h"
#include "spirometry/calc/channel_calc_base.h"
#include "spirometry/calc/ventilation_settings.h"

struct ICalcEnum;

namespace Spirometry {

// What the two calculations share: preparing records from their expression, and declaring their output.
class VentilationCalcBase : public ChannelCalcBase {
 public:
  HRESULT PrepareRecord(std::int32_t record, IChannelData* data, ICalcEnum** enumerator, std::int64_t* ratioNumerator,
                        std::int64_t* ratioDenominator, std::int64_t* delay, std::int64_t* length,
                        std::int32_t* last) override;

 protected:
  using ChannelCalcBase::ChannelCalcBase;

  virtual std::int32_t SourceChannel() const = 0;
  virtual double RangeTop() const = 0;
  virtual double RangeBottom() const = 0;
  virtual std::wstring Expression() const = 0;
  // The channel's units for a source in `sourceUnits`.
  virtual std::wstring OutputUnits(const std::wstring& sourceUnits) const = 0;

  // The units text of the source in a record (empty when the host has none).
  std::wstring SourceUnits(IChannelData* data, std::int32_t record) const;
  // Forgets the enumerator and declares the output from the current settings, then has the host apply it.
  HRESULT Declare(bool force);

 private:
  ComPtr<ICalcEnum> mEnumerator;
  std::wstring mEnumeratorUnits;
  std::wstring mEnumeratorExpression;
};

class SpTidalVolCalculation final : public VentilationCalcBase {
 public:
  static constexpr Guid kClassId = kSpTidalVolClassId;
  static constexpr const wchar_t* kClassName = L"SpTidalVolCalculation";
  static constexpr const wchar_t* kDisplayName = L"Spirometry Tidal Volume";
  static constexpr std::uint32_t kCapabilities = 0x10000000;
  using Settings = SpTidalVolSettings;

  // The settings start on the calculation's own channel.
  explicit SpTidalVolCalculation(ICalcSite* site);

  HRESULT ApplySettings(IPersistObject* settings, Bool16 force) override;
  HRESULT ReplaceSettings(IPersistObject* settings) override { return ReplaceWithCopy(settings, mSettings); }
  HRESULT GetSettings(IPersistObject** settings) override { return CopyOut(*mSettings, settings); }
  HRESULT GetCapabilities(std::uint32_t* flags) override;

  // "L/s" gives "L": a trailing "/s" or "/min" goes.
  static std::wstring UnitsFor(const std::wstring& sourceUnits);
  const SpTidalVolSettings& CurrentSettings() const { return *mSettings; }

 protected:
  std::int32_t SourceChannel() const override { return mSettings->mSourceChannel; }
  double RangeTop() const override { return mSettings->mRangeTop; }
  double RangeBottom() const override { return mSettings->mRangeBottom; }
  std::wstring Expression() const override { return mSettings->mExpression; }
  std::wstring OutputUnits(const std::wstring& sourceUnits) const override { return UnitsFor(sourceUnits); }

 private:
  // The expression for the given fields; the expiratory one asks the host for the boundary events of the
  // flow, which needs the flow channel's range.
  HRESULT BuildExpression(const SpTidalVolFields& fields, std::wstring* expression) const;

  ComPtr<SpTidalVolSettings> mSettings;
};

class SpMinVentCalculation final : public VentilationCalcBase {
 public:
  static constexpr Guid kClassId = kSpMinVentClassId;
  static constexpr const wchar_t* kClassName = L"SpMinVentCalculation";
  static constexpr const wchar_t* kDisplayName = L"Spirometry Minute Ventilation";
  static constexpr std::uint32_t kCapabilities = 0x11000000;
  using Settings = SpMinVentSettings;

  explicit SpMinVentCalculation(ICalcSite* site);

  HRESULT ApplySettings(IPersistObject* settings, Bool16 force) override;
  HRESULT ReplaceSettings(IPersistObject* settings) override { return ReplaceWithCopy(settings, mSettings); }
  HRESULT GetSettings(IPersistObject** settings) override { return CopyOut(*mSettings, settings); }
  HRESULT GetCapabilities(std::uint32_t* flags) override;

  // "L/s" gives "L/min"; other units stay as they are.
  static std::wstring UnitsFor(const std::wstring& sourceUnits);
  const SpMinVentSettings& CurrentSettings() const { return *mSettings; }

 protected:
  std::int32_t SourceChannel() const override { return mSettings->mSourceChannel; }
  double RangeTop() const override { return mSettings->mRangeTop; }
  double RangeBottom() const override { return mSettings->mRangeBottom; }
  std::wstring Expression() const override { return mSettings->Expression(); }
  std::wstring OutputUnits(const std::wstring& sourceUnits) const override { return UnitsFor(sourceUnits); }

 private:
  ComPtr<SpMinVentSettings> mSettings;
};

}  // namespace Spirometry
