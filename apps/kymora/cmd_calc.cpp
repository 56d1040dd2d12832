// kymora calc FILE.kymo CHANNEL KIND [KEY=VALUE ...]: puts a calculation on a channel (CHANNEL may be one past
// the last, which adds a channel); KIND none removes it. The file is saved in one transaction, so a refused
// setting leaves it as it was.
#include <cstdio>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/commands.h"
#include "host/calc/ichannel_calc.h"
#include "host/calc/icalc_site.h"
#include "host/calc/ikey_value_settings.h"
#include "host/com/text.h"

namespace kymora::cli {

namespace {
struct Args {
  std::string file, kind;
  std::int32_t channel = 0;
  std::vector<std::string> settings;
};

int Run(const Args& args) {
  if (!IsKymoPath(args.file)) {
    PrintError(args.file + ": calculations are stored in .kymo files; import the recording first");
    return kExitUsage;
  }
  auto doc = OpenDocument(args.file);
  if (!doc) return kExitFailure;
  auto& file = doc->File();
  std::int32_t channel = args.channel - 1;
  if (channel < 0 || channel > file.ChannelCount()) {
    PrintError("channel " + std::to_string(args.channel) + " does not exist (the file has " +
               std::to_string(file.ChannelCount()) + "; one past the last adds a channel)");
    return kExitUsage;
  }
  if (EqualsNoCase(FromUtf8(args.kind), L"none")) {
    if (!args.settings.empty()) {
      PrintError("KIND none takes no settings");
      return kExitUsage;
    }
    if (channel == file.ChannelCount()) {
      PrintError("channel " + std::to_string(args.channel) + " does not exist");
      return kExitUsage;
    }
    doc->Data().RemoveCalculation(channel);
  } else {
    auto cls = doc->Registry().Calculations().FindByName(FromUtf8(args.kind));
    if (!cls) {
      std::string known;
      for (const auto& c : doc->Registry().Calculations().All()) {
        std::wstring name;
        c->GetName(&name);
        known += (known.empty() ? "" : ", ") + ToUtf8(name);
      }
      PrintError("unknown calculation '" + args.kind + "'" + (known.empty() ? " (no extension offers any)" : " (known: " + known + ")"));
      return kExitUsage;
    }
    if (channel == file.ChannelCount()) {
      std::wstring title;
      cls->GetDisplayName(&title);
      file.AddChannel(title);
    }
    // An existing calculation of the same class is edited from its current settings.
    ComPtr<IPersistObject> settings;
    ComPtr<IChannelCalc> existing;
    Guid wanted, current;
    cls->GetClassId(&wanted);
    bool sameClass = doc->Data().GetChannelCalc(channel, existing.Put()) == S_OK && existing &&
                     Succeeded(existing->GetSettings(settings.Put())) && settings &&
                     Succeeded(settings->GetClassId(&current)) && current == wanted;
    if (!sameClass) settings.Reset();
    ComPtr<IChannelCalc> calc;
    if (Failed(doc->Data().PutCalculation(channel, cls.Get(), &calc))) {
      PrintError(doc->Data().LastError());
      return kExitFailure;
    }
    if (!settings && Failed(calc->GetSettings(settings.Put()))) {
      PrintError("the calculation gave no settings");
      return kExitFailure;
    }
    auto keys = settings.As<IKeyValueSettings>();
    for (const auto& kv : args.settings) {
      auto eq = kv.find('=');
      if (eq == std::string::npos || eq == 0) {
        PrintError("'" + kv + "' is not KEY=VALUE");
        return kExitUsage;
      }
      if (!keys) {
        PrintError("this calculation takes no settings on the command line");
        return kExitUsage;
      }
      std::wstring error;
      if (Failed(keys->SetValue(FromUtf8(kv.substr(0, eq)).c_str(), FromUtf8(kv.substr(eq + 1)).c_str(), &error))) {
        PrintError(ToUtf8(error.empty() ? L"'" + FromUtf8(kv) + L"' is not accepted" : error));
        return kExitUsage;
      }
    }
    HRESULT hr = calc->ApplySettings(settings.Get(), kTrue16);
    if (Failed(hr)) {
      PrintError("the calculation was refused" +
                 (doc->Data().LastError().empty() ? std::string() : ": " + doc->Data().LastError()));
      return kExitFailure;
    }
  }
  auto saved = doc->Save(args.file);
  if (!saved) {
    PrintError(saved.ErrorMessage());
    return kExitFailure;
  }
  std::wstring describe;
  ComPtr<IChannelCalc> calc;
  ComPtr<IPersistObject> settings;
  if (doc->Data().GetChannelCalc(channel, calc.Put()) == S_OK && Succeeded(calc->GetSettings(settings.Put())))
    if (auto keys = settings.As<IKeyValueSettings>()) keys->Describe(&describe);
  std::printf("Ch%d: %s%s%s\n", args.channel, calc ? args.kind.c_str() : "no calculation",
              describe.empty() ? "" : " ", ToUtf8(describe).c_str());
  return kExitOk;
}
}  // namespace

void AddCalcCommand(CLI::App& app, int& exitCode) {
  auto args = std::make_shared<Args>();
  auto* cmd = app.add_subcommand("calc", "Put a calculation on a channel of a .kymo file (KIND none removes it)");
  cmd->add_option("FILE", args->file, "The .kymo file")->required();
  cmd->add_option("CHANNEL", args->channel, "Channel number from 1; one past the last adds a channel")->required();
  cmd->add_option("KIND", args->kind, "Calculation, for example SpFlow or SpVol, or none")->required();
  cmd->add_option("SETTINGS", args->settings, "KEY=VALUE settings of the calculation");
  cmd->callback([args, &exitCode] { exitCode = Run(*args); });
}

}  // namespace kymora::cli
