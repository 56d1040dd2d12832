#include "host/expr/expression.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>
#include <vector>

#include "host/calc/icalc_enum.h"
#include "host/calc/sample_readers.h"
#include "host/com/text.h"
#include "host/data/read_flags.h"
#include "host/data/units.h"
#include "host/expr/arithmetic_enum.h"

namespace kymora::expr {

namespace {
constexpr std::uint32_t kSampleFlags = ReadFlags::kCalculated | ReadFlags::kInUnits;
constexpr std::uint32_t kBlockFlags = ReadFlags::kBlockInfo | ReadFlags::kCalculated;

std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

// What one node became for a block.
struct Built {
  ComPtr<IEnumFloatEx> samples;
  ComPtr<IEnumEventEx> events;
  ComPtr<ICalcEnum> calc;  // calls only
  bool constant = false;
  double value = 0;
};

// Opens the enumerators of one tree for one block. Failures leave their code in mCode.
class BlockBuilder {
 public:
  BlockBuilder(IChannelData* data, std::int32_t block, const std::map<std::int32_t, std::wstring>& bindings,
               std::int32_t infoChannel)
      : mData(data), mBlock(block), mBindings(bindings), mInfoChannel(infoChannel) {}

  HRESULT Code() const { return mCode; }

  Status CheckBlock() {
    std::int32_t count = 0;
    HRESULT hr = mData->GetBlockCount(&count);
    if (Failed(hr)) return Fail(hr, "cannot count the blocks of the file (" + Hex(hr) + ")");
    if (mBlock < 0 || mBlock >= count)
      return Fail(E_INVALIDARG, "block " + std::to_string(std::int64_t{mBlock} + 1) + " does not exist (the file has " +
                                    std::to_string(count) + " blocks)");
    return Ok();
  }

  Expected<Built> Build(const CompiledNode& node) {
    using Op = CompiledNode::Op;
    switch (node.op) {
      case Op::kConstant: {
        Built b;
        b.constant = true;
        b.value = node.value;
        return b;
      }
      case Op::kChannel:
        return BuildChannel(node);
      case Op::kNegate: {
        auto operand = Build(*node.operands.at(0));
        if (!operand) return operand;
        Built b;
        b.samples = MakeCom<ScalingReader>(operand->samples, -1.0, nullptr);
        return b;
      }
      case Op::kAdd:
      case Op::kSubtract:
      case Op::kMultiply:
      case Op::kDivide: {
        auto left = Build(*node.operands.at(0));
        if (!left) return left;
        auto right = Build(*node.operands.at(1));
        if (!right) return right;
        const auto op = node.op == Op::kAdd        ? ArithmeticEnum::Op::kAdd
                        : node.op == Op::kSubtract ? ArithmeticEnum::Op::kSubtract
                        : node.op == Op::kMultiply ? ArithmeticEnum::Op::kMultiply
                                                   : ArithmeticEnum::Op::kDivide;
        Built b;
        b.samples =
            MakeCom<ArithmeticEnum>(op, Operand{left->samples, left->value}, Operand{right->samples, right->value}, 0);
        return b;
      }
      case Op::kCall:
        return BuildCall(node);
    }
    return Fail(E_UNEXPECTED, "internal error: unknown node");
  }

  Expected<std::int64_t> BlockLength() {
    std::int64_t length = 0;
    HRESULT hr = mData->GetBlockLength(kBlockFlags, mBlock, mInfoChannel, &length);
    if (Failed(hr)) return Fail(hr, "cannot get the length of " + BlockName() + " (" + Hex(hr) + ")");
    return length;
  }

  Expected<double> SecsPerTick() {
    double secs = 0;
    HRESULT hr = mData->GetSecsPerTick(kBlockFlags, mBlock, mInfoChannel, &secs);
    if (Failed(hr)) return Fail(hr, "cannot get the sample interval of " + BlockName() + " (" + Hex(hr) + ")");
    return secs;
  }

 private:
  Error Fail(HRESULT hr, std::string message) {
    mCode = Failed(hr) ? hr : E_FAIL;
    return Error{std::move(message)};
  }

  std::string BlockName() const { return "block " + std::to_string(std::int64_t{mBlock} + 1); }

  Expected<Built> BuildChannel(const CompiledNode& node) {
    const std::string name = ToUtf8(node.text);
    ComPtr<IEnumFloatEx> reader;
    HRESULT hr = mData->OpenReader(kSampleFlags, node.channel, DataPosition{0, mBlock},
                                   DataPosition{DataPosition::kNotSet, mBlock}, reader.Put());
    if (Failed(hr) || !reader) {
      if (mData->HasData(kSampleFlags, mBlock, node.channel) == S_FALSE)
        return Fail(hr, name + " has no data in " + BlockName());
      return Fail(hr, "cannot read " + name + " in " + BlockName() + " (" + Hex(hr) + ")");
    }
    Built b;
    b.samples = reader;
    auto binding = mBindings.find(node.channel);
    if (binding == mBindings.end()) return b;

    ComPtr<IUnits> units;
    std::wstring own;
    hr = mData->GetUnits(kSampleFlags, mBlock, node.channel, units.Put());
    if (Failed(hr) || !units || Failed(units->GetText(&own)))
      return Fail(hr, "cannot get the units of " + name + " in " + BlockName());
    const std::wstring& wanted = binding->second;
    if (own == wanted) return b;
    auto factor = UnitsFactor(own, wanted);
    if (!factor)
      return Fail(E_FAIL, name + " is in '" + ToUtf8(own) + "' in " + BlockName() + " and cannot be read in '" +
                              ToUtf8(wanted) + "'");
    b.samples = MakeCom<ScalingReader>(reader, *factor, InternUnits(wanted));
    return b;
  }

  Expected<Built> BuildCall(const CompiledNode& node) {
    const std::string name = ToUtf8(node.text);
    Built b;
    HRESULT hr = node.function->CreateInstance(nullptr, ICalcEnum::kIid, b.calc.PutVoid());
    if (Failed(hr) || !b.calc) return Fail(hr, "cannot create " + name + " (" + Hex(hr) + ")");
    hr = b.calc->SetHost(mData);
    if (Failed(hr)) return Fail(hr, name + " refused the host (" + Hex(hr) + ")");
    std::uint32_t outputKind = 0;
    hr = b.calc->SetParameters(node.parameters.c_str(), &outputKind);
    if (Failed(hr)) return Fail(hr, name + " refused its settings '" + ToUtf8(node.parameters) + "' (" + Hex(hr) + ")");

    std::vector<Built> sources;
    std::vector<IUnknown*> pointers;
    sources.reserve(node.operands.size());
    for (const auto& operand : node.operands) {
      auto source = Build(*operand);
      if (!source) return source;
      sources.push_back(std::move(*source));
      const Built& s = sources.back();
      pointers.push_back(s.events ? static_cast<IUnknown*>(s.events.Get()) : static_cast<IUnknown*>(s.samples.Get()));
    }
    if (!mSecsPerTick) {
      auto secs = SecsPerTick();
      if (!secs) return Error{secs.ErrorMessage()};
      mSecsPerTick = *secs;
    }
    hr = b.calc->SetSources(mBlock, static_cast<std::int32_t>(pointers.size()), pointers.data(), 0, *mSecsPerTick, 0);
    if (Failed(hr)) return Fail(hr, name + " refused its sources in " + BlockName() + " (" + Hex(hr) + ")");

    if (node.kind == ValueKind::kEvents) {
      b.events = b.calc.As<IEnumEventEx>();
      if (!b.events) return Fail(E_NOINTERFACE, name + " gives no events");
    } else {
      b.samples = b.calc.As<IEnumFloatEx>();
      if (!b.samples) return Fail(E_NOINTERFACE, name + " gives no samples");
    }
    return b;
  }

  IChannelData* mData;
  std::int32_t mBlock;
  const std::map<std::int32_t, std::wstring>& mBindings;
  std::int32_t mInfoChannel;
  std::optional<double> mSecsPerTick;
  HRESULT mCode = E_FAIL;
};

std::int32_t FirstChannel(const CompiledNode& node) {
  if (node.op == CompiledNode::Op::kChannel) return node.channel;
  for (const auto& operand : node.operands) {
    std::int32_t c = FirstChannel(*operand);
    if (c >= 0) return c;
  }
  return -1;
}

template <class F>
HRESULT AtBoundary(std::string& lastError, F&& f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    lastError = "out of memory";
    return E_OUTOFMEMORY;
  } catch (...) {
    lastError = "internal error";
    return E_FAIL;
  }
}
}  // namespace

Expression::Expression(ComPtr<IChannelData> data, CompiledNodePtr root, std::wstring text,
                       std::map<std::int32_t, std::wstring> bindings)
    : mData(std::move(data)), mRoot(std::move(root)), mText(std::move(text)), mBindings(std::move(bindings)) {
  mBlockInfoChannel = std::max(0, FirstChannel(*mRoot));
}

HRESULT Expression::GetKind(std::uint32_t* kind) {
  if (!kind) return E_POINTER;
  *kind = mRoot->kind == ValueKind::kEvents ? CalcKind::kEvents : CalcKind::kSamples;
  return S_OK;
}

HRESULT Expression::GetText(std::wstring* text) {
  if (!text) return E_POINTER;
  return AtBoundary(mLastError, [&] {
    *text = mText;
    return S_OK;
  });
}

Expected<ComPtr<IEnumFloatEx>> Expression::OpenSamples(std::int32_t block, std::int64_t startTick,
                                                       HRESULT* code) const {
  HRESULT ignored;
  if (!code) code = &ignored;
  *code = E_INVALIDARG;
  if (mRoot->kind == ValueKind::kEvents) return Error{"an event expression has no samples"};
  if (startTick < 0) return Error{"the start tick must not be negative"};
  BlockBuilder builder(mData.Get(), block, mBindings, mBlockInfoChannel);
  auto fail = [&](const std::string& message) {
    *code = builder.Code();
    return Error{message};
  };
  if (auto ok = builder.CheckBlock(); !ok) return fail(ok.ErrorMessage());
  auto built = builder.Build(*mRoot);
  if (!built) return fail(built.ErrorMessage());
  ComPtr<IEnumFloatEx> samples = built->samples;
  if (built->constant) {
    auto length = builder.BlockLength();
    if (!length) return fail(length.ErrorMessage());
    auto secs = builder.SecsPerTick();
    if (!secs) return fail(secs.ErrorMessage());
    samples = MakeCom<ConstantEnum>(built->value, *length, *secs);
  }
  HRESULT hr = samples->Seek(startTick);
  if (Failed(hr)) {
    *code = hr;
    return Error{"cannot move to tick " + std::to_string(startTick) + " (" + Hex(hr) + ")"};
  }
  *code = S_OK;
  return samples;
}

Expected<ComPtr<IEnumEventEx>> Expression::OpenEvents(std::int32_t block, std::int32_t startTick, HRESULT* code) const {
  HRESULT ignored;
  if (!code) code = &ignored;
  *code = E_INVALIDARG;
  if (mRoot->kind != ValueKind::kEvents) return Error{"a sample expression has no events"};
  if (startTick < 0) return Error{"the start tick must not be negative"};
  BlockBuilder builder(mData.Get(), block, mBindings, mBlockInfoChannel);
  auto fail = [&](const std::string& message) {
    *code = builder.Code();
    return Error{message};
  };
  if (auto ok = builder.CheckBlock(); !ok) return fail(ok.ErrorMessage());
  auto built = builder.Build(*mRoot);
  if (!built) return fail(built.ErrorMessage());
  HRESULT hr = built->calc->SetPosition(startTick);
  if (Failed(hr)) {
    *code = hr;
    return Error{"cannot move to tick " + std::to_string(startTick) + " (" + Hex(hr) + ")"};
  }
  *code = S_OK;
  return built->events;
}

HRESULT Expression::CreateSampleEnum(std::int32_t block, std::int64_t startTick, IEnumFloatEx** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return AtBoundary(mLastError, [&] {
    HRESULT code = E_FAIL;
    auto samples = OpenSamples(block, startTick, &code);
    if (!samples) {
      mLastError = samples.ErrorMessage();
      return code;
    }
    mLastError.clear();
    *out = samples->Detach();
    return S_OK;
  });
}

HRESULT Expression::CreateEventEnum(std::int32_t block, std::int32_t startTick, IEnumEventEx** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return AtBoundary(mLastError, [&] {
    HRESULT code = E_FAIL;
    auto events = OpenEvents(block, startTick, &code);
    if (!events) {
      mLastError = events.ErrorMessage();
      return code;
    }
    mLastError.clear();
    *out = events->Detach();
    return S_OK;
  });
}

}  // namespace kymora::expr
