// The pseudo-3D cab view of the demo line: the track's curvature and gradient, the scenery along
// it, and a camera that stands at the recorded run's position of a frame.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <map>
#include <vector>

#include "tools/make-demo/plan.h"

namespace dravolin::demo {

class Scene {
 public:
  explicit Scene(const Plan& plan);
  // Draws the view at `frame` into `image` (480 x 240, or scaled to another size).
  void render(int frame, QImage& image) const;

  // Things placed along the line, drawn far to near.
  enum class Kind { Pole, Tree, House, Signal, Board, Girder, Crossing, NameBoard, Portal, Roof };
  struct Item {
    double d = 0;  // metres along the line
    double u = 0;  // metres to the right of our track's centre
    Kind kind = Kind::Tree;
    double size = 1;  // height, scale, or length of a roof (which ends at d)
    QColor colour;
    int board = -1;  // index into boards_ (signs, name boards)
    int lamps = 0;   // signal lamps
  };

 private:
  struct Point {
    double x = 0, y = 0, scale = 0;  // screen position and pixels per metre
    bool ok = false;
  };
  // Screen position of a point `u` metres to the right and `h` metres above the rail at line
  // distance `d`, seen from the camera at `s`.
  Point project(double s, double d, double u, double h) const;
  double lateral(double d) const;
  double height(double d) const;
  double heading(double d) const;
  void drawBackground(QPainter& p, double s, double pitch) const;
  void drawTrack(QPainter& p, double s, bool tunnel) const;
  void drawGround(QPainter& p, double s) const;
  void drawItem(QPainter& p, double s, int frame, const Item& item) const;
  void drawPassingTrain(QPainter& p, double s, int frame) const;
  void drawTunnelInside(QPainter& p, double s) const;
  void drawWires(QPainter& p, double s) const;
  int addBoard(const QImage& board);

  const Plan& plan_;
  std::vector<double> heading_, lateral_, height_;  // per metre
  std::vector<Item> items_;                         // sorted by distance
  std::vector<QImage> boards_;
  QImage sky_, farHills_, nearHills_, ground_;
};

}  // namespace dravolin::demo
