// kymora info FILE [--json]: channels, units, calculations, blocks, selection, extensions.
#include <cstdio>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/commands.h"
#include "apps/kymora/extensions.h"
#include "apps/kymora/json_writer.h"
#include "host/calc/icalc_site.h"
#include "host/calc/ichannel_calc.h"
#include "host/calc/ikey_value_settings.h"
#include "host/data/iunits.h"
#include "host/data/iunits_conversion.h"
#include "host/data/read_flags.h"

namespace kymora::cli {

namespace {
struct ChannelBlockInfo {
  std::string units;
  double fullScale = 0;
  bool hasData = false;
};

ChannelBlockInfo Describe(IChannelData* data, std::int32_t block, std::int32_t channel) {
  ChannelBlockInfo info;
  ComPtr<IUnits> units;
  std::wstring text;
  if (Succeeded(data->GetUnits(ReadFlags::kCalculated, block, channel, units.Put())) && units) units->GetText(&text);
  info.units = Narrow(text);
  info.hasData = data->HasData(ReadFlags::kCalculated, block, channel) == S_OK;
  ComPtr<IUnitsConversion> conv;
  if (data->GetUnitsConversion(ReadFlags::kCalculated | ReadFlags::kInUnits, block, channel, conv.Put()) == S_OK)
    conv->ValueOfRaw(32000.0, 0, &info.fullScale);
  return info;
}

struct CalcInfo {
  bool present = false, live = false;
  std::string name, classId, settings;
};

CalcInfo DescribeCalc(HostDocument& doc, std::int32_t channel) {
  CalcInfo info;
  const auto& stored = doc.File().channels[channel].calculation;
  ComPtr<IChannelCalc> calc;
  if (doc.Data().GetChannelCalc(channel, calc.Put()) == S_OK && calc) {
    info.present = info.live = true;
    ComPtr<ICalcSite> site;
    std::wstring name;
    if (Succeeded(calc->GetSite(site.Put())) && site) site->GetClassName(&name);
    info.name = Narrow(name);
    ComPtr<IPersistObject> settings;
    if (Succeeded(calc->GetSettings(settings.Put())) && settings) {
      Guid id;
      if (Succeeded(settings->GetClassId(&id))) info.classId = id.ToString();
      if (auto kv = settings.As<IKeyValueSettings>()) {
        std::wstring text;
        kv->Describe(&text);
        info.settings = Narrow(text);
      }
    }
  } else if (stored) {
    info.present = true;
    info.classId = stored->classId.ToString();
    // The class is known but its stored settings were refused when the file was opened.
    if (auto cls = doc.Registry().Calculations().FindById(stored->classId)) {
      std::wstring name;
      cls->GetName(&name);
      info.name = Narrow(name);
    }
  }
  return info;
}

void PrintJson(HostDocument& doc) {
  auto* data = doc.DataInterface();
  const auto& f = doc.File();
  JsonWriter w;
  w.BeginObject().Key("file").String(doc.Path());
  w.Key("channels").BeginArray();
  for (std::int32_t c = 0; c < f.ChannelCount(); ++c) {
    w.BeginObject().Key("number").Int(c + 1).Key("title").String(Narrow(f.channels[c].title));
    auto calc = DescribeCalc(doc, c);
    w.Key("calculation");
    if (!calc.present) {
      w.Null();
    } else {
      w.BeginObject().Key("class").String(calc.name).Key("classId").String(calc.classId);
      w.Key("loaded").Bool(calc.live).Key("settings").String(calc.settings).EndObject();
    }
    w.Key("blocks").BeginArray();
    for (std::int32_t b = 0; b < f.BlockCount(); ++b) {
      auto info = Describe(data, b, c);
      w.BeginObject().Key("units").String(info.units).Key("fullScale").Double(info.fullScale, 9);
      w.Key("hasData").Bool(info.hasData).Key("userConversion");
      if (const auto& user = f.blocks[b].channels[c].userConversion)
        w.BeginObject()
            .Key("scale")
            .Double(user->scale)
            .Key("offset")
            .Double(user->offset)
            .Key("units")
            .String(Narrow(user->units))
            .EndObject();
      else
        w.Null();
      w.EndObject();
    }
    w.EndArray().EndObject();
  }
  w.EndArray();
  w.Key("blocks").BeginArray();
  for (std::int32_t b = 0; b < f.BlockCount(); ++b) {
    const auto& block = f.blocks[b];
    w.BeginObject().Key("number").Int(b + 1).Key("secondsPerSample").Double(block.secsPerTick);
    w.Key("length").Int(block.length).EndObject();
  }
  w.EndArray();
  w.Key("selection");
  if (!f.selection.valid) {
    w.Null();
  } else {
    auto pos = [&](DataPosition p) {
      w.BeginObject().Key("block").Int(p.block + 1).Key("offset").Int(p.offset).EndObject();
    };
    w.BeginObject().Key("start");
    pos(f.selection.start);
    w.Key("end");
    pos(f.selection.end);
    w.EndObject();
  }
  w.Key("menus").BeginArray();
  for (const auto& m : HostRegistry::Current()->Menus().Entries()) {
    w.BeginObject().Key("path").String(Narrow(m.path)).Key("caption").String(Narrow(m.caption));
    w.Key("command").Int(m.commandId).Key("help").String(Narrow(m.helpTopic)).Key("group").Int(m.group).EndObject();
  }
  w.EndArray();
  w.Key("extensions").BeginArray();
  for (const auto& e : LoadedExtensions()) {
    w.BeginObject().Key("name").String(e.name).Key("version").String(e.version).Key("file").String(e.file).EndObject();
  }
  w.EndArray();
  w.EndObject();
  std::printf("%s\n", w.TakeText().c_str());
}

void PrintText(HostDocument& doc) {
  auto* data = doc.DataInterface();
  const auto& f = doc.File();
  std::printf("File: %s\n", doc.Path().c_str());
  std::printf("Channels: %d\n", f.ChannelCount());
  for (std::int32_t c = 0; c < f.ChannelCount(); ++c) {
    auto info = f.BlockCount() ? Describe(data, 0, c) : ChannelBlockInfo{};
    std::printf("  Ch%d  %-20s units %-8s full scale %-8.6g%s\n", c + 1, Narrow(f.channels[c].title).c_str(),
                info.units.empty() ? "-" : info.units.c_str(), info.fullScale, info.hasData ? "" : "  (no data)");
    for (std::int32_t b = 0; b < f.BlockCount(); ++b)
      if (const auto& user = f.blocks[b].channels[c].userConversion)
        std::printf("       block %d %s\n", b + 1, DescribeConversion(*user).c_str());
    auto calc = DescribeCalc(doc, c);
    if (calc.present && calc.live)
      std::printf("       calculation %s: %s\n", calc.name.c_str(), calc.settings.c_str());
    else if (calc.present && !calc.name.empty())
      std::printf("       calculation %s (its stored settings were refused; the channel has no data)\n",
                  calc.name.c_str());
    else if (calc.present)
      std::printf("       calculation %s (its extension is not loaded)\n", calc.classId.c_str());
  }
  std::printf("Blocks: %d\n", f.BlockCount());
  for (std::int32_t b = 0; b < f.BlockCount(); ++b) {
    const auto& block = f.blocks[b];
    std::printf("  Block %d: %lld samples at %.6g Hz (%.6g s)\n", b + 1, static_cast<long long>(block.length),
                1.0 / block.secsPerTick, block.secsPerTick * static_cast<double>(block.length));
  }
  if (f.selection.valid)
    std::printf("Selection: block %d offset %d to block %d offset %d\n", f.selection.start.block + 1,
                f.selection.start.offset, f.selection.end.block + 1, f.selection.end.offset);
  else
    std::printf("Selection: none\n");
  auto extensions = LoadedExtensions();
  std::printf("Extensions: %zu\n", extensions.size());
  for (const auto& e : extensions) std::printf("  %s %s (%s)\n", e.name.c_str(), e.version.c_str(), e.file.c_str());
  for (const auto& m : HostRegistry::Current()->Menus().Entries()) {
    if (m.IsTopLevel() || m.IsExtensionListing()) continue;
    if (m.IsSeparator())
      std::printf("  menu %s\n", Narrow(m.path).c_str());
    else
      std::printf("  menu %-28s %-20s command %u, help \"%s\"\n", Narrow(m.path).c_str(), Narrow(m.caption).c_str(),
                  m.commandId, Narrow(m.helpTopic).c_str());
  }
}
}  // namespace

void AddInfoCommand(CLI::App& app, int& exitCode) {
  auto path = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto* cmd = app.add_subcommand("info", "Show the channels, units, calculations, blocks and selection of a file");
  cmd->add_option("FILE", *path, "A .kymo file or a recording")->required();
  cmd->add_flag("--json", *json, "Print one JSON object");
  cmd->callback([path, json, &exitCode] {
    auto doc = OpenDocument(*path);
    if (!doc) {
      exitCode = kExitFailure;
      return;
    }
    if (*json)
      PrintJson(*doc);
    else
      PrintText(*doc);
    exitCode = kExitOk;
  });
}

}  // namespace kymora::cli
