#include "host/data/import/csv_importer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "host/com/text.h"
#include "host/data/units.h"

namespace kymora::import {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
// More columns than this is not a recording's header but some other file read as text; refusing it early
// keeps the per-channel bookkeeping from growing with garbage.
constexpr std::size_t kMaxChannels = 10000;

// Spreadsheets quote cells now and then; separators inside quotes are not supported.
std::string_view Unquote(std::string_view s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return TrimBlanks(s.substr(1, s.size() - 2));
  return s;
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

enum class Cell { kNumber, kMissing, kBad, kTooLarge };

// Plain C-locale decimals whatever the user's locale: a decimal comma is not a number here.
Cell ParseCell(std::string_view text, double& value) {
  if (text.empty() || EqualsNoCaseAscii(text, "nan")) return Cell::kMissing;
  std::string_view number = text;
  if (number.front() == '+') {
    number.remove_prefix(1);
    if (number.empty() || number.front() == '+' || number.front() == '-') return Cell::kBad;
  }
  const char* end = number.data() + number.size();
  auto [stop, ec] = std::from_chars(number.data(), end, value);
  if (stop != end) return Cell::kBad;
  if (ec == std::errc::result_out_of_range) {
    // from_chars reports underflow the same way as overflow; a tiny value is zero, not an error.
    auto e = number.find_first_of("eE");
    if (e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-') {
      value = number.front() == '-' ? -0.0 : 0.0;
      return Cell::kNumber;
    }
    return Cell::kTooLarge;
  }
  if (ec != std::errc()) return Cell::kBad;
  return std::isnan(value) ? Cell::kMissing : Cell::kNumber;
}

// Digits after the decimal point of a plain decimal, or -1 when the text has an exponent or too many
// digits for the rounding below to be exact.
int DecimalPlaces(std::string_view text) {
  if (text.find_first_of("eE") != std::string_view::npos) return -1;
  auto dot = text.find('.');
  if (dot == std::string_view::npos) return 0;
  auto places = text.size() - dot - 1;
  return places <= 15 ? static_cast<int>(places) : -1;
}

// The difference of two decimals rounded to their decimal places, so that rows at 10.5 and 10.502
// give exactly the interval the writer meant (0.002) rather than the binary difference 0.0020000000000007.
double DecimalDifference(double first, double second, std::string_view firstText, std::string_view secondText) {
  double step = second - first;
  int a = DecimalPlaces(firstText), b = DecimalPlaces(secondText);
  if (a < 0 || b < 0) return step;
  double scale = std::pow(10.0, std::max(a, b));
  double units = std::round(step * scale);
  if (!(units > 0) || units > 9007199254740992.0) return step;  // beyond 2^53 the division is not exact
  return units / scale;
}

struct Split {
  std::string title, units;
};

// "Title (units)" or "Title [units]": the units are the bracketed group that ends the text.
Split SplitHeading(std::string_view cell) {
  cell = Unquote(TrimBlanks(cell));
  if (!cell.empty() && (cell.back() == ')' || cell.back() == ']')) {
    const char close = cell.back(), open = close == ')' ? '(' : '[';
    int depth = 0;
    for (std::size_t i = cell.size(); i-- > 0;) {
      if (cell[i] == close) {
        ++depth;
      } else if (cell[i] == open && --depth == 0) {
        return {std::string(TrimBlanks(cell.substr(0, i))),
                std::string(TrimBlanks(cell.substr(i + 1, cell.size() - i - 2)))};
      }
    }
  }
  return {std::string(cell), {}};
}

std::optional<double> SecondsPerTimeUnit(std::string_view units) {
  if (units.empty()) return 1.0;
  for (std::string_view s : {"s", "sec", "secs", "second", "seconds"})
    if (EqualsNoCaseAscii(units, s)) return 1.0;
  return UnitsFactor(FromUtf8(units), L"s");
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

CsvImporter::CsvImporter(std::string name, ImportOptions options, std::uint64_t sizeHint)
    : mName(std::move(name)), mOptions(std::move(options)), mSizeHint(sizeHint) {}

Error CsvImporter::AtLine(const std::string& what) const {
  return Error{mName + ", line " + std::to_string(mLine) + ": " + what};
}

Error CsvImporter::AtField(std::size_t field, const std::string& what) const {
  return Error{mName + ", line " + std::to_string(mLine) + ", field " + std::to_string(field + 1) + ": " + what};
}

Error CsvImporter::EmptyBlockError() const {
  return Error{mName + ", line " + std::to_string(mBlock.startLine) + ": the block started here has no data rows"};
}

Status CsvImporter::AddLine(std::string_view line) {
  ++mLine;
  mBytesSeen += line.size() + 1;
  if (mLine == 1 && line.starts_with(kBom)) line.remove_prefix(kBom.size());
  if (mLine == 1 && (line.starts_with("\xFF\xFE") || line.starts_with("\xFE\xFF")))
    return Error{mName + ": the file is UTF-16 text; save it as UTF-8 (or plain ASCII) and import it again"};
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.find('\0') != std::string_view::npos)
    return AtLine(mLine == 1 ? "a NUL byte: this is not a text file, or it is UTF-16 text; save it as UTF-8"
                             : "a NUL byte: the file is damaged or not text");
  // Without a header yet, a carriage return inside the line means that CR alone ends the lines.
  if (!mHaveHeader && line.find('\r') != std::string_view::npos)
    return Error{mName +
                 ": its lines end in CR alone (an old Mac text file); convert the line ends to LF or "
                 "CR LF and import it again"};

  // A tab is a blank only where it is not the separator: in a tab-separated file "\t" is a row of gaps.
  auto lead = line.find_first_not_of(mSeparator == '\t' ? " " : " \t");
  if (lead == std::string_view::npos) return Ok();
  if (line[lead] == '#') {
    if (EqualsNoCaseAscii(TrimBlanks(line.substr(lead + 1)), "block")) return BlockComment();
    return Ok();
  }
  return mHaveHeader ? Row(line) : Header(line);
}

Status CsvImporter::BlockComment() {
  if (mBlock.rows == 0) {
    // Writers that mark every block, the first included, put a marker before the first row.
    if (mClosed.empty() && mBlock.startLine == 0) {
      mBlock.startLine = mLine;
      return Ok();
    }
    return EmptyBlockError();
  }
  if (auto s = CloseBlock(); !s) return s;
  mBlock = OpenBlock{};
  mBlock.startLine = mLine;
  mBlock.columns.resize(mHeadings.size());
  return Ok();
}

Status CsvImporter::Header(std::string_view line) {
  mHaveHeader = true;
  auto first = line.find_first_of(",;\t");
  mSeparator = first == std::string_view::npos ? 0 : line[first];

  std::vector<std::string_view> cells;
  for (std::size_t start = 0;;) {
    auto end = mSeparator ? line.find(mSeparator, start) : std::string_view::npos;
    cells.push_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    // A Time column and a trailing separator may come on top of the channels.
    if (cells.size() > kMaxChannels + 2) return AtLine("more than " + std::to_string(kMaxChannels) + " channels");
    start = end + 1;
  }
  if (cells.size() > 1 && TrimBlanks(cells.back()).empty()) {
    mTrailingSeparator = true;
    cells.pop_back();
  }
  mFields = cells.size();
  // A file written without its title line would silently lose its first row to the titles.
  if (std::all_of(cells.begin(), cells.end(), [](std::string_view c) {
        double v = 0;
        return ParseCell(Unquote(TrimBlanks(c)), v) == Cell::kNumber;
      }))
    mWarnings.push_back(
        AtLine("the header holds only numbers; if the title line is missing, this row is lost").message);

  auto firstHeading = SplitHeading(cells.front());
  mHasTime = EqualsNoCaseAscii(firstHeading.title, "time");
  if (mHasTime) {
    auto factor = SecondsPerTimeUnit(firstHeading.units);
    if (!factor) return AtLine("the Time column's units '" + Excerpt(firstHeading.units) + "' are not seconds");
    mSecondsPerTimeUnit = *factor;
    if (mOptions.rateHz) mWarnings.push_back(mName + ": --rate is ignored because the Time column gives the interval");
  } else {
    if (!mOptions.rateHz) return Error{mName + ": --rate is needed because the first column is not Time"};
    if (!(*mOptions.rateHz > 0) || !std::isfinite(*mOptions.rateHz))
      return Error{mName + ": --rate must be a positive number of samples per second"};
  }
  if (cells.size() - (mHasTime ? 1 : 0) > kMaxChannels)
    return AtLine("more than " + std::to_string(kMaxChannels) + " channels");
  for (std::size_t i = mHasTime ? 1 : 0; i < cells.size(); ++i) {
    auto h = SplitHeading(cells[i]);
    mHeadings.push_back({std::move(h.title), std::move(h.units)});
  }
  if (mHeadings.empty()) return AtLine("the header names no channel besides Time");
  mLargest.assign(mHeadings.size(), 0.0);
  mRowValues.assign(mFields, 0.0);
  mBlock.columns.resize(mHeadings.size());
  return Ok();
}

void CsvImporter::ReserveRows(std::size_t lineBytes) {
  if (mSizeHint <= mBytesSeen) return;
  // Assume the rest of the text is rows like this one; an overestimate is trimmed when the block closes.
  std::uint64_t rows = 1 + (mSizeHint - mBytesSeen) / (lineBytes + 1);
  for (auto& c : mBlock.columns) c.reserve(static_cast<std::size_t>(rows));
}

std::optional<Status> CsvImporter::PlainRow(std::string_view line) {
  const char* at = line.data();
  const char* const end = at + line.size();
  for (std::size_t f = 0; f < mFields; ++f) {
    double& value = mRowValues[f];
    auto [stop, ec] = std::from_chars(at, end, value);
    if (ec != std::errc() || stop == at || !std::isfinite(value)) return std::nullopt;
    const bool last = f + 1 == mFields;
    if (last ? !(stop == end || (mTrailingSeparator && stop + 1 == end && *stop == mSeparator))
             : (stop == end || *stop != mSeparator))
      return std::nullopt;
    if (!(mHasTime && f == 0) && std::abs(value) > std::numeric_limits<float>::max()) return std::nullopt;
    at = stop + 1;
  }
  if (mBlock.rows == 0) ReserveRows(line.size());
  std::size_t f = 0;
  if (mHasTime) {
    const auto timeText = line.substr(0, line.find(mSeparator));
    if (auto s = Time(mRowValues[0], timeText); !s) return s;
    f = 1;
  }
  for (std::size_t channel = 0; f < mFields; ++f, ++channel) {
    const double value = mRowValues[f];
    mLargest[channel] = std::max(mLargest[channel], std::abs(value));
    mBlock.columns[channel].push_back(static_cast<float>(value));
  }
  ++mBlock.rows;
  return Ok();
}

Status CsvImporter::Row(std::string_view line) {
  if (auto plain = PlainRow(line)) return std::move(*plain);
  std::size_t fields = mSeparator ? 1 + static_cast<std::size_t>(std::count(line.begin(), line.end(), mSeparator)) : 1;
  if (mTrailingSeparator && fields == mFields + 1) {
    auto last = line.rfind(mSeparator);
    if (TrimBlanks(line.substr(last + 1)).empty()) {
      line = line.substr(0, last);
      fields = mFields;
    }
  }
  if (fields != mFields)
    return AtLine(Plural(fields, "field", "fields") + " where the header has " + std::to_string(mFields));
  if (mBlock.rows == 0) ReserveRows(line.size());

  std::size_t start = 0;
  for (std::size_t f = 0; f < mFields; ++f) {
    auto end = mSeparator ? line.find(mSeparator, start) : std::string_view::npos;
    if (end == std::string_view::npos) end = line.size();
    auto cell = Unquote(TrimBlanks(line.substr(start, end - start)));
    start = end + 1;

    double value = 0;
    auto kind = ParseCell(cell, value);
    if (kind == Cell::kBad) return AtField(f, "'" + Excerpt(cell) + "' is not a number");
    const bool isTime = mHasTime && f == 0;
    if (kind == Cell::kTooLarge || (!isTime && std::isfinite(value) && kind == Cell::kNumber &&
                                    std::abs(value) > std::numeric_limits<float>::max()))
      return AtField(f, "'" + Excerpt(cell) + "' is too large");
    if (isTime) {
      if (kind == Cell::kMissing) return AtField(f, "the Time column needs a number");
      if (auto s = Time(value, cell); !s) return s;
      continue;
    }
    const std::size_t channel = mHasTime ? f - 1 : f;
    float sample = std::numeric_limits<float>::quiet_NaN();
    if (kind == Cell::kNumber) {
      sample = static_cast<float>(value);
      if (std::isfinite(value)) mLargest[channel] = std::max(mLargest[channel], std::abs(value));
    }
    mBlock.columns[channel].push_back(sample);
  }
  ++mBlock.rows;
  return Ok();
}

Status CsvImporter::Time(double time, std::string_view text) {
  auto& b = mBlock;
  if (b.rows == 0) {
    b.firstTime = b.lastTime = time;
    b.firstTimeText = std::string(text);
    return Ok();
  }
  double step = time - b.lastTime;
  if (!(step > 0) || !std::isfinite(step)) return AtLine("the Time column must increase");
  if (b.rows == 1) {
    b.firstStep = step;
    b.interval = DecimalDifference(b.firstTime, time, b.firstTimeText, text) * mSecondsPerTimeUnit;
  } else if (std::abs(step - b.firstStep) > 0.01 * b.firstStep) {
    if (b.irregularSteps++ == 0) {
      b.firstIrregularLine = mLine;
      b.firstIrregularStep = step;
    }
  }
  b.lastTime = time;
  return Ok();
}

Status CsvImporter::CloseBlock() {
  auto& b = mBlock;
  if (b.rows == 0) return EmptyBlockError();
  double interval = 0;
  if (!mHasTime) {
    interval = 1.0 / *mOptions.rateHz;
  } else if (b.rows >= 2) {
    interval = b.interval;
    if (!(interval > 0) || !std::isfinite(interval))
      return Error{mName + ": block " + std::to_string(mClosed.size() + 1) + " has an unusable sample interval"};
  }
  if (b.irregularSteps > 0) {
    mWarnings.push_back(mName + ", line " + std::to_string(b.firstIrregularLine) + ": irregular time steps in block " +
                        std::to_string(mClosed.size() + 1) + " (" + std::to_string(b.irregularSteps) + " of " +
                        std::to_string(b.rows - 1) +
                        " differ from the first step by more than 1%, the first here: " + Number(b.firstIrregularStep) +
                        " after " + Number(b.firstStep) + "); the block uses the first step as its sample interval");
  }
  // Give back what the size estimate over-reserved (it assumed the rest of the text was this block).
  for (auto& c : b.columns)
    if (c.capacity() > c.size() + c.size() / 4 + 64) c.shrink_to_fit();
  mClosed.push_back({interval, std::move(b.columns)});
  return Ok();
}

Expected<Imported> CsvImporter::Finish() && {
  if (!mHaveHeader) return Error{mName + ": no header line"};
  if (mBlock.rows == 0) return mClosed.empty() ? Error{mName + ": no data rows"} : EmptyBlockError();
  if (auto s = CloseBlock(); !s) return Error{s.ErrorMessage()};

  // A block of one row has no step of its own: it takes the previous block's interval, and leading ones
  // take the first interval the file gives.
  double known = 0;
  for (const auto& b : mClosed)
    if (b.interval > 0) {
      known = b.interval;
      break;
    }
  if (known == 0) {
    if (!mOptions.rateHz || !(*mOptions.rateHz > 0) || !std::isfinite(*mOptions.rateHz))
      return Error{mName + ": no block has two data rows, so the Time column cannot give the sample interval"};
    known = 1.0 / *mOptions.rateHz;
  }
  RecordingBuilder builder(mName);
  for (std::size_t c = 0; c < mHeadings.size(); ++c)
    builder.AddChannel(FromUtf8(mHeadings[c].title), FromUtf8(mHeadings[c].units), NiceRange(mLargest[c]));
  for (auto& b : mClosed) {
    if (b.interval > 0) known = b.interval;
    builder.AddBlock(known, std::move(b.columns));
  }
  for (auto& w : mWarnings) builder.Warn(std::move(w));
  return std::move(builder).Finish(mOptions);
}

namespace {

// Every 4 MB is often enough for a person watching and rare enough to cost nothing.
constexpr std::uint64_t kProgressStep = std::uint64_t{1} << 22;

// Feeds the lines of the text to the importer (the last one may lack its '\n').
Status FeedLines(CsvImporter& importer, std::string_view text) {
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at != end) {
    const char* newline = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
    const char* lineEnd = newline ? newline : end;
    if (auto s = importer.AddLine(std::string_view(at, static_cast<std::size_t>(lineEnd - at))); !s) return s;
    at = newline ? newline + 1 : end;
  }
  return Ok();
}

// A file read in pieces of a megabyte; a line that straddles two is copied. The file is read rather than
// mapped: a mapped file that another program shortens during the import would end this process (SIGBUS),
// where a read finds the file short and the import fails with a message. sizeAtOpen: the size of a regular
// file when it was opened, 0 for a pipe or a terminal.
Expected<Imported> ImportCsvStream(std::FILE* file, const std::string& path, const ImportOptions& options,
                                   std::uint64_t sizeAtOpen) {
  CsvImporter importer(path, options, sizeAtOpen);
  std::string pending;  // the unfinished line at the end of the last piece read
  std::vector<char> piece(1 << 20);
  std::uint64_t done = 0;
  for (;;) {
    std::size_t got = std::fread(piece.data(), 1, piece.size(), file);
    if (got == 0) break;
    if (options.progress && (done + got) / kProgressStep != done / kProgressStep)
      options.progress(done + got, sizeAtOpen);
    done += got;
    const std::string_view chunk(piece.data(), got);
    const auto lastNewline = chunk.rfind('\n');
    if (lastNewline == std::string_view::npos) {
      pending.append(chunk);
      continue;
    }
    std::string_view lines = chunk.substr(0, lastNewline + 1);  // every line that ends in this piece
    if (!pending.empty()) {                                     // the first of them began in an earlier piece
      const auto newline = lines.find('\n');
      pending.append(lines.substr(0, newline));
      if (auto s = importer.AddLine(pending); !s) return Error{s.ErrorMessage()};
      lines.remove_prefix(newline + 1);
    }
    if (auto s = FeedLines(importer, lines); !s) return Error{s.ErrorMessage()};
    pending.assign(chunk.substr(lastNewline + 1));
  }
  if (std::ferror(file)) return Error{path + ": read error (" + std::strerror(errno) + ")"};
  if (done < sizeAtOpen)
    return Error{path +
                 ": the file became shorter while it was read (another program changed it); nothing was imported"};
  if (!pending.empty())
    if (auto s = importer.AddLine(pending); !s) return Error{s.ErrorMessage()};
  return std::move(importer).Finish();
}

}  // namespace

Expected<Imported> ImportCsvText(std::string_view text, const std::string& nameForMessages,
                                 const ImportOptions& options) {
  CsvImporter importer(nameForMessages, options, text.size());
  if (auto s = FeedLines(importer, text); !s) return Error{s.ErrorMessage()};
  return std::move(importer).Finish();
}

Expected<Imported> ImportCsvFile(const std::string& path, const ImportOptions& options) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Error{path + ": cannot open the file (" + std::strerror(errno) + ")"};
  struct stat info {};
  const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(::fdopen(fd, "rb"), &std::fclose);
  if (!file) {
    const int error = errno;
    ::close(fd);
    return Error{path + ": cannot open the file (" + std::strerror(error) + ")"};
  }
  return ImportCsvStream(file.get(), path, options, regular ? static_cast<std::uint64_t>(info.st_size) : 0);
}

}  // namespace kymora::import
