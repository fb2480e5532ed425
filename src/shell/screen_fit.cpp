#include "shell/screen_fit.h"

#include <algorithm>

namespace dravolin::shell {

int fullScreenFactor(QSize screen, QSize picture) {
  if (picture.width() <= 0 || picture.height() <= 0) return 1;
  return std::max(1,
                  std::min(screen.width() / picture.width(), screen.height() / picture.height()));
}

int fittingScale(int requested, std::initializer_list<WindowNeed> windows, QSize available) {
  for (int s = std::max(1, requested); s > 1; --s) {
    const bool fits = std::all_of(windows.begin(), windows.end(), [&](const WindowNeed& w) {
      return w.client.width() * s + w.decoration.width() <= available.width() &&
             w.client.height() * s + w.decoration.height() <= available.height();
    });
    if (fits) return s;
  }
  return 1;
}

QRect centredIn(QSize inner, const QRect& outer) {
  return QRect(outer.x() + (outer.width() - inner.width()) / 2,
               outer.y() + (outer.height() - inner.height()) / 2, inner.width(), inner.height());
}

QPoint keptInside(QPoint wanted, QSize size, const QRect& available) {
  const int x = std::max(available.left(),
                         std::min(wanted.x(), available.left() + available.width() - size.width()));
  const int y = std::max(
      available.top(), std::min(wanted.y(), available.top() + available.height() - size.height()));
  return {x, y};
}

}  // namespace dravolin::shell
