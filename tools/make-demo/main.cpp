// dravolin-make-demo OUTDIR [--fast] [--only FILE]
//
// Writes the demo installation into OUTDIR: two trains and two line files on one generated line
// video, their cab pictures and sounds, the title screen's pictures and the opening movie, the
// settings, controller and help files. Everything is computed here from fixed numbers, so every
// run writes the same bytes.
//
// --fast leaves out the two videos and the spoken sounds (for tests); --only FILE writes just the
// one file named as the data files name it (e.g. "image\title\help.bmp"); --frame N PATH.png
// writes frame N of the line video as a picture, for a look at the scenery.

#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/language.h"
#include "tools/make-demo/demo.h"

namespace {
constexpr const char* kUsage =
    "usage: dravolin-make-demo OUTDIR [--fast] [--only FILE] [--lang ja|en] | --frame N PATH.png\n";
}

int main(int argc, char** argv) {
  std::string languageError;
  if (!dravolin::msg::takeLanguageOption(argc, argv, languageError)) {
    std::fprintf(stderr, "dravolin-make-demo: %s\n%s", languageError.c_str(), kUsage);
    return 2;
  }
  std::string dir, only, png;
  bool fast = false;
  int frame = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--fast") {
      fast = true;
    } else if (a == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else if (a == "--frame" && i + 2 < argc) {
      frame = std::atoi(argv[++i]);
      png = argv[++i];
    } else if (a == "-h" || a == "--help") {
      std::printf(kUsage);
      return 0;
    } else if (dir.empty() && !a.empty() && a[0] != '-') {
      dir = a;
    } else {
      std::fprintf(stderr, kUsage);
      return 2;
    }
  }
  if (dir.empty() && frame < 0) {
    std::fprintf(stderr, kUsage);
    return 2;
  }
  // Pictures are drawn off screen; no display is needed.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const auto start = std::chrono::steady_clock::now();
  try {
    using namespace dravolin::demo;
    const Plan plan = makePlan();
    if (frame >= 0) return renderFrame(plan, frame).save(QString::fromStdString(png)) ? 0 : 1;
    const Output out(dir, fast, only);
    writeDataFiles(plan, out);
    writePictures(plan, out);
    writeSounds(plan, out);
    writeVideos(plan, out);
    if (!only.empty() && out.written == 0) {
      std::fprintf(stderr, "dravolin-make-demo: the demo has no file %s\n", only.c_str());
      return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("wrote %d files in %.1f s; line %.0f m, %d frames (%.0f s)\n", out.written, seconds,
                plan.lengthM(), plan.frameCount(), plan.frameCount() / double(kFps));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dravolin-make-demo: %s\n", e.what());
    return 1;
  }
  return 0;
}
