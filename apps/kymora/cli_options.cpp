#include "apps/kymora/cli_options.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace kymora::cli {

namespace {

std::optional<double> Number(const std::string& text) {
  double value = 0;
  const char* begin = text.data() + (text.starts_with('+') ? 1 : 0);
  auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || begin == end || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<std::int64_t> Whole(const std::string& text) {
  std::int64_t value = 0;
  const char* begin = text.data() + (text.starts_with('+') ? 1 : 0);
  auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || begin == end) return std::nullopt;
  return value;
}

// What was typed, cut short when it is long.
std::string Quoted(const std::string& text) {
  return "'" + (text.size() > 40 ? text.substr(0, 40) + "..." : text) + "'";
}

}  // namespace

std::string NumberText(double value) {
  char text[32];
  for (int digits = 6; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

CLI::Validator Within(double low, double high, const std::string& units) {
  const std::string range =
      "a number from " + NumberText(low) + " to " + NumberText(high) + (units.empty() ? "" : " " + units);
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        auto value = Number(text);
        if (value && *value >= low && *value <= high) return "";
        return "takes " + range + ", not " + Quoted(text);
      },
      range);
}

CLI::Validator Finite() {
  return CLI::Validator(
      [](std::string& text) -> std::string { return Number(text) ? "" : "takes a finite number, not " + Quoted(text); },
      "a finite number");
}

CLI::Validator AtLeast(double low) {
  const std::string range = "a number of " + NumberText(low) + " or more";
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        auto value = Number(text);
        if (value && *value >= low) return "";
        return "takes " + range + ", not " + Quoted(text);
      },
      range);
}

CLI::Validator WholeWithin(std::int64_t low, std::int64_t high) {
  const std::string range = "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        auto value = Whole(text);
        if (value && *value >= low && *value <= high) return "";
        return "takes " + range + ", not " + Quoted(text);
      },
      range);
}

CLI::Validator Counting() { return WholeWithin(1, std::numeric_limits<std::int32_t>::max()); }

CLI::Validator OnOff() {
  return CLI::Validator(
      [](std::string& text) -> std::string { return SwitchValue(text) ? "" : "takes on or off, not " + Quoted(text); },
      "on or off");
}

std::optional<bool> SwitchValue(const std::string& text) {
  if (text == "on") return true;
  if (text == "off") return false;
  return std::nullopt;
}

}  // namespace kymora::cli
