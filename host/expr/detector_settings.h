#pragma once
// The settings of the cycle detector behind IDetectorSettings: they write a call of Cycles whose level is
// the given percentage of the source channel's full-scale range.
#include <map>

#include "host/com/com_object.h"
#include "host/data/ichannel_data.h"
#include "host/expr/idetector_settings.h"

namespace kymora::expr {

class DetectorSettings final : public ComObject<IDetectorSettings> {
 public:
  explicit DetectorSettings(ComPtr<IChannelData> data);

  HRESULT SetDefaults() override;
  HRESULT SetParameter(std::int32_t index, double value) override;
  HRESULT GetParameter(std::int32_t index, double* value) override;
  HRESULT GetText(const wchar_t* source, std::int32_t block, std::int32_t channel, std::uint32_t flags,
                  std::wstring* text) override;

 private:
  ComPtr<IChannelData> mData;
  std::map<std::int32_t, double> mValues;
};

}  // namespace kymora::expr
