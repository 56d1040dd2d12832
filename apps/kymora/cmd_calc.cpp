// kymora calc FILE.kymo CHANNEL KIND [KEY=VALUE ...]: puts a calculation on a channel (CHANNEL may be one past
// the last, which adds a channel); KIND none removes it. The file is saved in one transaction, so a refused
// setting leaves it as it was.
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <vector>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/cli_options.h"
#include "apps/kymora/commands.h"
#include "host/calc/icalc_site.h"
#include "host/calc/ichannel_calc.h"
#include "host/calc/ikey_value_settings.h"
#include "host/com/memory_stream.h"
#include "host/com/text.h"

namespace kymora::cli {

namespace {
struct Args {
  std::string file, kind;
  std::int32_t channel = 0;
  std::vector<std::string> settings;
};

struct Assignment {
  std::wstring key, value;
  std::wstring Text() const { return key + L"=" + value; }
};

std::vector<std::uint8_t> Snapshot(IPersistObject* settings) {
  auto stream = MakeCom<MemoryStream>();
  return Succeeded(settings->Save(stream.Get())) ? stream->Bytes() : std::vector<std::uint8_t>{};
}

// The description a fresh copy of the settings gives after the assignments, in the order given; nothing
// when a copy cannot be made.
std::optional<std::wstring> DescribeAfter(ICalculationClass* cls, const std::vector<std::uint8_t>& initial,
                                          std::initializer_list<const Assignment*> order) {
  ComPtr<IPersistObject> copy;
  if (Failed(cls->CreateSettings(copy.Put())) || !copy) return std::nullopt;
  auto stream = MakeCom<MemoryStream>(initial);
  if (Failed(copy->Load(stream.Get()))) return std::nullopt;
  auto keys = copy.As<IKeyValueSettings>();
  if (!keys) return std::nullopt;
  for (const auto* a : order)
    if (Failed(keys->SetValue(a->key.c_str(), a->value.c_str(), nullptr))) return std::nullopt;
  std::wstring text;
  if (Failed(keys->Describe(&text))) return std::nullopt;
  return text;
}

// Two settings conflict when the result depends on the order they are given in (a key given twice, or a
// preset that replaces a scale given with it): such a command is refused rather than guessed at.
std::optional<std::string> FindConflict(ICalculationClass* cls, const std::vector<std::uint8_t>& initial,
                                        const std::vector<Assignment>& assignments) {
  for (std::size_t i = 0; i < assignments.size(); ++i) {
    for (std::size_t j = i + 1; j < assignments.size(); ++j) {
      const auto *a = &assignments[i], *b = &assignments[j];
      auto forwards = DescribeAfter(cls, initial, {a, b}), backwards = DescribeAfter(cls, initial, {b, a});
      if (forwards && backwards && *forwards != *backwards)
        return ToUtf8(a->Text() + L" and " + b->Text()) + " contradict each other; give one of them";
    }
  }
  return std::nullopt;
}

// The value of KEY in a description "key=value key=value ...".
std::optional<double> DescribedNumber(const std::wstring& text, const std::wstring& key) {
  for (std::size_t at = 0; (at = text.find(key + L"=", at)) != std::wstring::npos; at += key.size()) {
    if (at > 0 && text[at - 1] != L' ') continue;
    try {
      return std::stod(text.substr(at + key.size() + 1));
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

// The output range the settings end with must have its top above its bottom.
std::optional<std::string> CheckRange(IKeyValueSettings* keys, const std::vector<Assignment>& assignments) {
  bool named = false;
  for (const auto& a : assignments) named = named || a.key == L"top" || a.key == L"bottom";
  std::wstring text;
  if (!named || Failed(keys->Describe(&text))) return std::nullopt;
  auto top = DescribedNumber(text, L"top"), bottom = DescribedNumber(text, L"bottom");
  if (top && bottom && !(*top > *bottom))
    return "the range's top (" + NumberText(*top) + ") must lie above its bottom (" + NumberText(*bottom) + ")";
  return std::nullopt;
}

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
      PrintError("unknown calculation '" + args.kind + "'" +
                 (known.empty() ? " (no extension offers any)" : " (known: " + known + ")"));
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
    std::vector<Assignment> assignments;
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
      assignments.push_back({FromUtf8(kv.substr(0, eq)), FromUtf8(kv.substr(eq + 1))});
    }
    const auto initial = Snapshot(settings.Get());
    for (const auto& a : assignments) {
      std::wstring error;
      if (Failed(keys->SetValue(a.key.c_str(), a.value.c_str(), &error))) {
        PrintError(ToUtf8(error.empty() ? L"'" + a.Text() + L"' is not accepted" : error));
        return kExitUsage;
      }
    }
    if (auto conflict = FindConflict(cls.Get(), initial, assignments)) {
      PrintError(*conflict);
      return kExitUsage;
    }
    if (auto wrong = CheckRange(keys.Get(), assignments)) {
      PrintError(*wrong);
      return kExitUsage;
    }
    if (auto whole = settings.As<IKeyValueSettings2>()) {
      std::wstring error;
      if (whole->CheckWhole(&error) != S_OK) {
        PrintError(ToUtf8(error.empty() ? L"the settings are not complete" : error));
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
  std::printf("Ch%d: %s%s%s\n", args.channel, calc ? args.kind.c_str() : "no calculation", describe.empty() ? "" : " ",
              ToUtf8(describe).c_str());
  return kExitOk;
}
}  // namespace

void AddCalcCommand(CLI::App& app, int& exitCode) {
  auto args = std::make_shared<Args>();
  auto* cmd = app.add_subcommand("calc", "Put a calculation on a channel of a .kymo file (KIND none removes it)");
  cmd->add_option("FILE", args->file, "The .kymo file")->required();
  cmd->add_option("CHANNEL", args->channel, "Channel number from 1; one past the last adds a channel")
      ->required()
      ->check(Counting());
  cmd->add_option("KIND", args->kind, "Calculation, for example SpFlow or SpVol, or none")->required();
  cmd->add_option("SETTINGS", args->settings, "KEY=VALUE settings of the calculation");
  cmd->callback([args, &exitCode] { exitCode = Run(*args); });
}

}  // namespace kymora::cli
