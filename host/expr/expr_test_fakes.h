#pragma once
// In-memory stand-ins for what the expression engine talks to: a document's channel data made from
// formulas, and function classes of both kinds (samples and events) that log what the engine hands them.
// Used by the engine's tests and its fuzzer.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/calc/calc_registries.h"
#include "host/calc/icalc_enum.h"
#include "host/calc/icalc_enum_class.h"
#include "host/calc/ienum_event_ex.h"
#include "host/calc/ienum_float_ex.h"
#include "host/com/com_object.h"
#include "host/data/data_file.h"
#include "host/data/ichannel_data.h"

namespace kymora::expr::testing {

class FakeChannelData final : public ComObject<IChannelData> {
 public:
  std::int32_t AddChannel(std::wstring title) { return mFile.AddChannel(std::move(title)); }
  std::int32_t AddBlock(double secsPerTick, std::int64_t length);
  void SetSamples(std::int32_t block, std::int32_t channel, std::wstring units, Samples samples);
  void SetFormula(std::int32_t block, std::int32_t channel, std::wstring units,
                  const std::function<float(std::int64_t tick)>& formula);
  // Readers of the block (also those already open) see only `available` samples and report KYM_S_PENDING
  // at that point, as while a record is being acquired.
  void SetAvailable(std::int32_t block, std::int64_t available);
  // Readers of the block fail with E_FAIL when asked for the sample at `tick`.
  void SetFailAt(std::int32_t block, std::int64_t tick);
  // The flags of every OpenReader call so far.
  const std::vector<std::uint32_t>& ReaderFlags() const { return mReaderFlags; }

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

  // Shared with the readers of a block so that growing a record reaches readers already open.
  struct Limits {
    std::int64_t available = INT64_MAX;
    std::int64_t failAt = INT64_MAX;
  };

 private:
  bool Valid(std::int32_t block, std::int32_t channel) const;

  DataFile mFile;
  std::vector<std::shared_ptr<Limits>> mLimits;  // per block
  std::vector<std::uint32_t> mReaderFlags;
};

// What the enumerators of one fake function class were handed.
struct FunctionLog {
  struct SourcesCall {
    std::int32_t record;
    std::int32_t count;
    std::int32_t further;
    double secsPerTick;
    std::int32_t online;
  };
  std::vector<std::wstring> parameters;  // every SetParameters text, in order
  std::vector<SourcesCall> sources;      // every SetSources call, in order
  std::vector<std::int64_t> positions;   // every SetPosition tick, in order
};

struct FakeParam {
  std::wstring name;
  std::int32_t kind;  // ParamKind
  double minimum = -1e300;
  double maximum = 1e300;
  std::uint32_t flags = 0;  // ParamFlag
};

class FakeFunctionClass final : public ComObject<INumericParamsClass> {
 public:
  using Factory = std::function<ComPtr<ICalcEnum>(std::shared_ptr<FunctionLog>)>;
  FakeFunctionClass(std::wstring recordName, std::vector<std::wstring> names, std::vector<FakeParam> params,
                    std::int32_t sources, std::uint32_t accepts, std::uint32_t produces, Factory factory);

  const FunctionLog& Log() const { return *mLog; }

  HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out) override;
  HRESULT GetClassRecord(std::wstring* name, std::wstring* description, Guid* category) override;
  HRESULT GetFunctionNameCount(std::int32_t* count) override;
  HRESULT GetFunctionName(std::int32_t index, std::wstring* name) override;
  HRESULT GetParamCounts(std::int32_t* params, std::int32_t* sources) override;
  HRESULT GetParamInfo(std::int32_t index, std::wstring* name, std::int32_t* kind, std::uint32_t* flags,
                       double* minimum, double* maximum) override;
  HRESULT CheckSource(std::int32_t index, std::uint32_t offeredKind) override;
  HRESULT GetKindWords(std::uint32_t* accepts, std::uint32_t* produces) override;

 private:
  std::wstring mRecordName;
  std::vector<std::wstring> mNames;
  std::vector<FakeParam> mParams;
  std::int32_t mSources;
  std::uint32_t mAccepts;
  std::uint32_t mProduces;
  Factory mFactory;
  std::shared_ptr<FunctionLog> mLog = std::make_shared<FunctionLog>();
};

// Two blocks (10 samples at 1 ms, 2500 samples at 10 ms) and five channels; t is the tick in the block:
//   Ch1 "L/s"                          block 1: t            block 2: (t mod 7) - 3
//   Ch2 "L/s"                          block 1: 100 - t      block 2: t / 4
//   Ch3 "L/s" in block 1, "mL/s" in 2  1000 t in both
//   Ch4 "V"                            0.5 t + 1 in both
//   Ch5 "L", no data in block 1        block 2: 1
ComPtr<FakeChannelData> MakeStandardData();
float StandardSample(std::int32_t block, std::int32_t channel, std::int64_t tick);

struct FakeFunctions {
  // Scale(Source, Factor): samples of the source times Factor (in [-1000, 1000]).
  ComPtr<FakeFunctionClass> scale;
  // Tune(Source, Drift, Channel, Gain, Nonlinear): the source times Drift; five parameters with ranges
  // Drift [0, 1], Channel [0, 64], Gain [0.001, 1000], Nonlinear [0, 1].
  ComPtr<FakeFunctionClass> tune;
  // Peaks(Source, Height) (also PeakEvents): an event at every strict local maximum above Height.
  ComPtr<FakeFunctionClass> peaks;
  // ValueAt(Source, Event Source): an event at every event of the event source, valued with Source there.
  ComPtr<FakeFunctionClass> valueAt;
};
FakeFunctions RegisterFakeFunctions(CalcEnumRegistry& registry);

// Reads an event source to its end (S_FALSE), in requests of `batch` events.
std::vector<QorEventBase> ReadAllEvents(IEnumEventEx* events, std::int32_t batch = 8);

}  // namespace kymora::expr::testing
