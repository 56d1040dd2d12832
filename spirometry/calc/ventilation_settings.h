#pragma once
// The settings of the tidal-volume and minute-ventilation calculations, persisted with their channels. Both
// name a flow channel and the output range; the tidal volume adds the expiratory-only flag and keeps the
// expression it last built, the minute ventilation adds the update interval.
#include <string>

#include "host/calc/ikey_value_settings.h"
#include "host/com/com_object.h"
#include "host/com/ipersist_object.h"

namespace Spirometry {

constexpr double kUpdateIntervalMin = 0.0, kUpdateIntervalMax = 10000.0;

// "Ch" and the one-based number of a zero-based channel, as expressions name it.
std::wstring ChannelReference(std::int32_t channel);

struct SpTidalVolFields {
  std::int32_t mSourceChannel = -1;  // zero-based flow channel
  bool mExpiratoryOnly = false;      // the source carries the expiration only
  float mRangeBottom = 0.0f;
  float mRangeTop = 10.0f;
  std::wstring mExpression = L"$Src1";  // as last built

  // The fields that applying compares (exactly); the expression follows from them.
  bool SameAs(const SpTidalVolFields& other) const;
};

class SpTidalVolSettings final : public ComObject<IPersistObject, IKeyValueSettings>, public SpTidalVolFields {
 public:
  static constexpr std::int32_t kVersion = 3;

  SpTidalVolSettings() = default;
  explicit SpTidalVolSettings(const SpTidalVolFields& fields) : SpTidalVolFields(fields) {}
  ComPtr<SpTidalVolSettings> Copy() const {
    return MakeCom<SpTidalVolSettings>(static_cast<const SpTidalVolFields&>(*this));
  }

  // The expression of the tidal volume without the expiratory flag.
  static std::wstring PlainExpression(std::int32_t channel);

  // IPersistObject. Load changes nothing unless the whole stream is read.
  HRESULT Load(IStream* stream) override;
  HRESULT Save(IStream* stream) override;
  HRESULT GetClassId(Guid* classId) override;

  // IKeyValueSettings: source, expiratory, top, bottom.
  HRESULT SetValue(const wchar_t* key, const wchar_t* value, std::wstring* error) override;
  HRESULT Describe(std::wstring* text) override;
};

struct SpMinVentFields {
  std::int32_t mSourceChannel = -1;  // zero-based flow channel
  double mUpdateInterval = 60.0;     // seconds averaged
  float mRangeBottom = 0.0f;
  float mRangeTop = 10.0f;

  bool SameAs(const SpMinVentFields& other) const;
  std::wstring Expression() const;
};

class SpMinVentSettings final : public ComObject<IPersistObject, IKeyValueSettings>, public SpMinVentFields {
 public:
  static constexpr std::int32_t kVersion = 1;

  SpMinVentSettings() = default;
  explicit SpMinVentSettings(const SpMinVentFields& fields) : SpMinVentFields(fields) {}
  ComPtr<SpMinVentSettings> Copy() const {
    return MakeCom<SpMinVentSettings>(static_cast<const SpMinVentFields&>(*this));
  }

  HRESULT Load(IStream* stream) override;
  HRESULT Save(IStream* stream) override;
  HRESULT GetClassId(Guid* classId) override;

  // IKeyValueSettings: source, interval, top, bottom.
  HRESULT SetValue(const wchar_t* key, const wchar_t* value, std::wstring* error) override;
  HRESULT Describe(std::wstring* text) override;
};

}  // namespace Spirometry
