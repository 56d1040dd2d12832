#pragma once
// Checks of option values on the command line. Each refuses anything but a finite number in its range and
// names that range in plain numbers, quoting what was typed, so that "1e308" or "nan" never slips through
// as a clamped or wrapped value.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>

namespace kymora::cli {

// A number from low to high, in units when given ("L": "a number from 0.01 to 9.99 L").
CLI::Validator Within(double low, double high, const std::string& units = "");
// A number of low or more.
CLI::Validator AtLeast(double low);
// Any finite number.
CLI::Validator Finite();
// A whole number from low to high (a channel, a block, a tick).
CLI::Validator WholeWithin(std::int64_t low, std::int64_t high);
// A channel or block number as users write them: from 1.
CLI::Validator Counting();
// "on" or "off".
CLI::Validator OnOff();

// The value text of a switch option given as "--name", "--name=on" or "--name=off": nothing when not given.
std::optional<bool> SwitchValue(const std::string& text);

// A number as the messages print it: the shortest of %g with up to 17 digits that reads back the same.
std::string NumberText(double value);

}  // namespace kymora::cli
