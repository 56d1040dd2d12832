#include "host/frame/calculation_change.h"

#include <optional>

#include "host/calc/ichannel_calc.h"
#include "host/calc/ikey_value_settings.h"
#include "host/com/text.h"
#include "host/frame/document_events.h"
#include "host/frame/host_document.h"

namespace kymora {

namespace {
std::string ChannelText(std::int32_t channel) { return "Channel " + std::to_string(channel + 1); }

// What the channel had before the change, to put back when the change is refused.
struct Previous {
  std::optional<StoredCalculation> stored;
  ComPtr<ICalculationClass> cls;
  ComPtr<IPersistObject> settings;
};

Previous Remember(HostDocument& doc, std::int32_t channel) {
  Previous p;
  if (channel >= doc.File().ChannelCount()) return p;
  p.stored = doc.File().channels[static_cast<std::size_t>(channel)].calculation;
  ComPtr<IChannelCalc> calc;
  Guid classId;
  if (doc.Data().GetChannelCalc(channel, calc.Put()) == S_OK && calc &&
      Succeeded(calc->GetSettings(p.settings.Put())) && p.settings && Succeeded(p.settings->GetClassId(&classId)))
    p.cls = doc.Registry().Calculations().FindById(classId);
  return p;
}

void Restore(HostDocument& doc, std::int32_t channel, bool added, const Previous& previous) {
  auto& file = doc.File();
  doc.Data().RemoveCalculation(channel);
  if (added) {
    file.channels.pop_back();
    for (auto& b : file.blocks) b.channels.pop_back();
    return;
  }
  ComPtr<IChannelCalc> calc;
  if (previous.cls && previous.settings && Succeeded(doc.Data().PutCalculation(channel, previous.cls.Get(), &calc)))
    calc->ApplySettings(previous.settings.Get(), kTrue16);
  file.channels[static_cast<std::size_t>(channel)].calculation = previous.stored;
}
}  // namespace

Expected<ComPtr<IPersistObject>> StartingSettings(HostDocument& doc, std::int32_t channel, ICalculationClass* cls) {
  if (!cls) return Error{"no calculation was chosen"};
  Guid wanted, current;
  cls->GetClassId(&wanted);
  ComPtr<IChannelCalc> existing;
  ComPtr<IPersistObject> settings;
  if (channel < doc.File().ChannelCount() && doc.Data().GetChannelCalc(channel, existing.Put()) == S_OK && existing &&
      Succeeded(existing->GetSettings(settings.Put())) && settings && Succeeded(settings->GetClassId(&current)) &&
      current == wanted)
    return settings;
  settings.Reset();
  if (Failed(cls->CreateSettings(settings.Put())) || !settings) return Error{"the calculation gave no settings"};
  return settings;
}

Expected<CalculationOutcome> ChangeCalculation(HostDocument& doc, const CalculationRequest& request) {
  auto& file = doc.File();
  const std::int32_t channel = request.channel;
  if (channel < 0 || channel > file.ChannelCount() || (channel == file.ChannelCount() && !request.cls))
    return Error{ChannelText(channel) + " does not exist"};

  if (!request.cls) {
    doc.Data().RemoveCalculation(channel);
    doc.Frame().SetModified();
    doc.Frame().RaiseHostEvent(HostEvents::kChanged);
    return CalculationOutcome::kApplied;
  }

  auto settings = StartingSettings(doc, channel, request.cls.Get());
  if (!settings) return Error{settings.ErrorMessage()};
  auto keys = settings->As<IKeyValueSettings>();
  for (const auto& [key, value] : request.values) {
    std::wstring error;
    if (!keys) return Error{"this calculation takes no settings by name"};
    if (Failed(keys->SetValue(key.c_str(), value.c_str(), &error)))
      return Error{ToUtf8(error.empty() ? key + L"=" + value + L" is not accepted" : error)};
  }
  if (request.setup) {
    HRESULT hr = request.setup(channel, settings->Get());
    if (hr == S_FALSE) return CalculationOutcome::kCancelled;
    if (Failed(hr)) return Error{"the set-up of the calculation failed"};
  }
  if (auto whole = settings->As<IKeyValueSettings2>()) {
    std::wstring error;
    if (whole->CheckWhole(&error) != S_OK)
      return Error{error.empty() ? std::string("the settings are not complete") : ToUtf8(error)};
  }

  const bool added = channel == file.ChannelCount();
  const Previous previous = Remember(doc, channel);
  if (added) {
    std::wstring title;
    request.cls->GetDisplayName(&title);
    file.AddChannel(title);
  }
  ComPtr<IChannelCalc> calc;
  HRESULT hr = doc.Data().PutCalculation(channel, request.cls.Get(), &calc);
  if (Succeeded(hr)) hr = calc->ApplySettings(settings->Get(), kTrue16);
  if (Failed(hr)) {
    std::string why = doc.Data().LastError();
    Restore(doc, channel, added, previous);
    return Error{"the calculation was refused" + (why.empty() ? std::string() : ": " + why)};
  }
  doc.Frame().SetModified();
  doc.Frame().RaiseHostEvent(HostEvents::kChanged);
  return CalculationOutcome::kApplied;
}

}  // namespace kymora
