#include "host/calc/channel_data.h"

#include <algorithm>

#include "host/calc/calc_site.h"
#include "host/calc/icalc_enum.h"
#include "host/calc/sample_readers.h"
#include "host/com/memory_stream.h"
#include "host/data/read_flags.h"
#include "host/data/units.h"
#include "host/data/units_conversion.h"

namespace kymora {

namespace {
// Marks a channel's calculation as being opened for as long as it lives, so that a calculation that
// (through other channels) reads itself is refused instead of recursing forever.
class OpeningGuard {
 public:
  OpeningGuard(std::vector<bool>& opening, std::int32_t channel) : mOpening(opening), mChannel(channel) {
    if (opening.size() <= static_cast<std::size_t>(channel)) opening.resize(channel + 1);
    mLoop = opening[channel];
    opening[channel] = true;
  }
  ~OpeningGuard() {
    if (!mLoop) mOpening[mChannel] = false;
  }
  bool IsLoop() const { return mLoop; }

 private:
  std::vector<bool>& mOpening;
  std::int32_t mChannel;
  bool mLoop;
};

std::string ChannelName(std::int32_t channel) {
  return channel < 0 ? "a channel that is not set" : "channel " + std::to_string(channel + 1);
}
}  // namespace

ChannelData::ChannelData(std::shared_ptr<DataFile> file, HostServices services)
    : mFile(std::move(file)), mServices(std::move(services)) {}

ChannelData::~ChannelData() { Shutdown(); }

void ChannelData::Shutdown() {
  auto bindings = std::move(mBindings);
  mBindings.clear();
  for (auto& b : bindings) {
    if (b && b->site) b->site->Detach();
  }
  bindings.clear();  // releases the calculations, which may release references to this object
}

HRESULT ChannelData::QueryOtherInterface(const Guid& iid, void** out) {
  return mProvider ? mProvider(iid, out) : E_NOINTERFACE;
}

HRESULT ChannelData::Fail(HRESULT hr, std::string message) {
  mLastError = std::move(message);
  return hr;
}

CalcBinding* ChannelData::Binding(std::int32_t channel) const {
  if (channel < 0 || static_cast<std::size_t>(channel) >= mBindings.size()) return nullptr;
  return mBindings[channel].get();
}

bool ChannelData::ReadsCalculation(std::uint32_t flags, std::int32_t channel) const {
  return Binding(channel) && ReadFlags::WantsCalculated(flags);
}

std::optional<std::string> ChannelData::WhyNotReadable(std::int32_t channel,
                                                       const std::vector<CCalcEnumSourceInfo>& sources) const {
  const std::string subject = "the calculation on " + ChannelName(channel);
  for (const auto& s : sources) {
    if (s.channel < 0) return subject + " has no source channel set";
    if (!ValidChannel(s.channel)) return subject + " reads " + ChannelName(s.channel) + ", which does not exist";
    if (s.channel == channel && !ReadFlags::WantsCalculated(s.flags)) {
      bool recorded = false;
      for (const auto& block : mFile->blocks) recorded = recorded || block.channels[channel].HasData();
      if (!recorded)
        return subject +
               " reads the recorded samples of its own channel, which has none; its source must be "
               "another channel";
    }
  }
  // Follow what the sources read through their own calculations; coming back to `channel` is a loop.
  std::vector<bool> seen(mFile->ChannelCount(), false);
  std::vector<std::pair<std::int32_t, std::int32_t>> pending;  // (channel read as calculated, first step)
  for (const auto& s : sources)
    if (ReadFlags::WantsCalculated(s.flags)) pending.push_back({s.channel, s.channel});
  while (!pending.empty()) {
    auto [next, via] = pending.back();
    pending.pop_back();
    if (next == channel)
      return subject + " would read its own output" + (via == channel ? "" : " through " + ChannelName(via));
    if (seen[next]) continue;
    seen[next] = true;
    const auto* b = Binding(next);
    if (!b || !b->applied) continue;
    for (const auto& s : b->sources)
      if (ReadFlags::WantsCalculated(s.flags) && ValidChannel(s.channel)) pending.push_back({s.channel, via});
  }
  return std::nullopt;
}

void ChannelData::AttachStoredCalculations(std::vector<std::string>* warnings) {
  auto warn = [&](std::string w) {
    if (warnings) warnings->push_back(std::move(w));
  };
  for (std::int32_t c = 0; c < mFile->ChannelCount(); ++c) {
    auto stored = mFile->channels[c].calculation;  // a copy: the calculation may be rewritten below
    if (!stored) continue;
    auto cls = mServices.calculations ? mServices.calculations->FindById(stored->classId) : nullptr;
    if (!cls) {
      warn("Channel " + std::to_string(c + 1) + ": its calculation (class " + stored->classId.ToString() +
           ") belongs to an extension that is not loaded; the channel has no data until it is.");
      continue;
    }
    ComPtr<IChannelCalc> calc;
    if (Failed(PutCalculation(c, cls.Get(), &calc))) {
      warn("Channel " + std::to_string(c + 1) + ": its calculation could not be created.");
      continue;
    }
    ComPtr<IPersistObject> settings;
    auto stream = MakeCom<MemoryStream>(stored->settings);
    HRESULT hr = calc->GetSettings(settings.Put());
    if (Succeeded(hr)) hr = settings->Load(stream.Get());
    if (Succeeded(hr)) hr = calc->ApplySettings(settings.Get(), kTrue16);
    if (Failed(hr)) {
      warn("Channel " + std::to_string(c + 1) + ": the stored settings of its calculation could not be read;" +
           " the channel has no data.");
      mBindings[c]->site->Detach();
      mBindings[c].reset();
    }
  }
}

Status ChannelData::StoreCalculations() {
  for (std::size_t c = 0; c < mBindings.size(); ++c) {
    auto* b = mBindings[c].get();
    if (!b) continue;
    ComPtr<IPersistObject> settings;
    auto stream = MakeCom<MemoryStream>();
    HRESULT hr = b->calc->GetSettings(settings.Put());
    if (Succeeded(hr)) hr = settings->Save(stream.Get());
    if (Failed(hr))
      return Error{"the settings of the calculation on channel " + std::to_string(c + 1) + " could not be saved"};
    mFile->channels[c].calculation = StoredCalculation{b->classId, stream->Bytes()};
  }
  return Ok();
}

HRESULT ChannelData::PutCalculation(std::int32_t channel, ICalculationClass* cls, ComPtr<IChannelCalc>* calc) {
  if (!cls || !calc) return E_POINTER;
  if (!ValidChannel(channel)) return Fail(E_INVALIDARG, ChannelName(channel) + " does not exist");
  auto binding = std::make_unique<CalcBinding>();
  cls->GetClassId(&binding->classId);
  cls->GetName(&binding->className);
  binding->site = MakeCom<CalcSite>(this, channel);
  if (mBindings.size() <= static_cast<std::size_t>(channel)) mBindings.resize(channel + 1);
  auto previous = std::move(mBindings[channel]);
  mBindings[channel] = std::move(binding);
  HRESULT hr = cls->CreateCalculation(mBindings[channel]->site.Get(), mBindings[channel]->calc.Put());
  if (Failed(hr) || !mBindings[channel]->calc) {
    mBindings[channel]->site->Detach();
    mBindings[channel] = std::move(previous);
    return Fail(Failed(hr) ? hr : E_FAIL, "the calculation could not be created");
  }
  if (previous && previous->site) previous->site->Detach();
  *calc = mBindings[channel]->calc;
  return S_OK;
}

void ChannelData::RemoveCalculation(std::int32_t channel) {
  if (auto* b = Binding(channel)) {
    b->site->Detach();
    mBindings[channel].reset();
  }
  if (ValidChannel(channel)) mFile->channels[channel].calculation.reset();
}

HRESULT ChannelData::GetChannelCount(std::int32_t* count) {
  if (!count) return E_POINTER;
  *count = mFile->ChannelCount();
  return S_OK;
}

HRESULT ChannelData::GetBlockCount(std::int32_t* count) {
  if (!count) return E_POINTER;
  *count = mFile->BlockCount();
  return S_OK;
}

HRESULT ChannelData::GetBlockLength(std::uint32_t, std::int32_t block, std::int32_t, std::int64_t* length) {
  if (!length) return E_POINTER;
  if (!ValidBlock(block)) return E_INVALIDARG;
  *length = mFile->blocks[block].length;
  return S_OK;
}

HRESULT ChannelData::GetSecsPerTick(std::uint32_t, std::int32_t block, std::int32_t, double* secs) {
  if (!secs) return E_POINTER;
  if (!ValidBlock(block)) return E_INVALIDARG;
  *secs = mFile->blocks[block].secsPerTick;
  return S_OK;
}

HRESULT ChannelData::HasData(std::uint32_t flags, std::int32_t block, std::int32_t channel) {
  if (!ValidBlock(block) || !ValidChannel(channel)) return E_INVALIDARG;
  if (!ReadsCalculation(flags, channel)) return mFile->blocks[block].channels[channel].HasData() ? S_OK : S_FALSE;
  auto* b = Binding(channel);
  if (!b->applied) return S_FALSE;
  OpeningGuard guard(mOpening, channel);
  if (guard.IsLoop()) return S_FALSE;
  for (const auto& s : b->sources) {
    if (!ValidChannel(s.channel) || HasData(s.flags, block, s.channel) != S_OK) return S_FALSE;
  }
  return S_OK;
}

HRESULT ChannelData::GetUnits(std::uint32_t flags, std::int32_t block, std::int32_t channel, IUnits** units) {
  if (!units) return E_POINTER;
  *units = nullptr;
  if (!ValidBlock(block) || !ValidChannel(channel)) return E_INVALIDARG;
  std::wstring text =
      ReadsCalculation(flags, channel) ? Binding(channel)->UnitsText() : mFile->blocks[block].channels[channel].units;
  *units = InternUnits(text).Detach();
  return S_OK;
}

HRESULT ChannelData::GetUnitsConversion(std::uint32_t flags, std::int32_t block, std::int32_t channel,
                                        IUnitsConversion** conversion) {
  if (!conversion) return E_POINTER;
  *conversion = nullptr;
  if (!ValidBlock(block) || !ValidChannel(channel)) return E_INVALIDARG;
  if (ReadsCalculation(flags, channel)) {
    auto* b = Binding(channel);
    if (!b->applied) return S_FALSE;
    *conversion = MakeCom<UnitsConversion>(b->scale, b->offset).Detach();
    return S_OK;
  }
  const auto& cb = mFile->blocks[block].channels[channel];
  if (!cb.HasData()) return S_FALSE;
  *conversion = MakeCom<UnitsConversion>(cb.Scale(), 0.0).Detach();
  return S_OK;
}

HRESULT ChannelData::GetUserConversion(std::uint32_t flags, std::int32_t block, std::int32_t channel,
                                       IUnitsConversion** conversion, IUnits** shownUnits) {
  if (!conversion) return E_POINTER;
  *conversion = nullptr;
  if (shownUnits) *shownUnits = nullptr;
  if (!ValidBlock(block) || !ValidChannel(channel)) return E_INVALIDARG;
  // The conversion lies on the recorded data; a calculation's output is shown as the calculation makes it.
  if (ReadsCalculation(flags, channel)) return S_FALSE;
  const auto& user = mFile->blocks[block].channels[channel].userConversion;
  if (!user) return S_FALSE;
  *conversion = MakeCom<UnitsConversion>(user->scale, user->offset).Detach();
  if (shownUnits) *shownUnits = InternUnits(user->units).Detach();
  return S_OK;
}

HRESULT ChannelData::GetSample(std::uint32_t flags, std::int32_t block, std::int32_t channel, std::int64_t offset,
                               float* value) {
  if (!value) return E_POINTER;
  if (!ValidBlock(block) || !ValidChannel(channel)) return E_INVALIDARG;
  if (offset < 0 || offset >= mFile->blocks[block].length) return S_FALSE;
  if (offset > DataPosition::kNotSet - 1) return S_FALSE;
  ComPtr<IEnumFloatEx> reader;
  DataPosition start{static_cast<std::int32_t>(offset), block};
  DataPosition end{static_cast<std::int32_t>(offset + 1), block};
  HRESULT hr = OpenReader(flags, channel, start, end, reader.Put());
  if (Failed(hr)) return hr;
  std::int32_t got = 0;
  hr = reader->Read(1, value, &got);
  if (Failed(hr)) return hr;
  return got == 1 ? S_OK : S_FALSE;
}

HRESULT ChannelData::GetTimeOfPosition(std::uint32_t flags, DataPosition position, double* seconds) {
  if (!seconds) return E_POINTER;
  auto t = mFile->TimeOf(position, (flags & ReadFlags::kFromBlockStart) != 0);
  if (!t) return E_INVALIDARG;
  *seconds = *t;
  return S_OK;
}

HRESULT ChannelData::GetAbsoluteSampleIndex(std::uint32_t, DataPosition position, std::int64_t* index) {
  if (!index) return E_POINTER;
  auto i = mFile->AbsoluteIndex(position);
  if (!i) return E_INVALIDARG;
  *index = *i;
  return S_OK;
}

HRESULT ChannelData::GetSelection(Bool16* valid, DataPosition* start, DataPosition* end) {
  if (!valid || !start || !end) return E_POINTER;
  const auto& s = mFile->selection;
  *valid = ToBool16(s.valid);
  *start = s.start;
  *end = s.end;
  return S_OK;
}

HRESULT ChannelData::OpenReader(std::uint32_t flags, std::int32_t channel, DataPosition start, DataPosition end,
                                IEnumFloatEx** reader) {
  if (!reader) return E_POINTER;
  *reader = nullptr;
  if (!ValidChannel(channel)) return Fail(E_INVALIDARG, ChannelName(channel) + " does not exist");
  if (!ValidBlock(start.block) || start.block != end.block)
    return Fail(E_INVALIDARG, "a reader covers one block of the recording");
  const auto& block = mFile->blocks[start.block];
  std::int64_t begin = start.offset == DataPosition::kNotSet ? block.length : start.offset;
  std::int64_t stop = end.offset == DataPosition::kNotSet ? block.length : end.offset;
  if (begin < 0 || stop < begin || stop > block.length) return Fail(E_INVALIDARG, "the range lies outside the block");
  if (ReadsCalculation(flags, channel)) return OpenCalculated(channel, start.block, begin, stop, reader);
  const auto& cb = block.channels[channel];
  if (!cb.HasData())
    return Fail(E_FAIL, ChannelName(channel) + " has no data in block " + std::to_string(start.block + 1));
  auto samples = cb.ReadSamples();  // samples left in the file are read here, once
  if (!samples) return Fail(E_FAIL, samples.ErrorMessage());
  *reader = MakeCom<RecordedReader>(*samples, begin, stop, block.secsPerTick, InternUnits(cb.units)).Detach();
  return S_OK;
}

HRESULT ChannelData::OpenCalculated(std::int32_t channel, std::int32_t block, std::int64_t begin, std::int64_t end,
                                    IEnumFloatEx** reader) {
  auto* b = Binding(channel);
  if (!b->applied) return Fail(E_FAIL, "the calculation on " + ChannelName(channel) + " has not been set up");
  OpeningGuard guard(mOpening, channel);
  if (guard.IsLoop()) return Fail(E_FAIL, "the calculation on " + ChannelName(channel) + " depends on its own output");
  ComPtr<ICalcEnum> prepared;
  std::int64_t num = 1, den = 1, delay = 0, length = 0;
  std::int32_t last = 0;
  HRESULT hr = b->calc->PrepareRecord(block, this, prepared.Put(), &num, &den, &delay, &length, &last);
  if (Failed(hr) || !prepared)
    return Fail(Failed(hr) ? hr : E_FAIL,
                "the calculation on " + ChannelName(channel) + " failed to prepare block " + std::to_string(block + 1));
  // Each reader gets its own clone: the calculation may keep its enumerator across records and readers.
  ComPtr<ICalcEnum> calcEnum;
  hr = prepared->Clone(calcEnum.Put());
  if (Failed(hr)) return Fail(hr, "the calculation's enumerator could not be cloned");
  std::vector<ComPtr<IEnumFloatEx>> sources;
  DataPosition from{0, block}, to{DataPosition::kNotSet, block};
  for (const auto& s : b->sources) {
    ComPtr<IEnumFloatEx> src;
    hr = OpenReader(s.flags, s.channel, from, to, src.Put());
    if (Failed(hr)) return hr;
    sources.push_back(src);
  }
  std::vector<IUnknown*> raw;
  for (auto& s : sources) raw.push_back(s.Get());
  hr = calcEnum->SetSources(block, static_cast<std::int32_t>(raw.size()), raw.data(), 0,
                            mFile->blocks[block].secsPerTick, 0);
  if (Failed(hr)) return Fail(hr, "the calculation on " + ChannelName(channel) + " refused its sources");
  auto out = calcEnum.As<IEnumFloatEx>();
  if (!out) return Fail(E_NOINTERFACE, "the calculation on " + ChannelName(channel) + " produces no samples");
  if (begin > 0 && Failed(hr = out->Seek(begin))) return Fail(hr, "seeking in the calculated channel failed");
  *reader = MakeCom<ScalingReader>(out, b->valueFactor, InternUnits(b->UnitsText()), end).Detach();
  return S_OK;
}

HRESULT ChannelData::GetChannelCalc(std::int32_t channel, IChannelCalc** calc) {
  if (!calc) return E_POINTER;
  *calc = nullptr;
  if (!ValidChannel(channel)) return E_INVALIDARG;
  auto* b = Binding(channel);
  if (!b) return S_FALSE;
  return b->calc.CopyTo(calc);
}

HRESULT ChannelData::GetChannelTitle(std::int32_t channel, std::wstring* title) {
  if (!title) return E_POINTER;
  if (!ValidChannel(channel)) return E_INVALIDARG;
  *title = mFile->channels[channel].title;
  return S_OK;
}

}  // namespace kymora
