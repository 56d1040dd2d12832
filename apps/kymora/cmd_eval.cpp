// kymora eval FILE EXPRESSION [--block N] [--from TICK] [--to TICK]
// Samples print as "TICK<TAB>VALUE"; events as one JSON object per line with every field of the record.
#include <cstdio>
#include <cstring>
#include <vector>

#include "apps/kymora/cli_context.h"
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
  w.Key("fraction").Double(head.mPosition.mFraction, "%.9g").Key("value").Double(head.mValue);
  for (const auto& f : fields) {
    if (f.offset < 0) continue;
    w.Key(f.name);
    switch (f.type) {
      case EventFieldType::kInt32:
        if (f.offset + 4 <= size) w.Int(At<std::int32_t>(record, f.offset)); else w.Null();
        break;
      case EventFieldType::kUInt8:
        if (f.offset + 1 <= size) w.Int(record[f.offset]); else w.Null();
        break;
      case EventFieldType::kFloat32:
        if (f.offset + 4 <= size) w.Double(At<float>(record, f.offset), "%.9g"); else w.Null();
        break;
      default:
        if (f.offset + 8 <= size) w.Double(At<double>(record, f.offset)); else w.Null();
    }
  }
  w.EndObject();
  std::printf("%s\n", w.Text().c_str());
}

std::string WhyNot(IExpression* expr, std::int32_t block) {
  auto* own = expr::Expression::Of(expr);
  if (own && !own->LastError().empty()) return own->LastError();
  return "the expression cannot be evaluated on block " + std::to_string(block + 1);
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
  auto end = static_cast<std::int32_t>(std::min<std::int64_t>(to, 2147483647));
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
  cmd->add_option("--block", args->block, "Block number, from 1")->check(CLI::PositiveNumber);
  cmd->add_option("--from", args->from, "First tick (0-based sample index in the block)")->check(CLI::NonNegativeNumber);
  cmd->add_option("--to", args->to, "Tick to stop before (default: the end of the block)")->check(CLI::NonNegativeNumber);
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
      PrintError(args->file + " has " + std::to_string(blocks) + " block(s); there is no block " + std::to_string(args->block));
      exitCode = kExitUsage;
      return;
    }
    std::int32_t block = args->block - 1;
    std::int64_t length = 0;
    data->GetBlockLength(0xC0000000, block, 0, &length);
    std::int64_t to = std::min(args->to.value_or(length), length);
    ComPtr<IExpressionEngine> engine = ComPtr<IChannelData>(data).As<IExpressionEngine>();
    ComPtr<IExpression> expr;
    std::wstring error;
    if (!engine || Failed(engine->Compile(FromUtf8(args->expression).c_str(), 0, nullptr, expr.Put(), &error)) || !expr) {
      PrintError("\"" + args->expression + "\": " + ToUtf8(error));
      exitCode = kExitUsage;
      return;
    }
    std::uint32_t kind = 0;
    expr->GetKind(&kind);
    exitCode = kind == CalcKind::kEvents ? EvalEvents(expr.Get(), block, args->from, to)
                                         : EvalSamples(expr.Get(), block, args->from, to);
  });
}

}  // namespace kymora::cli
