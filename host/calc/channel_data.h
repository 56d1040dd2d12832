#pragma once
// The host's data access for one document: serves a DataFile's recorded channels and evaluates the
// calculated channels on it, so that a calculated channel reads exactly like a recorded one everywhere
// (another calculation's source, an expression, an export).
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/calc/calc_registries.h"
#include "host/calc/icalc_site.h"
#include "host/calc/ichannel_calc.h"
#include "host/com/com_object.h"
#include "host/com/expected.h"
#include "host/data/data_file.h"
#include "host/data/ichannel_data2.h"

namespace kymora {

class CalcSite;
struct CalcBinding;

struct HostServices {
  const CalcEnumRegistry* enums = nullptr;
  const CalculationRegistry* calculations = nullptr;
  // Shows a message box (text, caption, style) and returns the button chosen (1 = OK).
  std::function<int(const std::wstring&, const std::wstring&, std::uint32_t)> messageBox;
};

class ChannelData final : public ComObject<IChannelData2> {
 public:
  ChannelData(std::shared_ptr<DataFile> file, HostServices services);

  DataFile& File() { return *mFile; }
  const std::shared_ptr<DataFile>& SharedFile() const { return mFile; }

  // Brings the stored calculations of the file to life: each found class gets its settings loaded and
  // applied. A calculation whose class is not registered keeps its stored bytes and gives no data; each
  // such case, and each settings stream that fails to load, adds a warning.
  void AttachStoredCalculations(std::vector<std::string>* warnings);
  // Writes the settings of every live calculation back into the file's stored calculations.
  Status StoreCalculations();
  // Puts a new calculation of the class on a channel (replacing any), with default settings, not yet
  // applied. The caller changes its settings and applies them.
  HRESULT PutCalculation(std::int32_t channel, ICalculationClass* cls, ComPtr<IChannelCalc>* calc);
  // Removes the calculation of a channel (live and stored).
  void RemoveCalculation(std::int32_t channel);
  // Drops every live calculation. Calculations may hold references back to this object, so the owner calls
  // this before letting go of it.
  void Shutdown();

  // Called after a calculation was applied to a channel (the owner marks the document changed).
  void SetChangeListener(std::function<void(std::int32_t channel)> listener) { mOnChanged = std::move(listener); }
  // Answers interfaces implemented elsewhere on behalf of this object (the expression engine).
  void SetInterfaceProvider(std::function<HRESULT(const Guid&, void**)> provider) { mProvider = std::move(provider); }
  // Why the last failing operation failed, for the command line.
  const std::string& LastError() const { return mLastError; }

  // IChannelData
  HRESULT GetChannelCount(std::int32_t* count) override;
  HRESULT GetBlockCount(std::int32_t* count) override;
  HRESULT GetBlockLength(std::uint32_t flags, std::int32_t block, std::int32_t channel, std::int64_t* length) override;
  HRESULT GetSecsPerTick(std::uint32_t flags, std::int32_t block, std::int32_t channel, double* secs) override;
  HRESULT HasData(std::uint32_t flags, std::int32_t block, std::int32_t channel) override;
  HRESULT GetUnits(std::uint32_t flags, std::int32_t block, std::int32_t channel, IUnits** units) override;
  HRESULT GetUnitsConversion(std::uint32_t flags, std::int32_t block, std::int32_t channel,
                             IUnitsConversion** conversion) override;
  HRESULT GetSample(std::uint32_t flags, std::int32_t block, std::int32_t channel, std::int64_t offset,
                    float* value) override;
  HRESULT GetTimeOfPosition(std::uint32_t flags, DataPosition position, double* seconds) override;
  HRESULT GetAbsoluteSampleIndex(std::uint32_t flags, DataPosition position, std::int64_t* index) override;
  HRESULT GetSelection(Bool16* valid, DataPosition* start, DataPosition* end) override;
  HRESULT OpenReader(std::uint32_t flags, std::int32_t channel, DataPosition start, DataPosition end,
                     IEnumFloatEx** reader) override;
  HRESULT GetChannelCalc(std::int32_t channel, IChannelCalc** calc) override;
  HRESULT GetChannelTitle(std::int32_t channel, std::wstring* title) override;
  // IChannelData2
  HRESULT GetUserConversion(std::uint32_t flags, std::int32_t block, std::int32_t channel,
                            IUnitsConversion** conversion, IUnits** shownUnits) override;

 protected:
  ~ChannelData() override;
  HRESULT QueryOtherInterface(const Guid& iid, void** out) override;

 private:
  friend class CalcSite;
  bool ValidBlock(std::int32_t block) const { return block >= 0 && block < mFile->BlockCount(); }
  bool ValidChannel(std::int32_t channel) const { return channel >= 0 && channel < mFile->ChannelCount(); }
  CalcBinding* Binding(std::int32_t channel) const;
  bool ReadsCalculation(std::uint32_t flags, std::int32_t channel) const;
  // Why a calculation on `channel` cannot read these sources: one that is not set or does not exist, its
  // own output (directly or through other calculated channels), or recorded samples its own channel does
  // not hold. Nothing when it can.
  std::optional<std::string> WhyNotReadable(std::int32_t channel,
                                            const std::vector<CCalcEnumSourceInfo>& sources) const;
  HRESULT OpenCalculated(std::int32_t channel, std::int32_t block, std::int64_t begin, std::int64_t end,
                         IEnumFloatEx** reader);
  HRESULT Fail(HRESULT hr, std::string message);

  std::shared_ptr<DataFile> mFile;
  HostServices mServices;
  std::vector<std::unique_ptr<CalcBinding>> mBindings;  // by channel; null where none is live
  std::vector<bool> mOpening;                           // channels whose calculation is being opened (loops)
  std::function<void(std::int32_t)> mOnChanged;
  std::function<HRESULT(const Guid&, void**)> mProvider;
  std::string mLastError;
};

}  // namespace kymora
