#pragma once
// printf's "%.*g" of a finite double in the C locale, for the command line's machine-readable output.
#include <cstddef>

namespace kymora::cli {

// The most bytes WriteGeneral writes.
constexpr std::size_t kGeneralBytes = 40;

// Writes the value as printf's "%.*g" with that many significant digits (1 to 17) would, at out (room for
// kGeneralBytes); returns the end of what it wrote.
char* WriteGeneral(double value, int significantDigits, char* out);

}  // namespace kymora::cli
