#include "host/expr/engine.h"

#include <new>

#include "host/com/text.h"
#include "host/expr/detector_settings.h"
#include "host/expr/parser.h"

namespace kymora::expr {

Engine::Engine(IChannelData* data, const CalcEnumRegistry* registry) : mData(data), mRegistry(registry) {}

Expected<ComPtr<Expression>> Engine::CompileText(std::wstring_view text, std::span<const ChannelBinding> bindings,
                                                 HRESULT* code) const {
  HRESULT ignored;
  if (!code) code = &ignored;
  *code = E_INVALIDARG;
  std::map<std::int32_t, std::wstring> units;
  for (const ChannelBinding& b : bindings) {
    if (b.channel < 0) return Error{"channel binding with a negative channel index"};
    // A later binding of the same channel wins; a null one returns the channel to its own units.
    if (b.units)
      units[b.channel] = b.units;
    else
      units.erase(b.channel);
  }
  auto tree = Parse(text);
  if (!tree) return Error{tree.ErrorMessage()};
  std::int32_t channels = 0;
  if (!mData) {
    *code = E_FAIL;
    return Error{"no data to compile against"};
  }
  if (HRESULT hr = mData->GetChannelCount(&channels); Failed(hr)) {
    *code = hr;
    return Error{"cannot count the channels of the file"};
  }
  auto compiled = Compiler(mRegistry, channels).Compile(**tree);
  if (!compiled) return Error{compiled.ErrorMessage()};
  *code = S_OK;
  return MakeCom<Expression>(mData, std::move(*compiled), std::wstring(text), std::move(units));
}

HRESULT Engine::Compile(const wchar_t* text, std::int32_t bindingCount, const ChannelBinding* bindings,
                        IExpression** out, std::wstring* error) {
  if (out) *out = nullptr;
  auto report = [&](HRESULT hr, std::string_view message) noexcept {
    try {
      if (error) *error = FromUtf8(message);
    } catch (...) {
      // The code still tells the caller what happened.
    }
    return hr;
  };
  try {
    if (error) error->clear();
    if (!out) return report(E_POINTER, "no place for the compiled expression");
    if (!text) return report(E_INVALIDARG, "no expression text");
    if (bindingCount < 0 || (bindingCount > 0 && !bindings)) return report(E_INVALIDARG, "bad channel bindings");
    HRESULT code = E_FAIL;
    auto expression =
        CompileText(text, std::span<const ChannelBinding>(bindings, static_cast<std::size_t>(bindingCount)), &code);
    if (!expression) return report(Failed(code) ? code : E_FAIL, expression.ErrorMessage());
    *out = expression->Detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return report(E_OUTOFMEMORY, "out of memory");
  } catch (...) {
    return report(E_FAIL, "internal error");
  }
}

HRESULT Engine::CreateDetectorSettings(IDetectorSettings** settings) {
  if (!settings) return E_POINTER;
  *settings = nullptr;
  try {
    *settings = MakeCom<DetectorSettings>(mData).Detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace kymora::expr
