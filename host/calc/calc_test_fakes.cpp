#include "host/calc/calc_test_fakes.h"

#include <sstream>

#include "host/calc/icalc_enum_class.h"
#include "host/calc/icalc_site.h"
#include "host/calc/icalculation_class.h"
#include "host/com/binary_stream.h"

namespace kymora::fakes {

namespace {
class ScaleEnum final : public ComObject<ICalcEnum, IEnumFloatEx> {
 public:
  HRESULT GetOutputKind(std::uint32_t* kind) override {
    *kind = CalcKind::kSamples;
    return S_OK;
  }
  HRESULT SetHost(IChannelData*) override { return S_OK; }
  HRESULT SetParameters(const wchar_t* text, std::uint32_t* kind) override {
    std::wistringstream in(text);
    in >> mFactor;
    if (kind) *kind = CalcKind::kSamples;
    return S_OK;
  }
  HRESULT GetParameters(std::wstring* text) override {
    *text = std::to_wstring(mFactor);
    return S_OK;
  }
  HRESULT Clone(ICalcEnum** out) override {
    auto c = MakeCom<ScaleEnum>();
    c->mFactor = mFactor;
    c->mSource = mSource;
    *out = c.Detach();
    return S_OK;
  }
  HRESULT SetSources(std::int32_t, std::int32_t count, IUnknown* const* sources, std::int32_t, double secs,
                     std::int32_t) override {
    if (count != 1) return E_INVALIDARG;
    mSource = ComPtr<IUnknown>(sources[0]).As<IEnumFloatEx>();
    mSecs = secs;
    return mSource ? S_OK : E_FAIL;
  }
  HRESULT SetPosition(std::int64_t tick) override { return Seek(tick); }
  HRESULT ReleaseSources() override {
    mSource.Reset();
    return S_OK;
  }
  HRESULT GetPosition(std::int64_t* tick) override { return mSource->GetPosition(tick); }
  HRESULT Seek(std::int64_t tick) override { return mSource->Seek(tick); }
  HRESULT GetLength(std::int64_t* length) override { return mSource->GetLength(length); }
  HRESULT GetSecsPerTick(double* secs) override {
    *secs = mSecs;
    return S_OK;
  }
  HRESULT Clone(IEnumFloatEx** out) override {
    ComPtr<ICalcEnum> c;
    Clone(c.Put());
    *out = c.As<IEnumFloatEx>().Detach();
    return S_OK;
  }
  HRESULT Read(std::int32_t count, float* buffer, std::int32_t* delivered) override {
    HRESULT hr = mSource->Read(count, buffer, delivered);
    for (std::int32_t i = 0; i < *delivered; ++i) buffer[i] *= mFactor;
    return hr;
  }
  HRESULT GetUnits(IUnits** units) override {
    *units = nullptr;
    return S_FALSE;
  }

 private:
  float mFactor = 1;
  double mSecs = 0;
  ComPtr<IEnumFloatEx> mSource;
};

class ScaleEnumClass final : public ComObject<ICalcEnumClass> {
 public:
  HRESULT CreateInstance(IUnknown*, const Guid& iid, void** out) override {
    return MakeCom<ScaleEnum>()->QueryInterface(iid, out);
  }
  HRESULT GetClassRecord(std::wstring* name, std::wstring* description, Guid* category) override {
    *name = L"ScaleEnum";
    *description = L"1 channel ScaleEnum";
    *category = Guid{};
    return S_OK;
  }
};

class ScaleSettings final : public ComObject<IPersistObject> {
 public:
  explicit ScaleSettings(ScaleSettingsData d) : data(std::move(d)) {}
  HRESULT Load(IStream* stream) override {
    BinaryStream s(stream);
    std::int32_t version = 0;
    ScaleSettingsData d;
    s.ReadInt32(version).ReadInt32(d.source).ReadFloat(d.factor).ReadString(d.units).ReadInt32(d.prefixCode);
    s.ReadDouble(d.valueFactor);
    if (!s.Ok() || version != 1) return E_FAIL;
    data = d;
    return S_OK;
  }
  HRESULT Save(IStream* stream) override {
    BinaryStream s(stream);
    s.WriteInt32(1).WriteInt32(data.source).WriteFloat(data.factor).WriteString(data.units);
    s.WriteInt32(data.prefixCode).WriteDouble(data.valueFactor);
    return s.Status();
  }
  HRESULT GetClassId(Guid* id) override {
    *id = kScaleCalcId;
    return S_OK;
  }
  ScaleSettingsData data;
};

class ScaleCalc final : public ComObject<IChannelCalc> {
 public:
  explicit ScaleCalc(ICalcSite* site) : mSite(site) {}
  HRESULT PrepareRecord(std::int32_t, IChannelData*, ICalcEnum** e, std::int64_t* n, std::int64_t* d,
                        std::int64_t* delay, std::int64_t* length, std::int32_t* last) override {
    *n = *d = 1;
    *delay = 0;
    *length = 0;
    *last = 0;
    return mSite->CreateEnum(L"ScaleEnum", std::to_wstring(mData.factor).c_str(), e);
  }
  HRESULT ApplySettings(IPersistObject* settings, Bool16) override {
    mData = static_cast<ScaleSettings*>(settings)->data;
    CCalcEnumSourceInfo src{mData.source, mData.sourceFlags, static_cast<std::int32_t>(0x80000000u)};
    mSite->SetSources(1, &src);
    mSite->SetOutputScaling(10.0 / 32000, 0);
    mSite->SetOutputUnits(mData.units.c_str(), mData.prefixCode, mData.valueFactor);
    return mSite->Apply(kCalcApplyRecompute);
  }
  HRESULT ReplaceSettings(IPersistObject* settings) override {
    mData = static_cast<ScaleSettings*>(settings)->data;
    return S_OK;
  }
  HRESULT GetSettings(IPersistObject** settings) override {
    *settings = MakeCom<ScaleSettings>(mData).Detach();
    return S_OK;
  }
  HRESULT GetCapabilities(std::uint32_t* flags) override {
    *flags = 0;
    return S_OK;
  }
  HRESULT GetSite(ICalcSite** site) override { return mSite.CopyTo(site); }

 private:
  ComPtr<ICalcSite> mSite;
  ScaleSettingsData mData;
};

class ScaleCalcClass final : public ComObject<ICalculationClass> {
 public:
  HRESULT GetClassId(Guid* id) override {
    *id = kScaleCalcId;
    return S_OK;
  }
  HRESULT GetName(std::wstring* name) override {
    *name = L"Scale";
    return S_OK;
  }
  HRESULT GetDisplayName(std::wstring* name) override {
    *name = L"Scale";
    return S_OK;
  }
  HRESULT CreateCalculation(ICalcSite* site, IChannelCalc** calc) override {
    *calc = MakeCom<ScaleCalc>(site).Detach();
    return S_OK;
  }
  HRESULT CreateSettings(IPersistObject** settings) override {
    *settings = MakeCom<ScaleSettings>(ScaleSettingsData{}).Detach();
    return S_OK;
  }
};
}  // namespace

ComPtr<ICalcEnumClass> MakeScaleEnumClass() { return MakeCom<ScaleEnumClass>(); }
ComPtr<ICalculationClass> MakeScaleCalcClass() { return MakeCom<ScaleCalcClass>(); }
ComPtr<IPersistObject> MakeScaleSettings(const ScaleSettingsData& data) { return MakeCom<ScaleSettings>(data); }

FakeHost::FakeHost() {
  enums.Register(MakeScaleEnumClass().Get());
  calculations.Register(MakeScaleCalcClass().Get());
}

HostServices FakeHost::Services() {
  HostServices s;
  s.enums = &enums;
  s.calculations = &calculations;
  s.messageBox = [this](const std::wstring& text, const std::wstring&, std::uint32_t) {
    messages.push_back(text);
    return 1;
  };
  return s;
}

std::vector<float> ReadAll(IChannelData* data, std::int32_t channel, std::int32_t block, std::uint32_t flags) {
  ComPtr<IEnumFloatEx> reader;
  if (Failed(data->OpenReader(flags, channel, {0, block}, {DataPosition::kNotSet, block}, reader.Put()))) return {};
  std::vector<float> out;
  float buf[7];
  std::int32_t got = 0;
  do {
    reader->Read(7, buf, &got);
    out.insert(out.end(), buf, buf + got);
  } while (got == 7);
  return out;
}

}  // namespace kymora::fakes
