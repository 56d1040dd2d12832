#pragma once
// Reads the samples of one channel over a range of one block (by default the document's selection) and
// integrates them. The flow head calibration divides an injected volume by the integral of the raw
// voltage; the volume ratio estimates how much expired volume must be scaled down to match inspiration.
// A missing (non-finite) sample adds nothing to the integral or to any sum of the ratio.
#include <functional>
#include <string>
#include <vector>

#include "host/com/com_ptr.h"
#include "host/data/data_position.h"
#include "host/data/ichannel_data.h"

namespace Spirometry {

class CalibrateBase {
 public:
  // host answers the data questions, document the selection; both may be the same object.
  CalibrateBase(IChannelData* host, IChannelData* document);

  // The channel to read (-1: none) and the channel of the calculation asking (decides the read flags).
  void SetChannel(std::int32_t channel, std::int32_t ownChannel);
  // The range; DataPosition::kNotSet in any member of either end stands for the document's selection.
  void SetRange(DataPosition start, DataPosition end);

  // None of these throws. Checks channel and range; on success the count is known and *message is
  // emptied, otherwise *message (may be null) says why, in the user's words.
  bool Validate(std::wstring* message);
  // Reads the validated range (Validate first). False when the samples cannot be had.
  bool Read();
  // Running integral of the samples read, in single precision; the last sample does not contribute.
  void Integrate();

  // The volume ratio of a flow channel over a range of the document (kNotSet: its selection): 0 normal
  // breaths, 1 full expiration; dead space in mL, whatever the litre prefix of the flow's units.
  // 1.0 whenever the selection or the data do not allow one.
  double VolumeRatio(IChannelData* document, DataPosition start, DataPosition end, std::int32_t flowChannel,
                     std::int32_t correctionType, double deadSpaceMl);

  double SampleInterval() const { return mSampleInterval; }
  float Integral() const { return mIntegral; }
  std::int64_t Count() const { return mCount; }
  const std::vector<float>& Samples() const { return mSamples; }
  const std::vector<float>& RunningIntegral() const { return mRunning; }

 private:
  bool Validate(std::wstring* message, int defaultMessage, std::uint32_t flags);
  // Reads up to count samples of the validated range in pieces, handing each to use; the number read, or
  // -1 when no reader could be had. The range is read afresh each time.
  std::int64_t ForEachPiece(std::int64_t count, const std::function<void(const float*, std::int64_t)>& use);
  double NormalBreathsRatio(double deadSpace);
  double FullExpirationRatio(double deadSpace);

  double mSampleInterval = 0.0;
  float mIntegral = 0.0f;
  ComPtr<IChannelData> mHost;
  ComPtr<IChannelData> mDocument;
  std::vector<float> mSamples;
  std::vector<float> mRunning;
  std::vector<float> mPiece;  // one piece of the range as it is read
  std::int32_t mChannel = -1;
  std::int32_t mOwnChannel = -1;
  std::int64_t mCount = 0;
  std::int32_t mRange[4] = {DataPosition::kNotSet, DataPosition::kNotSet, DataPosition::kNotSet, DataPosition::kNotSet};
  // The range as validated, and the flags it was validated with.
  DataPosition mStart, mEnd;
  std::uint32_t mFlags = 0;
};

}  // namespace Spirometry
