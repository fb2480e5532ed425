// Where the windows go on the screen: the largest whole scale that fits, full-screen factors and
// positions kept inside the screen's available area. Pure functions of sizes, for the tests.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <initializer_list>

namespace dravolin::shell {

// The largest whole factor k (at least 1) for which `picture` k times as large fits in `screen`.
int fullScreenFactor(QSize screen, QSize picture);

// What a window needs at scale 1: its client area, which grows with the scale, and the room
// the window system takes around it (title bar, borders, menu bar), which does not.
struct WindowNeed {
  QSize client;
  QSize decoration;
};
// The borderless title window with its status line, and the driving window with its menu bar.
inline constexpr WindowNeed kTitleWindowNeed{{640, 498}, {0, 0}};
inline constexpr WindowNeed kDrivingWindowNeed{{640, 440}, {16, 64}};
// The largest scale from 1 to `requested` at which every window of `windows` fits in
// `available`; 1 when even that does not fit.
int fittingScale(int requested, std::initializer_list<WindowNeed> windows, QSize available);

// `inner` centred in `outer` (its top left may lie above or left of outer's when larger).
QRect centredIn(QSize inner, const QRect& outer);

// A window of `size` placed at `wanted` (its frame's top left), moved the least needed to lie
// inside `available`; when it is larger than `available`, its top left is `available`'s, so
// that its title bar and menu stay in reach.
QPoint keptInside(QPoint wanted, QSize size, const QRect& available);

}  // namespace dravolin::shell
