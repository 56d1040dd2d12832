#pragma once
// The CSV importer, fed one line at a time so that text in memory and a file read in pieces go through
// the same code and a large file never has to be held whole.
//
//   # comment lines start with '#'; "# block" starts a new block
//   Time (s),Raw flow (V),Pressure [cmH2O]
//   0.000,0.0012,3.1
//
// The first line that is not a comment is the header; its first separator (comma, semicolon or tab)
// is the separator of the file. A first column titled Time gives each block's sample interval and is not
// a channel; without it --rate must be given.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/data/import/recording_builder.h"
#include "host/data/import/recording_importer.h"

namespace kymora::import {

class CsvImporter {
 public:
  // sizeHint: the total size of the text in bytes, 0 when unknown; only used to reserve sample storage.
  CsvImporter(std::string name, ImportOptions options, std::uint64_t sizeHint);

  // One line without its '\n' (a '\r' before it is dropped). After an error, stop feeding and report it.
  Status AddLine(std::string_view line);
  // After the last line.
  Expected<Imported> Finish() &&;

 private:
  struct Heading {
    std::string title, units;
  };
  struct OpenBlock {
    std::int64_t startLine = 0;  // line of the "# block" comment that opened it; 0 when none did
    std::int64_t rows = 0;
    std::vector<Samples> columns;
    // Time column state: the first step sets the interval, later steps are only compared with it.
    double firstTime = 0, lastTime = 0, firstStep = 0, interval = 0;
    std::string firstTimeText;
    std::int64_t irregularSteps = 0, firstIrregularLine = 0;
    double firstIrregularStep = 0;
  };
  struct ClosedBlock {
    double interval;  // 0 until resolved from a neighbour (a block of one row)
    std::vector<Samples> columns;
  };

  Status Header(std::string_view line);
  Status Row(std::string_view line);
  // The common row, plain finite numbers between the separators, taken in one pass. Nothing (and nothing
  // taken) when a cell needs the general rules of Row: blanks, quotes, a sign '+', an empty cell, NaN, an
  // infinity, a value too large, or the row has more or fewer fields.
  std::optional<Status> PlainRow(std::string_view line);
  Status Time(double time, std::string_view text);
  Status BlockComment();
  Status CloseBlock();
  Error EmptyBlockError() const;
  Error AtLine(const std::string& what) const;
  Error AtField(std::size_t field, const std::string& what) const;
  void ReserveRows(std::size_t lineBytes);

  std::string mName;
  ImportOptions mOptions;
  std::uint64_t mSizeHint;
  std::uint64_t mBytesSeen = 0;
  std::int64_t mLine = 0;

  bool mHaveHeader = false;
  char mSeparator = 0;              // 0: a single column
  std::size_t mFields = 0;          // fields in a row, the Time column included
  bool mTrailingSeparator = false;  // the header ends in a separator; rows may too
  bool mHasTime = false;
  double mSecondsPerTimeUnit = 1.0;
  std::vector<Heading> mHeadings;  // one per channel
  std::vector<double> mLargest;    // largest finite magnitude per channel, over all blocks
  std::vector<double> mRowValues;  // a plain row's values, before they are taken

  OpenBlock mBlock;
  std::vector<ClosedBlock> mClosed;
  std::vector<std::string> mWarnings;
};

}  // namespace kymora::import
