#include "author/gradient.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace dravolin::author {

namespace {

constexpr double kBinM = 10.0;  // stretch ends fall on multiples of this
constexpr double kPenaltyFactor = 4.0;
constexpr int kMaxStretchBins = 1000;  // 10 km

// Running sums of the fixes up to a bin, for least-squares lines over any run of bins.
struct Sums {
  double n = 0, x = 0, y = 0, xx = 0, xy = 0, yy = 0;
  Sums operator-(const Sums& o) const {
    return {n - o.n, x - o.x, y - o.y, xx - o.xx, xy - o.xy, yy - o.yy};
  }
  // Slope and squared error of the least-squares line.
  void fit(double& slope, double& error) const {
    const double sxx = xx - x * x / n;
    const double sxy = xy - x * y / n;
    const double syy = yy - y * y / n;
    if (n < 2 || sxx <= 1e-9) {
      slope = 0;
      error = std::max(0.0, n > 0 ? syy : 0.0);
      return;
    }
    slope = sxy / sxx;
    error = std::max(0.0, syy - sxy * sxy / sxx);
  }
};

// The variance of the heights' noise, from the second differences of consecutive fixes in
// distance order (for white noise they have six times its variance); the median makes it blind
// to the line's own changes of gradient.
double noiseVariance(std::vector<std::pair<double, double>> points) {
  std::sort(points.begin(), points.end());
  std::vector<double> d2;
  for (std::size_t i = 1; i + 1 < points.size(); ++i) {
    const double d = points[i + 1].second - 2 * points[i].second + points[i - 1].second;
    d2.push_back(d * d);
  }
  if (d2.empty()) return 1.0;
  std::nth_element(d2.begin(), d2.begin() + static_cast<std::ptrdiff_t>(d2.size() / 2), d2.end());
  // The median of a squared normal variable is 0.455 of its mean.
  return std::max(1e-4, d2[d2.size() / 2] / 0.455 / 6.0);
}

// Least squares of the heights against a continuous line that bends at `knots`: a + b x +
// sum c_k max(0, x - knot_k). Fills the slope of every stretch (permil) and returns the squared
// error; the normal equations are solved by Gaussian elimination.
double continuousFit(const std::vector<std::pair<double, double>>& points,
                     const std::vector<double>& knots, std::vector<double>* slopes) {
  const std::size_t m = knots.size() + 2;
  std::vector<double> a(m * (m + 1), 0.0);
  std::vector<double> basis(m);
  double yy = 0;
  for (const auto& [x, y] : points) {
    basis[0] = 1;
    basis[1] = x / 1000.0;
    for (std::size_t k = 0; k < knots.size(); ++k) {
      basis[k + 2] = std::max(0.0, (x - knots[k]) / 1000.0);
    }
    for (std::size_t i = 0; i < m; ++i) {
      for (std::size_t j = 0; j < m; ++j) a[i * (m + 1) + j] += basis[i] * basis[j];
      a[i * (m + 1) + m] += basis[i] * y;
    }
    yy += y * y;
  }
  const std::vector<double> normal = a;
  for (std::size_t c = 0; c < m; ++c) {
    std::size_t pivot = c;
    for (std::size_t r = c + 1; r < m; ++r) {
      if (std::abs(a[r * (m + 1) + c]) > std::abs(a[pivot * (m + 1) + c])) pivot = r;
    }
    if (std::abs(a[pivot * (m + 1) + c]) < 1e-12) return std::numeric_limits<double>::infinity();
    for (std::size_t j = 0; j <= m; ++j) std::swap(a[c * (m + 1) + j], a[pivot * (m + 1) + j]);
    for (std::size_t r = 0; r < m; ++r) {
      if (r == c) continue;
      const double f = a[r * (m + 1) + c] / a[c * (m + 1) + c];
      for (std::size_t j = c; j <= m; ++j) a[r * (m + 1) + j] -= f * a[c * (m + 1) + j];
    }
  }
  std::vector<double> coef(m);
  for (std::size_t i = 0; i < m; ++i) coef[i] = a[i * (m + 1) + m] / a[i * (m + 1) + i];
  // Squared error: yy - 2 c.r + c.N.c
  double error = yy;
  for (std::size_t i = 0; i < m; ++i) {
    error -= 2 * coef[i] * normal[i * (m + 1) + m];
    for (std::size_t j = 0; j < m; ++j) error += coef[i] * normal[i * (m + 1) + j] * coef[j];
  }
  if (slopes != nullptr) {
    slopes->clear();
    double slope = coef[1];
    slopes->push_back(slope);
    for (std::size_t k = 0; k < knots.size(); ++k) {
      slope += coef[k + 2];
      slopes->push_back(slope);
    }
  }
  return error;
}

// Moves every bend to where a continuous line fits the heights around it best: the split into
// stretches is found with stretches that need not meet, which places a bend within a few tens
// of metres; a railway's heights do meet.
void refineKnots(const std::vector<std::pair<double, double>>& points, std::vector<double>& knots,
                 double length, double minStretchM) {
  for (int round = 0; round < 2; ++round) {
    for (std::size_t k = 0; k < knots.size(); ++k) {
      const double lo = k == 0 ? 0 : knots[k - 1];
      const double hi = k + 1 < knots.size() ? knots[k + 1] : length;
      std::vector<std::pair<double, double>> local;
      for (const auto& p : points) {
        if (p.first >= lo && p.first <= hi) local.push_back(p);
      }
      double best = knots[k];
      double bestError = continuousFit(local, {knots[k]}, nullptr);
      for (double x = knots[k] - 150; x <= knots[k] + 150; x += kBinM) {
        if (x - lo < minStretchM || hi - x < minStretchM) continue;
        const double e = continuousFit(local, {x}, nullptr);
        if (e < bestError) {
          bestError = e;
          best = x;
        }
      }
      knots[k] = best;
    }
  }
}

}  // namespace

std::vector<GradientStretch> fitGradients(const std::vector<double>& distanceM,
                                          const std::vector<double>& elevationM,
                                          double minStretchM) {
  std::vector<std::pair<double, double>> points;
  double length = 0;
  for (std::size_t i = 0; i < distanceM.size() && i < elevationM.size(); ++i) {
    length = std::max(length, distanceM[i]);
    if (std::isfinite(elevationM[i]) && std::isfinite(distanceM[i])) {
      points.emplace_back(distanceM[i], elevationM[i]);
    }
  }
  if (points.size() < 3 || length <= 0) return {};
  const int bins = std::max(1, static_cast<int>(std::ceil(length / kBinM)));
  // Heights about their mean keep the sums well conditioned.
  double meanY = 0;
  for (const auto& p : points) meanY += p.second;
  meanY /= static_cast<double>(points.size());
  std::vector<Sums> prefix(static_cast<std::size_t>(bins) + 1);
  {
    std::vector<Sums> perBin(static_cast<std::size_t>(bins));
    for (const auto& [x, y0] : points) {
      const int b = std::clamp(static_cast<int>(x / kBinM), 0, bins - 1);
      Sums& s = perBin[static_cast<std::size_t>(b)];
      const double xs = x / 1000.0, y = y0 - meanY;  // km keep xx small
      s.n += 1;
      s.x += xs;
      s.y += y;
      s.xx += xs * xs;
      s.xy += xs * y;
      s.yy += y * y;
    }
    for (int b = 0; b < bins; ++b) {
      const Sums& s = perBin[static_cast<std::size_t>(b)];
      const Sums& p = prefix[static_cast<std::size_t>(b)];
      prefix[static_cast<std::size_t>(b) + 1] = {p.n + s.n,   p.x + s.x,   p.y + s.y,
                                                 p.xx + s.xx, p.xy + s.xy, p.yy + s.yy};
    }
  }
  const int minBins = std::max(1, static_cast<int>(std::lround(minStretchM / kBinM)));
  const double penalty =
      kPenaltyFactor * noiseVariance(points) * std::log(static_cast<double>(points.size()));
  // best[j]: least cost of stretches covering bins [0, j); from[j]: where its last one starts.
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> best(static_cast<std::size_t>(bins) + 1, inf);
  std::vector<int> from(static_cast<std::size_t>(bins) + 1, 0);
  best[0] = 0;
  for (int j = 1; j <= bins; ++j) {
    // Too short a line for one stretch: one stretch covers it.
    const int lastStart = bins < minBins ? 0 : j - minBins;
    // Stretches of more than kMaxStretchBins are split (with the same gradient on both sides):
    // it bounds the work on long lines.
    for (int i = std::max(0, j - kMaxStretchBins); i <= lastStart; ++i) {
      if (best[static_cast<std::size_t>(i)] == inf) continue;
      double slope = 0, error = 0;
      (prefix[static_cast<std::size_t>(j)] - prefix[static_cast<std::size_t>(i)]).fit(slope, error);
      const double cost = best[static_cast<std::size_t>(i)] + error + penalty;
      if (cost < best[static_cast<std::size_t>(j)]) {
        best[static_cast<std::size_t>(j)] = cost;
        from[static_cast<std::size_t>(j)] = i;
      }
    }
  }
  // The bends the split found, then moved and fitted as one continuous line.
  std::vector<int> starts;
  for (int j = bins; j > 0;) {
    const int i = from[static_cast<std::size_t>(j)];
    starts.push_back(i);
    if (j == i) break;
    j = i;
  }
  std::reverse(starts.begin(), starts.end());
  std::vector<double> knots;
  for (std::size_t k = 1; k < starts.size(); ++k) knots.push_back(starts[k] * kBinM);
  std::vector<std::pair<double, double>> centred = points;
  for (auto& p : centred) p.second -= meanY;
  refineKnots(centred, knots, length, minStretchM);
  std::vector<double> slopes;
  if (!std::isfinite(continuousFit(centred, knots, &slopes))) return {};
  std::vector<GradientStretch> out;
  for (std::size_t k = 0; k <= knots.size(); ++k) {
    const double a = k == 0 ? 0 : knots[k - 1];
    const double b = k < knots.size() ? knots[k] : length;
    // A stretch without heights of its own is left out.
    int count = 0;
    for (const auto& p : points) count += p.first >= a && p.first <= b ? 1 : 0;
    if (count >= 3) out.push_back({a, b, slopes[k]});
  }
  return out;
}

}  // namespace dravolin::author
