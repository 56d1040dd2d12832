#pragma once
// 128-bit identifiers of classes and interfaces, in the {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} form.
#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};

  friend constexpr bool operator==(const Guid&, const Guid&) = default;
  friend constexpr auto operator<=>(const Guid&, const Guid&) = default;

  // Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional, any case).
  static constexpr std::optional<Guid> FromString(std::string_view text);
  // Compile-time parse of a literal; a malformed literal does not compile.
  static consteval Guid Parse(std::string_view text) {
    auto g = FromString(text);
    if (!g) throw std::invalid_argument("malformed GUID literal");
    return *g;
  }
  // Upper-case form with braces.
  std::string ToString() const;
  bool IsNull() const { return *this == Guid{}; }
};

constexpr std::optional<Guid> Guid::FromString(std::string_view text) {
  if (text.size() == 38) {
    if (text.front() != '{' || text.back() != '}') return std::nullopt;
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return std::nullopt;
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::uint8_t bytes[16]{};
  int nibbles = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return std::nullopt;
      continue;
    }
    int v = hex(text[i]);
    if (v < 0) return std::nullopt;
    bytes[nibbles / 2] = static_cast<std::uint8_t>(bytes[nibbles / 2] * 16 + v);
    ++nibbles;
  }
  Guid g;
  g.data1 =
      (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
  g.data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  g.data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) g.data4[i] = bytes[8 + i];
  return g;
}

struct GuidHash {
  std::size_t operator()(const Guid& g) const noexcept {
    std::size_t h = g.data1 ^ (std::size_t{g.data2} << 32) ^ (std::size_t{g.data3} << 48);
    for (auto b : g.data4) h = h * 131 + b;
    return h;
  }
};
