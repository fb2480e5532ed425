// What the picture says about the run: where the camera stood. While it stands, the difference
// between consecutive frames falls to the noise floor of the camera (sensor noise, compression);
// while the train moves, the scenery streams past and the difference is far above it.
#pragma once

#include <optional>
#include <vector>

#include "author/track_profile.h"
#include "platform/footage.h"

namespace dravolin::author {

// The motion of every frame of the camera's file, as platform::FootageService measures it.
struct PictureMotion {
  std::vector<double> timeS;  // of each frame on the video's timeline, s from the first frame
  std::vector<float> motion;  // difference to the frame before (grey levels); 0 for the first
  double frameRate = 30;      // as the file states it
  double durationS() const { return timeS.empty() ? 0 : timeS.back() + 1.0 / frameRate; }
};

struct PictureStand {
  int firstFrame = 0;       // first standing frame
  int lastFrame = 0;        // last standing frame
  double from = 0;          // when the picture stopped moving (video timeline, finer than a frame)
  double to = 0;            // when it moved again
  bool cutAtStart = false;  // the footage begins standing: `from` is its first frame
  bool cutAtEnd = false;    // the footage ends standing: `to` is its end
  double length() const { return to - from; }
};

struct PictureAnalysis {
  double floor = 0;                  // motion of a standing camera
  double threshold = 0;              // below it the camera stands
  std::vector<PictureStand> stands;  // of kPictureStandS or more, in order
  // Whether the picture moves at frame n.
  std::vector<bool> moving;
};

// A stand shorter than this is a flicker of the measurement.
inline constexpr double kPictureStandS = 1.0;

PictureAnalysis analysePicture(const PictureMotion& picture);

// Frames within this time of a stand's ends are compared with its still picture.
inline constexpr double kRampS = 1.5;

// The moment the picture reached (arriving) or left (departing) the still picture of a stand,
// from the differences of the frames around `coarse` to a frame of the stand: at a steady
// braking or start the camera's displacement grows with the square of the time, and the
// difference with the displacement, so its square root falls (rises) along a straight line that
// meets zero at the moment. Finer than a frame; nullopt when the frames allow no fit.
std::optional<double> settleTime(const std::vector<platform::FrameDifference>& differences,
                                 double coarse, bool arriving);

// The share of the frames between video times `from` and `to` at which the picture moves.
double movingShare(const PictureMotion& picture, const PictureAnalysis& analysis, double from,
                   double to);

}  // namespace dravolin::author
