// The cab model: what the driving window shows, as plain data with no toolkit. The display tick,
// the handle display and the input handlers write it; some steps read it back (the door lamp in
// the door closing step, the ATS lamps, the signal label's text). A window only draws it.
//
// Sections: labels; pictures and image lists; needles; the analog clock; the whole cab.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace dravolin::sim {

// --- labels ---

// A text on the window. Texts are UTF-8.
struct CabLabel {
  std::string text;
  bool visible = true;
};

// --- pictures and image lists ---

// A list of images of one cell size, numbered from 0 (notch, gear, signal, sign and
// other-indication pictures).
struct CabImageList {
  int cellWidth = 0;   // px
  int cellHeight = 0;  // px
  std::vector<platform::Bitmap> images;

  int count() const { return static_cast<int>(images.size()); }
  bool has(int n) const { return n >= 0 && n < count(); }
};

inline constexpr int kNoImage = -1;

// A picture component of the window: a rectangle that either shows its own bitmap (panel,
// lamps, extra images, the timetable card) or the image of an image list drawn on it last
// (notch, gear and trackside indication pictures).
struct CabPicture {
  int left = 0;    // px from the client area's left edge
  int top = 0;     // px from the client area's top edge
  int width = 0;   // px
  int height = 0;  // px
  bool visible = true;
  bool transparent = false;  // drawn with its transparent colour left out
  bool exists = false;       // created at start-up (a needle or card that is not there: false)
  platform::Bitmap bitmap;   // its own picture; empty for a picture drawn from an image list
  int image = kNoImage;      // image of its list drawn last; kNoImage when cleared or never drawn

  // Removes the picture drawn from a list.
  void clear() { image = kNoImage; }
  // Draws image n of `list`; an image number the list does not have draws nothing.
  void draw(const CabImageList& list, int n) {
    if (list.has(n)) image = n;
  }
  // Whether an image of a list is drawn on it.
  bool hasPicture() const { return image != kNoImage; }
};

// A picture drawn from an image list, placed on the window at start-up.
inline CabPicture placed(int left, int top, int width, int height) {
  CabPicture p;
  p.left = left;
  p.top = top;
  p.width = width;
  p.height = height;
  p.exists = true;
  return p;
}

// --- needles ---

// A rotating needle picture. Its angle is value x anglePerUnit + zeroAngle, rounded to whole
// degrees (halves to even); the picture is turned about the centre of its rectangle, clockwise
// for positive angles.
struct CabNeedle {
  bool exists = false;           // a needle whose train-file entry names no bitmap is not there
  int left = 0;                  // px
  int top = 0;                   // px
  int width = 0;                 // px
  int height = 0;                // px
  int zeroAngle = 0;             // degrees at the value 0
  long double anglePerUnit = 0;  // degrees per unit of the value shown
  platform::Bitmap bitmap;
  int angle = 0;  // degrees, as last set
};

// --- the analog clock ---

// One hand drawn on the 50 x 50 clock face, from (x1, y1) to (x2, y2) in face pixels.
struct ClockHand {
  int x1 = 25;
  int y1 = 25;
  int x2 = 25;
  int y2 = 25;
};

struct CabClock {
  bool exists = false;  // the train file gives x > 0 and y > 0
  int left = 0;         // px: clock x - 25
  int top = 0;          // px: clock y - 25
  int handLength = 0;   // px, the train file's L
  bool drawn = false;   // the hands below have been drawn at least once
  ClockHand hour;
  ClockHand minute;
  ClockHand second;
};

// --- the whole cab ---

struct CabModel {
  // Labels of the driving window, with their designed captions.
  CabLabel PowerLabel{"N"};
  CabLabel BrakeLabel{"EB"};
  CabLabel Label1{"FWD"};          // reverser
  CabLabel Label3{"00:00:00"};     // clock digits
  CabLabel Label4;                 // next station
  CabLabel digi_speed;             // digital speedometer
  CabLabel CarsLabel;              // number of cars
  CabLabel GearLabel;              // gear indicator text (diesel trains)
  CabLabel SignalLabel;            // name of the signal ahead
  CabLabel SlopeText;              // gradient value
  std::string Title = "Dravolin";  // the driving window's caption

  // Panel pictures, in the order they are stacked (later ones on top).
  CabPicture Panel;
  CabPicture Panel2;  // panel picture used in tunnels, drawn over Panel
  CabPicture Lamp_Door, Lamp_Power, Lamp_EB, Lamp_Gen, Lamp_Air, Lamp_Ele, Lamp_Ats, Lamp_Atsp1,
      Lamp_Atsp2, Lamp_G, Lamp_YG, Lamp_Y, Lamp_YY, Lamp_R, Lamp_Fwd, Lamp_Bck;
  std::vector<CabPicture> Others;  // the train file's extra images
  CabPicture Staf;                 // timetable card; exists only when the line names one

  // Pictures drawn from image lists.
  CabPicture Lamp_P;     // power notch picture, from NotchImageP
  CabPicture Lamp_B;     // brake notch picture, from NotchImageB
  CabPicture Lamp_Gear;  // gear picture, from GearImageList
  CabImageList NotchImageP;
  CabImageList NotchImageB;
  CabImageList GearImageList;

  // Trackside indications, drawn from the line's image lists.
  CabPicture SignalImage = placed(480, 0, 50, 100);
  CabPicture SpeedLimitImage = placed(480, 100, 50, 50);
  CabPicture SlopeImage = placed(530, 100, 50, 50);
  CabPicture OtherImage = placed(480, 150, 100, 50);
  CabPicture stop = placed(530, 0, 50, 50);        // stop-position marker (sign image 0)
  CabPicture stopline = placed(480, -20, 15, 15);  // slides down as the stop position comes near
  CabImageList SignalImages{50, 100, {}};
  CabImageList SignImages{50, 50, {}};
  CabImageList OtherImages{100, 50, {}};

  // Needles, in the order the display tick turns them.
  CabNeedle Needle_Speed, Needle_I, Needle_V, Needle_BC, Needle_ER, Needle_BP, Needle_MR,
      Needle_SAP;

  CabClock clock;

  // The lamps in their creation order.
  std::array<CabPicture*, 16> lamps() {
    return {&Lamp_Door, &Lamp_Power, &Lamp_EB,    &Lamp_Gen, &Lamp_Air, &Lamp_Ele,
            &Lamp_Ats,  &Lamp_Atsp1, &Lamp_Atsp2, &Lamp_G,   &Lamp_YG,  &Lamp_Y,
            &Lamp_YY,   &Lamp_R,     &Lamp_Fwd,   &Lamp_Bck};
  }
};

}  // namespace dravolin::sim
