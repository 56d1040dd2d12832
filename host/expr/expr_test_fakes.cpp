#include "host/expr/expr_test_fakes.h"

#include <algorithm>
#include <locale>
#include <sstream>

#include "host/data/read_flags.h"
#include "host/data/units.h"

namespace kymora::expr::testing {

namespace {
using Limits = FakeChannelData::Limits;

class VectorReader final : public ComObject<IEnumFloatEx> {
 public:
  VectorReader(std::shared_ptr<const Samples> samples, std::int64_t position, std::int64_t end, double secs,
               ComPtr<IUnits> units, std::shared_ptr<const Limits> limits)
      : mSamples(std::move(samples)),
        mPosition(position),
        mEnd(end),
        mSecs(secs),
        mUnits(std::move(units)),
        mLimits(std::move(limits)) {}

  HRESULT GetPosition(std::int64_t* tick) override {
    *tick = mPosition;
    return S_OK;
  }
  HRESULT Seek(std::int64_t tick) override {
    if (tick < 0) return E_INVALIDARG;
    mPosition = tick;
    return S_OK;
  }
  HRESULT GetLength(std::int64_t* length) override {
    *length = std::min(mEnd, mLimits->available);
    return S_OK;
  }
  HRESULT GetSecsPerTick(double* secs) override {
    *secs = mSecs;
    return S_OK;
  }
  HRESULT Clone(IEnumFloatEx** out) override {
    *out = MakeCom<VectorReader>(mSamples, mPosition, mEnd, mSecs, mUnits, mLimits).Detach();
    return S_OK;
  }
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override {
    const std::int64_t limit = std::min(mEnd, mLimits->available);
    auto n = static_cast<std::int32_t>(std::clamp<std::int64_t>(limit - mPosition, 0, count));
    HRESULT hr = n < count ? (limit < mEnd ? KYM_S_PENDING : S_FALSE) : S_OK;
    if (mLimits->failAt >= mPosition && mLimits->failAt < mPosition + n) {
      n = static_cast<std::int32_t>(mLimits->failAt - mPosition);
      hr = E_FAIL;
    }
    if (n > 0) std::copy_n(mSamples->begin() + mPosition, n, buffer);
    mPosition += n;
    *delivered = n;
    return hr;
  }
  HRESULT GetUnits(IUnits** units) override { return mUnits.CopyTo(units); }

 private:
  std::shared_ptr<const Samples> mSamples;
  std::int64_t mPosition;
  std::int64_t mEnd;
  double mSecs;
  ComPtr<IUnits> mUnits;
  std::shared_ptr<const Limits> mLimits;
};

std::vector<double> Numbers(const wchar_t* text) {
  std::wistringstream in(text ? text : L"");
  in.imbue(std::locale::classic());
  std::vector<double> v;
  double d;
  while (in >> d) v.push_back(d);
  return v;
}

std::vector<float> ReadAllSamples(IEnumFloatEx* source) {
  std::vector<float> all;
  float chunk[333];  // an odd size, so that readers are not only ever asked for round numbers
  std::int32_t got = 0;
  HRESULT hr;
  do {
    hr = source->Read(333, chunk, &got);
    all.insert(all.end(), chunk, chunk + got);
  } while (hr == S_OK);
  return all;
}

// Scale and Tune: the source times the first number of the settings text.
class ScaleEnumerator final : public ComObject<ICalcEnum, IEnumFloatEx> {
 public:
  explicit ScaleEnumerator(std::shared_ptr<FunctionLog> log) : mLog(std::move(log)) {}

  HRESULT GetOutputKind(std::uint32_t* kind) override {
    *kind = CalcKind::kSamples;
    return S_OK;
  }
  HRESULT SetHost(IChannelData* host) override {
    mHost = host;
    return S_OK;
  }
  HRESULT SetParameters(const wchar_t* text, std::uint32_t* outputKind) override {
    mLog->parameters.emplace_back(text);
    auto v = Numbers(text);
    if (v.empty()) return E_INVALIDARG;
    mFactor = v[0];
    mText = text;
    if (outputKind) *outputKind = CalcKind::kSamples;
    return S_OK;
  }
  HRESULT GetParameters(std::wstring* text) override {
    *text = mText;
    return S_OK;
  }
  HRESULT Clone(ICalcEnum** out) override { return CloneAs(out); }
  HRESULT SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources, std::int32_t further,
                     double secsPerTick, std::int32_t online) override {
    mLog->sources.push_back({record, count, further, secsPerTick, online});
    if (count != 1) return E_INVALIDARG;
    mSource = nullptr;
    HRESULT hr = QueryInterfaceOf(sources[0], mSource.Put());
    return Failed(hr) ? hr : mSource->Seek(0);
  }
  HRESULT SetPosition(std::int64_t tick) override {
    mLog->positions.push_back(tick);
    return mSource->Seek(tick);
  }
  HRESULT ReleaseSources() override {
    mSource = nullptr;
    return S_OK;
  }

  HRESULT GetPosition(std::int64_t* tick) override { return mSource->GetPosition(tick); }
  HRESULT Seek(std::int64_t tick) override { return mSource->Seek(tick); }
  HRESULT GetLength(std::int64_t* length) override { return mSource->GetLength(length); }
  HRESULT GetSecsPerTick(double* secs) override { return mSource->GetSecsPerTick(secs); }
  HRESULT Clone(IEnumFloatEx** out) override { return CloneAs(out); }
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override {
    HRESULT hr = mSource->Read(count, buffer, delivered);
    for (std::int32_t i = 0; i < *delivered; ++i) buffer[i] = static_cast<float>(buffer[i] * mFactor);
    return hr;
  }
  HRESULT GetUnits(IUnits** units) override { return mSource->GetUnits(units); }

 private:
  template <class I>
  HRESULT CloneAs(I** out) {
    auto copy = MakeCom<ScaleEnumerator>(mLog);
    copy->mHost = mHost;
    copy->mFactor = mFactor;
    copy->mText = mText;
    if (mSource) mSource->Clone(copy->mSource.Put());
    *out = copy.Detach();
    return S_OK;
  }

  std::shared_ptr<FunctionLog> mLog;
  ComPtr<IChannelData> mHost;
  double mFactor = 1;
  std::wstring mText;
  ComPtr<IEnumFloatEx> mSource;
};

// Event functions: the events are worked out whole when the sources are set, then handed out by Next.
class EventListEnumerator : public ComObject<ICalcEnum, IEnumEventEx> {
 public:
  explicit EventListEnumerator(std::shared_ptr<FunctionLog> log) : mLog(std::move(log)) {}

  HRESULT GetOutputKind(std::uint32_t* kind) override {
    *kind = CalcKind::kEvents;
    return S_OK;
  }
  HRESULT SetHost(IChannelData* host) override {
    mHost = host;
    return S_OK;
  }
  HRESULT SetParameters(const wchar_t* text, std::uint32_t* outputKind) override {
    mLog->parameters.emplace_back(text);
    mNumbers = Numbers(text);
    if (mNumbers.size() != 1 + NumberCount()) return E_INVALIDARG;  // the settings word, then the numbers
    mText = text;
    if (outputKind) *outputKind = CalcKind::kEvents;
    return S_OK;
  }
  HRESULT GetParameters(std::wstring* text) override {
    *text = mText;
    return S_OK;
  }
  HRESULT Clone(ICalcEnum** out) override { return CloneAs(out); }
  HRESULT SetSources(std::int32_t record, std::int32_t count, IUnknown* const* sources, std::int32_t further,
                     double secsPerTick, std::int32_t online) override {
    mLog->sources.push_back({record, count, further, secsPerTick, online});
    mEvents.clear();
    HRESULT hr = Compute(count, sources);
    mPosition = 0;
    mNext = 0;
    return hr;
  }
  HRESULT SetPosition(std::int64_t tick) override {
    mLog->positions.push_back(tick);
    mPosition = static_cast<std::int32_t>(tick);
    mNext = 0;
    return S_OK;
  }
  HRESULT ReleaseSources() override { return S_OK; }

  HRESULT Next(std::int32_t endTick, void* buffer, std::int32_t bufferBytes, std::int32_t* count,
               std::int32_t* nextTick) override {
    const std::int32_t end = endTick < 0 ? kRecordEndOffset : endTick;
    const std::int32_t capacity = bufferBytes / static_cast<std::int32_t>(sizeof(QorEventBase));
    auto* out = static_cast<QorEventBase*>(buffer);
    std::int32_t n = 0;
    auto skipPassed = [&] {
      while (mNext < mEvents.size() && mEvents[mNext].mPosition.mTickPosition <= mPosition) ++mNext;
    };
    skipPassed();
    while (n < capacity && mNext < mEvents.size() && mEvents[mNext].mPosition.mTickPosition < end) {
      out[n++] = mEvents[mNext];
      mPosition = mEvents[mNext++].mPosition.mTickPosition;
    }
    if (n < capacity && mPosition != kRecordEndOffset) {
      skipPassed();
      mPosition = mNext == mEvents.size() && end >= mLength ? kRecordEndOffset : std::max(mPosition, end);
    }
    *count = n;
    *nextTick = mPosition;
    return mPosition == kRecordEndOffset ? S_FALSE : S_OK;
  }
  HRESULT Find(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override { return E_NOTIMPL; }
  HRESULT GetPosition(std::int32_t* tick) override {
    *tick = mPosition;
    return S_OK;
  }
  HRESULT GetElementSize(std::int32_t* bytes) override {
    *bytes = sizeof(QorEventBase);
    return S_OK;
  }
  HRESULT Clone(IEnumEventEx** out) override { return CloneAs(out); }
  HRESULT Reserved1() override { return E_NOTIMPL; }
  HRESULT Reserved2() override { return E_NOTIMPL; }
  HRESULT Reserved3() override { return 0; }

 protected:
  virtual std::size_t NumberCount() const = 0;
  virtual HRESULT Compute(std::int32_t count, IUnknown* const* sources) = 0;
  virtual ComPtr<EventListEnumerator> MakeEmpty() const = 0;

  std::shared_ptr<FunctionLog> mLog;
  std::vector<double> mNumbers;
  std::vector<QorEventBase> mEvents;
  std::int32_t mLength = 0;

 private:
  template <class I>
  HRESULT CloneAs(I** out) {
    auto copy = MakeEmpty();
    copy->mHost = mHost;
    copy->mNumbers = mNumbers;
    copy->mText = mText;
    copy->mEvents = mEvents;
    copy->mLength = mLength;
    copy->mPosition = mPosition;
    copy->mNext = mNext;
    *out = copy.Detach();
    return S_OK;
  }

  ComPtr<IChannelData> mHost;
  std::wstring mText;
  std::int32_t mPosition = 0;
  std::size_t mNext = 0;
};

class PeaksEnumerator final : public EventListEnumerator {
 public:
  using EventListEnumerator::EventListEnumerator;

 protected:
  std::size_t NumberCount() const override { return 1; }
  ComPtr<EventListEnumerator> MakeEmpty() const override { return MakeCom<PeaksEnumerator>(mLog); }
  HRESULT Compute(std::int32_t count, IUnknown* const* sources) override {
    ComPtr<IEnumFloatEx> source;
    if (count != 1 || Failed(QueryInterfaceOf(sources[0], source.Put()))) return E_INVALIDARG;
    const auto x = ReadAllSamples(source.Get());
    const double height = mNumbers.at(1);
    mLength = static_cast<std::int32_t>(x.size());
    for (std::size_t i = 1; i + 1 < x.size(); ++i)
      if (x[i] > x[i - 1] && x[i] > x[i + 1] && x[i] > height)
        mEvents.push_back({{static_cast<std::int32_t>(i), 0.0f}, x[i]});
    return S_OK;
  }
};

class ValueAtEnumerator final : public EventListEnumerator {
 public:
  using EventListEnumerator::EventListEnumerator;

 protected:
  std::size_t NumberCount() const override { return 0; }
  ComPtr<EventListEnumerator> MakeEmpty() const override { return MakeCom<ValueAtEnumerator>(mLog); }
  HRESULT Compute(std::int32_t count, IUnknown* const* sources) override {
    ComPtr<IEnumFloatEx> samples;
    ComPtr<IEnumEventEx> events;
    if (count != 2 || Failed(QueryInterfaceOf(sources[0], samples.Put())) ||
        Failed(QueryInterfaceOf(sources[1], events.Put())))
      return E_INVALIDARG;
    const auto x = ReadAllSamples(samples.Get());
    mLength = static_cast<std::int32_t>(x.size());
    for (const QorEventBase& e : ReadAllEvents(events.Get())) {
      const std::int32_t t = e.mPosition.mTickPosition;
      if (t >= 0 && t < mLength) mEvents.push_back({e.mPosition, x[t]});
    }
    return S_OK;
  }
};
}  // namespace

// --- FakeChannelData --------------------------------------------------------------------------------------

std::int32_t FakeChannelData::AddBlock(double secsPerTick, std::int64_t length) {
  mLimits.push_back(std::make_shared<Limits>());
  return mFile.AddBlock(secsPerTick, length);
}

void FakeChannelData::SetSamples(std::int32_t block, std::int32_t channel, std::wstring units, Samples samples) {
  mFile.SetSamples(block, channel, std::move(units), 1.0, std::move(samples));
}

void FakeChannelData::SetFormula(std::int32_t block, std::int32_t channel, std::wstring units,
                                 const std::function<float(std::int64_t)>& formula) {
  Samples s(static_cast<std::size_t>(mFile.blocks.at(block).length));
  for (std::size_t t = 0; t < s.size(); ++t) s[t] = formula(static_cast<std::int64_t>(t));
  SetSamples(block, channel, std::move(units), std::move(s));
}

void FakeChannelData::SetAvailable(std::int32_t block, std::int64_t available) {
  mLimits.at(block)->available = available;
}
void FakeChannelData::SetFailAt(std::int32_t block, std::int64_t tick) { mLimits.at(block)->failAt = tick; }

bool FakeChannelData::Valid(std::int32_t block, std::int32_t channel) const {
  return block >= 0 && block < mFile.BlockCount() && channel >= 0 && channel < mFile.ChannelCount();
}

HRESULT FakeChannelData::GetChannelCount(std::int32_t* count) {
  *count = mFile.ChannelCount();
  return S_OK;
}
HRESULT FakeChannelData::GetBlockCount(std::int32_t* count) {
  *count = mFile.BlockCount();
  return S_OK;
}
HRESULT FakeChannelData::GetBlockLength(std::uint32_t, std::int32_t block, std::int32_t channel, std::int64_t* length) {
  if (!Valid(block, channel)) return E_INVALIDARG;
  *length = mFile.blocks[block].length;
  return S_OK;
}
HRESULT FakeChannelData::GetSecsPerTick(std::uint32_t, std::int32_t block, std::int32_t channel, double* secs) {
  if (!Valid(block, channel)) return E_INVALIDARG;
  *secs = mFile.blocks[block].secsPerTick;
  return S_OK;
}
HRESULT FakeChannelData::HasData(std::uint32_t, std::int32_t block, std::int32_t channel) {
  if (!Valid(block, channel)) return E_INVALIDARG;
  return mFile.blocks[block].channels[channel].HasData() ? S_OK : S_FALSE;
}
HRESULT FakeChannelData::GetUnits(std::uint32_t, std::int32_t block, std::int32_t channel, IUnits** units) {
  *units = nullptr;
  if (!Valid(block, channel)) return E_INVALIDARG;
  return InternUnits(mFile.blocks[block].channels[channel].units).CopyTo(units);
}
HRESULT FakeChannelData::GetUnitsConversion(std::uint32_t, std::int32_t, std::int32_t, IUnitsConversion** conversion) {
  *conversion = nullptr;
  return S_FALSE;
}
HRESULT FakeChannelData::GetSample(std::uint32_t, std::int32_t block, std::int32_t channel, std::int64_t offset,
                                   float* value) {
  if (!Valid(block, channel) || !mFile.blocks[block].channels[channel].HasData()) return E_INVALIDARG;
  const auto& s = **mFile.blocks[block].channels[channel].ReadSamples();
  if (offset < 0 || offset >= static_cast<std::int64_t>(s.size())) return S_FALSE;
  *value = s[offset];
  return S_OK;
}
HRESULT FakeChannelData::GetTimeOfPosition(std::uint32_t flags, DataPosition position, double* seconds) {
  auto t = mFile.TimeOf(position, (flags & ReadFlags::kFromBlockStart) != 0);
  if (!t) return E_INVALIDARG;
  *seconds = *t;
  return S_OK;
}
HRESULT FakeChannelData::GetAbsoluteSampleIndex(std::uint32_t, DataPosition position, std::int64_t* index) {
  auto i = mFile.AbsoluteIndex(position);
  if (!i) return E_INVALIDARG;
  *index = *i;
  return S_OK;
}
HRESULT FakeChannelData::GetSelection(Bool16* valid, DataPosition* start, DataPosition* end) {
  *valid = kFalse16;
  *start = *end = DataPosition{};
  return S_OK;
}
HRESULT FakeChannelData::OpenReader(std::uint32_t flags, std::int32_t channel, DataPosition start, DataPosition end,
                                    IEnumFloatEx** reader) {
  *reader = nullptr;
  mReaderFlags.push_back(flags);
  if (start.block != end.block || !Valid(start.block, channel)) return E_INVALIDARG;
  const Block& b = mFile.blocks[start.block];
  const ChannelBlock& cb = b.channels[channel];
  if (!cb.HasData()) return E_FAIL;
  const std::int64_t last = end.offset == DataPosition::kNotSet ? b.length : end.offset;
  if (start.offset < 0 || start.offset > last || last > b.length) return E_INVALIDARG;
  *reader = MakeCom<VectorReader>(*cb.ReadSamples(), start.offset, last, b.secsPerTick, InternUnits(cb.units),
                                  mLimits[start.block])
                .Detach();
  return S_OK;
}
HRESULT FakeChannelData::GetChannelCalc(std::int32_t, IChannelCalc** calc) {
  *calc = nullptr;
  return S_FALSE;
}
HRESULT FakeChannelData::GetChannelTitle(std::int32_t channel, std::wstring* title) {
  if (channel < 0 || channel >= mFile.ChannelCount()) return E_INVALIDARG;
  *title = mFile.channels[channel].title;
  return S_OK;
}

// --- FakeFunctionClass --------------------------------------------------------------------------------------

FakeFunctionClass::FakeFunctionClass(std::wstring recordName, std::vector<std::wstring> names,
                                     std::vector<FakeParam> params, std::int32_t sources, std::uint32_t accepts,
                                     std::uint32_t produces, Factory factory)
    : mRecordName(std::move(recordName)),
      mNames(std::move(names)),
      mParams(std::move(params)),
      mSources(sources),
      mAccepts(accepts),
      mProduces(produces),
      mFactory(std::move(factory)) {}

HRESULT FakeFunctionClass::CreateInstance(IUnknown* outer, const Guid& iid, void** out) {
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  return mFactory(mLog)->QueryInterface(iid, out);
}
HRESULT FakeFunctionClass::GetClassRecord(std::wstring* name, std::wstring* description, Guid* category) {
  *name = mRecordName;
  *description = L"test function " + mRecordName;
  *category = Guid{};
  return S_OK;
}
HRESULT FakeFunctionClass::GetFunctionNameCount(std::int32_t* count) {
  *count = static_cast<std::int32_t>(mNames.size());
  return S_OK;
}
HRESULT FakeFunctionClass::GetFunctionName(std::int32_t index, std::wstring* name) {
  if (index < 0 || index >= static_cast<std::int32_t>(mNames.size())) return E_INVALIDARG;
  *name = mNames[index];
  return S_OK;
}
HRESULT FakeFunctionClass::GetParamCounts(std::int32_t* params, std::int32_t* sources) {
  *params = static_cast<std::int32_t>(mParams.size());
  *sources = mSources;
  return S_OK;
}
HRESULT FakeFunctionClass::GetParamInfo(std::int32_t index, std::wstring* name, std::int32_t* kind,
                                        std::uint32_t* flags, double* minimum, double* maximum) {
  if (index < 0 || index >= static_cast<std::int32_t>(mParams.size())) return E_INVALIDARG;
  const FakeParam& p = mParams[index];
  if (name) *name = p.name;
  if (kind) *kind = p.kind;
  if (flags) *flags = p.flags;
  if (minimum) *minimum = p.minimum;
  if (maximum) *maximum = p.maximum;
  return S_OK;
}
HRESULT FakeFunctionClass::CheckSource(std::int32_t index, std::uint32_t offeredKind) {
  if (index < 0 || index >= mSources) return E_INVALIDARG;
  const std::uint32_t wanted = mParams[index].kind == ParamKind::kEvent ? CalcKind::kEvents : CalcKind::kSamples;
  return (offeredKind & wanted) ? S_OK : S_FALSE;
}
HRESULT FakeFunctionClass::GetKindWords(std::uint32_t* accepts, std::uint32_t* produces) {
  *accepts = mAccepts;
  *produces = mProduces;
  return S_OK;
}

float StandardSample(std::int32_t block, std::int32_t channel, std::int64_t tick) {
  const auto t = static_cast<float>(tick);
  switch (channel) {
    case 0:
      return block == 0 ? t : static_cast<float>(tick % 7 - 3);
    case 1:
      return block == 0 ? 100 - t : t / 4;
    case 2:
      return 1000 * t;
    case 3:
      return 0.5f * t + 1;
    default:
      return 1;
  }
}

ComPtr<FakeChannelData> MakeStandardData() {
  auto data = MakeCom<FakeChannelData>();
  for (const wchar_t* title : {L"Flow", L"Pressure", L"Small flow", L"Raw", L"Volume"}) data->AddChannel(title);
  data->AddBlock(0.001, 10);
  data->AddBlock(0.01, 2500);
  const wchar_t* units[2][5] = {{L"L/s", L"L/s", L"L/s", L"V", L""}, {L"L/s", L"L/s", L"mL/s", L"V", L"L"}};
  for (std::int32_t block = 0; block < 2; ++block)
    for (std::int32_t channel = 0; channel < 5; ++channel)
      if (block == 1 || channel != 4)
        data->SetFormula(block, channel, units[block][channel],
                         [&](std::int64_t t) { return StandardSample(block, channel, t); });
  return data;
}

FakeFunctions RegisterFakeFunctions(CalcEnumRegistry& registry) {
  auto scaleFactory = [](std::shared_ptr<FunctionLog> log) -> ComPtr<ICalcEnum> {
    return MakeCom<ScaleEnumerator>(std::move(log));
  };
  FakeFunctions f;
  f.scale = MakeCom<FakeFunctionClass>(
      L"FakeScaleEnum", std::vector<std::wstring>{L"Scale"},
      std::vector<FakeParam>{{L"Source", ParamKind::kChannel}, {L"Factor", ParamKind::kNumber, -1000, 1000}}, 1,
      CalcKind::kSamples, CalcKind::kSamples, scaleFactory);
  f.tune = MakeCom<FakeFunctionClass>(
      L"FakeTuneEnum", std::vector<std::wstring>{L"Tune"},
      std::vector<FakeParam>{{L"Source", ParamKind::kChannel},
                             {L"Drift", ParamKind::kNumber, 0, 1, ParamFlag::kWholeNumber},
                             {L"Channel", ParamKind::kNumber, 0, 64, ParamFlag::kWholeNumber},
                             {L"Gain", ParamKind::kNumber, 0.001, 1000},
                             {L"Nonlinear", ParamKind::kNumber, 0, 1}},
      1, CalcKind::kSamples, CalcKind::kSamples, scaleFactory);
  f.peaks = MakeCom<FakeFunctionClass>(
      L"FakePeaksEnum", std::vector<std::wstring>{L"Peaks", L"PeakEvents"},
      std::vector<FakeParam>{{L"Source", ParamKind::kChannel}, {L"Height", ParamKind::kNumber, -1e6, 1e6}}, 1,
      CalcKind::kSamples | 0x20000000u, CalcKind::kEvents,
      [](std::shared_ptr<FunctionLog> log) -> ComPtr<ICalcEnum> { return MakeCom<PeaksEnumerator>(std::move(log)); });
  f.valueAt = MakeCom<FakeFunctionClass>(
      L"FakeValueAtEnum", std::vector<std::wstring>{L"ValueAt"},
      std::vector<FakeParam>{{L"Source", ParamKind::kChannel}, {L"Event Source", ParamKind::kEvent}}, 2,
      CalcKind::kSamples | CalcKind::kEvents, CalcKind::kEvents,
      [](std::shared_ptr<FunctionLog> log) -> ComPtr<ICalcEnum> { return MakeCom<ValueAtEnumerator>(std::move(log)); });
  for (auto* c : {&f.scale, &f.tune, &f.peaks, &f.valueAt}) registry.Register(c->Get());
  return f;
}

std::vector<QorEventBase> ReadAllEvents(IEnumEventEx* events, std::int32_t batch) {
  std::vector<QorEventBase> all;
  std::vector<QorEventBase> buf(static_cast<std::size_t>(batch));
  std::int32_t count = 0, next = 0;
  for (int guard = 0; guard < 1000000; ++guard) {
    HRESULT hr = events->Next(-1, buf.data(), batch * static_cast<std::int32_t>(sizeof(QorEventBase)), &count, &next);
    all.insert(all.end(), buf.begin(), buf.begin() + count);
    if (hr != S_OK) break;
  }
  return all;
}

}  // namespace kymora::expr::testing
