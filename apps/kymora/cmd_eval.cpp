// kymora eval FILE EXPRESSION [--block N] [--from TICK] [--to TICK]
// Samples print as "TICK<TAB>VALUE"; events as one JSON object per line with every field of the record.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>
#include <vector>

#include "apps/kymora/cli_context.h"
#include "apps/kymora/cli_options.h"
#include "apps/kymora/commands.h"
#include "apps/kymora/json_writer.h"
#include "host/calc/icalc_enum.h"
#include "host/calc/icalc_enum_class.h"
#include "host/calc/ienum_event_ex.h"
#include "host/calc/ienum_float_ex.h"
#include "host/com/text.h"
#include "host/expr/expression.h"
#include "host/expr/iexpression_engine.h"

namespace kymora::cli {

namespace {
struct Field {
  std::string name;
  std::int32_t offset, type;
};

std::vector<Field> FieldsOf(IEnumEventEx* events) {
  std::vector<Field> fields;
  auto layout = ComPtr<IEnumEventEx>(events).As<IEventLayout>();
  if (!layout) return fields;
  std::int32_t n = 0;
  layout->GetFieldCount(&n);
  for (std::int32_t i = 0; i < n; ++i) {
    std::wstring name;
    Field f{};
    if (Succeeded(layout->GetField(i, &name, &f.offset, &f.type))) {
      f.name = ToUtf8(name);
      fields.push_back(f);
    }
  }
  return fields;
}

template <class T>
T At(const std::uint8_t* record, std::int32_t offset) {
  T v;
  std::memcpy(&v, record + offset, sizeof v);
  return v;
}

void PrintEvent(const std::uint8_t* record, std::int32_t size, const std::vector<Field>& fields) {
  QorEventBase head;
  std::memcpy(&head, record, sizeof head);
  JsonWriter w;
  w.BeginObject().Key("tick").Int(head.mPosition.mTickPosition);
  w.Key("fraction").Double(head.mPosition.mFraction, 9).Key("value").Double(head.mValue);
  for (const auto& f : fields) {
    if (f.offset < 0) continue;
    w.Key(f.name);
    switch (f.type) {
      case EventFieldType::kInt32:
        if (f.offset + 4 <= size)
          w.Int(At<std::int32_t>(record, f.offset));
        else
          w.Null();
        break;
      case EventFieldType::kUInt8:
        if (f.offset + 1 <= size)
          w.Int(record[f.offset]);
        else
          w.Null();
        break;
      case EventFieldType::kFloat32:
        if (f.offset + 4 <= size)
          w.Double(At<float>(record, f.offset), 9);
        else
          w.Null();
        break;
      default:
        if (f.offset + 8 <= size)
          w.Double(At<double>(record, f.offset));
        else
          w.Null();
    }
  }
  w.EndObject();
  std::printf("%s\n", w.TakeText().c_str());
}

std::string WhyNot(IExpression* expr, std::int32_t block) {
  auto* own = expr::Expression::Of(expr);
  if (own && !own->LastError().empty()) return own->LastError();
  return "the expression cannot be evaluated on block " + std::to_string(block + 1);
}

// The place of a compile error: "position N: why" from the engine becomes the reason and, under it, the
// part of the expression around that place with a caret, so that a long expression is never printed whole.
std::string DescribeCompileError(const std::wstring& expression, const std::string& error) {
  std::size_t position = 0, used = 0;
  if (error.rfind("position ", 0) == 0) {
    try {
      position = std::stoul(error.substr(9), &used);
    } catch (const std::exception&) {
      used = 0;
    }
  }
  if (used == 0 || error.compare(9 + used, 2, ": ") != 0 || position == 0)
    return "the expression cannot be read: " + error;
  constexpr std::size_t kContext = 30;
  const std::size_t at = std::min(position - 1, expression.size());
  const std::size_t from = at > kContext ? at - kContext : 0;
  const std::size_t to = std::min(expression.size(), at + kContext);
  const std::wstring before = (from > 0 ? L"..." : L"") + expression.substr(from, at - from);
  const std::wstring excerpt = before + expression.substr(at, to - at) + (to < expression.size() ? L"..." : L"");
  return "the expression cannot be read at position " + std::to_string(position) + ": " + error.substr(9 + used + 2) +
         "\n  " + ToUtf8(excerpt) + "\n  " + std::string(before.size(), ' ') + "^";
}

int EvalSamples(IExpression* expr, std::int32_t block, std::int64_t from, std::int64_t to) {
  ComPtr<IEnumFloatEx> samples;
  if (Failed(expr->CreateSampleEnum(block, from, samples.Put())) || !samples) {
    PrintError(WhyNot(expr, block));
    return kExitFailure;
  }
  std::vector<float> buf(4096);
  std::int64_t tick = from;
  while (tick < to) {
    auto want = static_cast<std::int32_t>(std::min<std::int64_t>(to - tick, static_cast<std::int64_t>(buf.size())));
    std::int32_t got = 0;
    HRESULT hr = samples->Read(want, buf.data(), &got);
    for (std::int32_t i = 0; i < got; ++i) std::printf("%lld\t%.9g\n", static_cast<long long>(tick + i), buf[i]);
    tick += got;
    if (Failed(hr)) {
      PrintError("reading the expression failed at tick " + std::to_string(tick));
      return kExitFailure;
    }
    if (got < want) break;
  }
  return kExitOk;
}

int EvalEvents(IExpression* expr, std::int32_t block, std::int64_t from, std::int64_t to) {
  ComPtr<IEnumEventEx> events;
  if (Failed(expr->CreateEventEnum(block, static_cast<std::int32_t>(from), events.Put())) || !events) {
    PrintError(WhyNot(expr, block));
    return kExitFailure;
  }
  std::int32_t size = 0;
  events->GetElementSize(&size);
  if (size < static_cast<std::int32_t>(sizeof(QorEventBase)) || size > 4096) {
    PrintError("the expression's events have an unusable record size");
    return kExitFailure;
  }
  auto fields = FieldsOf(events.Get());
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(size) * 8);
  const auto end = static_cast<std::int32_t>(to);  // the caller keeps event ticks within 32 bits
  for (;;) {
    std::int32_t count = 0, next = 0;
    HRESULT hr = events->Next(end, buf.data(), static_cast<std::int32_t>(buf.size()), &count, &next);
    if (Failed(hr)) {
      PrintError("reading the expression's events failed");
      return kExitFailure;
    }
    for (std::int32_t i = 0; i < count; ++i) PrintEvent(buf.data() + i * size, size, fields);
    if (hr == S_FALSE || next >= end || count == 0) break;
  }
  return kExitOk;
}
}  // namespace

void AddEvalCommand(CLI::App& app, int& exitCode) {
  struct Args {
    std::string file, expression;
    std::int32_t block = 1;
    std::int64_t from = 0;
    std::optional<std::int64_t> to;
  };
  auto args = std::make_shared<Args>();
  auto* cmd = app.add_subcommand("eval", "Evaluate an expression over one block of a file");
  cmd->add_option("FILE", args->file, "A .kymo file or a recording")->required();
  cmd->add_option("EXPRESSION", args->expression, "For example \"Ch1*2+1\" or \"SPEEFlow(Ch1, 0.5)\"")->required();
  const auto ticks = WholeWithin(0, std::numeric_limits<std::int64_t>::max());
  cmd->add_option("--block", args->block, "Block number, from 1")->check(Counting());
  cmd->add_option("--from", args->from, "First tick (0-based sample index in the block)")->check(ticks);
  cmd->add_option("--to", args->to, "Tick to stop before (default: the end of the block)")->check(ticks);
  cmd->callback([args, &exitCode] {
    auto doc = OpenDocument(args->file);
    if (!doc) {
      exitCode = kExitFailure;
      return;
    }
    auto* data = doc->DataInterface();
    std::int32_t blocks = 0;
    data->GetBlockCount(&blocks);
    if (args->block > blocks) {
      PrintError(args->file + " has " + std::to_string(blocks) + " block(s); there is no block " +
                 std::to_string(args->block));
      exitCode = kExitUsage;
      return;
    }
    std::int32_t block = args->block - 1;
    std::int64_t length = 0;
    data->GetBlockLength(0xC0000000, block, 0, &length);
    const std::int64_t to = args->to.value_or(length);
    std::string wrongTicks;
    if (to > length)
      wrongTicks = "--to " + std::to_string(to) + " lies beyond the end of block " + std::to_string(args->block) +
                   ", which has " + std::to_string(length) + " samples (ticks 0 to " + std::to_string(length - 1) + ")";
    else if (args->from > length)
      wrongTicks = "--from " + std::to_string(args->from) + " lies beyond the end of block " +
                   std::to_string(args->block) + ", which has " + std::to_string(length) + " samples";
    else if (args->from > to)
      wrongTicks = "--from " + std::to_string(args->from) + " lies after --to " + std::to_string(to);
    if (!wrongTicks.empty()) {
      PrintError(wrongTicks);
      exitCode = kExitUsage;
      return;
    }
    // A leading space was put before an expression that starts with a minus so that it is not taken for an
    // option (PrepareEvalArguments); the expression reads the same without it.
    std::string text = args->expression.starts_with(" -") ? args->expression.substr(1) : args->expression;
    const std::wstring expression = FromUtf8(text);
    ComPtr<IExpressionEngine> engine = ComPtr<IChannelData>(data).As<IExpressionEngine>();
    ComPtr<IExpression> expr;
    std::wstring error;
    if (!engine || Failed(engine->Compile(expression.c_str(), 0, nullptr, expr.Put(), &error)) || !expr) {
      PrintError(DescribeCompileError(expression, ToUtf8(error)));
      exitCode = kExitUsage;
      return;
    }
    std::uint32_t kind = 0;
    expr->GetKind(&kind);
    if (kind == CalcKind::kEvents && to > std::numeric_limits<std::int32_t>::max()) {
      PrintError("event expressions reach tick " + std::to_string(std::numeric_limits<std::int32_t>::max()) +
                 " at most; give --to");
      exitCode = kExitUsage;
      return;
    }
    exitCode = kind == CalcKind::kEvents ? EvalEvents(expr.Get(), block, args->from, to)
                                         : EvalSamples(expr.Get(), block, args->from, to);
    if (ReadFailed(*doc)) exitCode = kExitFailure;
  });
}

}  // namespace kymora::cli

namespace kymora::cli {

void PrepareEvalArguments(std::vector<std::string>& args) {
  auto command = std::find_if(args.begin(), args.end(), [](const std::string& a) { return !a.starts_with('-'); });
  if (command == args.end() || *command != "eval") return;
  static const std::set<std::string> takingValues = {"--block", "--from", "--to"};
  for (auto a = command + 1; a != args.end() && *a != "--"; ++a) {
    if (takingValues.count(*a)) {
      if (++a == args.end()) break;
      continue;
    }
    if (a->size() > 1 && a->starts_with('-') && !a->starts_with("--") && *a != "-h" && *a != "-v") a->insert(0, " ");
  }
}

}  // namespace kymora::cli
