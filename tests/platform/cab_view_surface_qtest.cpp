// The cab-view surface on the offscreen platform: what a presented bitmap looks like on screen,
// read back by grabbing the widget, and the initialise and finalise events.
#include <QImage>
#include <QtTest>
#include <memory>

#include "platform/cab_view_surface.h"

using dravolin::platform::Bitmap;
using dravolin::platform::CabView;
using dravolin::platform::CabViewSurface;
using dravolin::platform::OffscreenImage;

namespace {

constexpr QRgb kBlack = 0xFF000000;

// A bitmap whose every pixel differs from its neighbours, so a shifted, flipped or mis-strided
// copy shows.
Bitmap pattern(int width, int height) {
  Bitmap b;
  b.width = width;
  b.height = height;
  b.pixels.resize(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      b.pixels[static_cast<std::size_t>(y) * width + x] =
          0xFF000000u | (static_cast<std::uint32_t>(x & 0xFF) << 16) |
          (static_cast<std::uint32_t>(y & 0xFF) << 8) |
          static_cast<std::uint32_t>((x * 7 + y) & 0xFF);
    }
  }
  return b;
}

Bitmap solid(int width, int height, std::uint32_t colour) {
  Bitmap b;
  b.width = width;
  b.height = height;
  b.pixels.assign(static_cast<std::size_t>(width) * height, colour);
  return b;
}

QImage onScreen(CabViewSurface& surface) {
  return surface.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Where the surface must show the bitmap and black everywhere else; the first difference, or an
// empty string.
QString compare(const QImage& screen, const Bitmap& bitmap) {
  if (screen.width() != CabView::kWidth || screen.height() != CabView::kHeight) {
    return QString("screen is %1 x %2").arg(screen.width()).arg(screen.height());
  }
  for (int y = 0; y < CabView::kHeight; ++y) {
    for (int x = 0; x < CabView::kWidth; ++x) {
      const bool inside =
          x < bitmap.width && y < bitmap.height && !bitmap.pixels.empty() &&
          bitmap.pixels.size() >= static_cast<std::size_t>(bitmap.width) * bitmap.height;
      const QRgb want = inside ? bitmap.pixel(x, y) : kBlack;
      const QRgb got = screen.pixel(x, y);
      if (got != want) {
        return QString("pixel (%1, %2) is %3, expected %4")
            .arg(x)
            .arg(y)
            .arg(got, 8, 16, QChar('0'))
            .arg(want, 8, 16, QChar('0'));
      }
    }
  }
  return {};
}

}  // namespace

class CabViewSurfaceTest : public QObject {
  Q_OBJECT

 private slots:
  void presentedBitmapShowsAtTopLeftOnBlack_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("full size") << 480 << 240;
    QTest::newRow("smaller") << 320 << 120;
    QTest::newRow("one pixel") << 1 << 1;
    QTest::newRow("wider, clipped") << 640 << 100;
    QTest::newRow("taller, clipped") << 100 << 480;
    QTest::newRow("larger, clipped") << 720 << 480;
    QTest::newRow("odd width") << 333 << 17;
  }
  void presentedBitmapShowsAtTopLeftOnBlack() {
    QFETCH(int, width);
    QFETCH(int, height);
    CabViewSurface surface;
    std::unique_ptr<OffscreenImage> image;
    surface.setInitialiseHandler([&] { image = surface.createImage(); });
    surface.show();
    QVERIFY(QTest::qWaitForWindowExposed(&surface));
    QVERIFY(image != nullptr);

    // A full-size frame first, so that a smaller one must clear what it does not cover.
    QVERIFY(presentBitmap(surface, *image, solid(480, 240, 0xFF3060A0)));
    const Bitmap bitmap = pattern(width, height);
    QVERIFY(presentBitmap(surface, *image, bitmap));
    QCOMPARE(image->width(), width);
    QCOMPARE(image->height(), height);
    const QString difference = compare(onScreen(surface), bitmap);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
  }

  void screenChangesOnlyOnPresent() {
    CabViewSurface surface;
    surface.show();
    QVERIFY(QTest::qWaitForWindowExposed(&surface));
    auto image = surface.createImage();
    const Bitmap first = pattern(480, 240);
    QVERIFY(presentBitmap(surface, *image, first));

    image->load(solid(480, 240, 0xFFFFFFFF));
    surface.fillBackBuffer();
    surface.drawImage(*image, 0, 0);
    QVERIFY(compare(onScreen(surface), first).isEmpty());  // drawn, not yet presented
    surface.present();
    QCOMPARE(onScreen(surface).pixel(479, 239), QRgb(0xFFFFFFFF));
  }

  // The buffers take the screen's pixels; a picture laid over another by a share mixes with it;
  // a picture scaled by whole pixels keeps them sharp.
  void pixelSizeSharesAndScaledPictures() {
    CabViewSurface surface;
    surface.show();
    QVERIFY(QTest::qWaitForWindowExposed(&surface));
    auto image = surface.createImage();
    auto over = surface.createImage();
    surface.setPixelSize(960, 480);
    image->load(solid(960, 480, 0xFF0000FF));
    over->load(solid(100, 50, 0xFFFFFFFF));
    surface.fillBackBuffer();
    surface.drawImage(*image, 0, 0);
    surface.drawImage(*over, 10, 20, 0.5);
    surface.present();
    const QImage& front = surface.frontBuffer();
    QCOMPARE(front.size(), QSize(960, 480));
    QCOMPARE(front.pixel(959, 479), QRgb(0xFF0000FF));
    QCOMPARE(front.pixel(110, 20), QRgb(0xFF0000FF));
    const QRgb mixed = front.pixel(10, 20);
    QVERIFY2(qAbs(qRed(mixed) - 128) <= 2 && qAbs(qGreen(mixed) - 128) <= 2 && qBlue(mixed) == 255,
             qPrintable(QString::number(mixed, 16)));

    image->load(Bitmap{2, 1, {0xFFFF0000, 0xFF00FF00}});
    surface.fillBackBuffer();
    surface.drawImageScaled(*image, dravolin::platform::VideoPlacement{0, 1, 1, 1, 4, 2, true});
    surface.present();
    QCOMPARE(surface.frontBuffer().pixel(1, 1), QRgb(0xFFFF0000));
    QCOMPARE(surface.frontBuffer().pixel(2, 2), QRgb(0xFFFF0000));
    QCOMPARE(surface.frontBuffer().pixel(3, 1), QRgb(0xFF00FF00));
    QCOMPARE(surface.frontBuffer().pixel(4, 2), QRgb(0xFF00FF00));
    QCOMPARE(surface.frontBuffer().pixel(0, 0), kBlack);
    QCOMPARE(surface.frontBuffer().pixel(5, 1), kBlack);
  }

  // The black of fillBackBuffer() is left out only under a picture that covers the whole buffer
  // opaquely; whatever else is drawn, or nothing, finds black below it, never the frame before.
  // A picture loaded shared shows the bitmap's own pixels and keeps them while it is held.
  void blackUnderWhatIsNotCovered() {
    struct Case {
      const char* name;
      int x;  // where the 480 x 240 blue picture is drawn (none when -1000)
      double opacity;
      QRgb wantTopLeft;
      QRgb wantBottomRight;
    };
    const Case cases[] = {
        {"covering and opaque", 0, 1.0, 0xFF0000FF, 0xFF0000FF},
        {"one pixel to the right: the first column black", 1, 1.0, kBlack, 0xFF0000FF},
        {"covering at a share: laid over black", 0, 0.5, 0xFF000080, 0xFF000080},
        {"nothing drawn: black", -1000, 1.0, kBlack, kBlack},
    };
    for (const Case& c : cases) {
      CabViewSurface surface;
      surface.show();
      QVERIFY(QTest::qWaitForWindowExposed(&surface));
      auto image = surface.createImage();
      QVERIFY(presentBitmap(surface, *image, solid(480, 240, 0xFFFFFFFF)));
      QVERIFY(presentBitmap(surface, *image, solid(480, 240, 0xFFFFFFFF)));  // both buffers
      auto blue = std::make_shared<const Bitmap>(solid(480, 240, 0xFF0000FF));
      image->loadShared(blue);
      QCOMPARE(blue.use_count(), 2L);  // held by the image, not copied
      surface.fillBackBuffer();
      if (c.x != -1000) surface.drawImage(*image, c.x, 0, c.opacity);
      surface.present();
      const QImage& front = surface.frontBuffer();
      const QRgb topLeft = front.pixel(0, 0);
      QVERIFY2(qAbs(qRed(topLeft) - qRed(c.wantTopLeft)) <= 1 &&
                   qAbs(qBlue(topLeft) - qBlue(c.wantTopLeft)) <= 1,
               qPrintable(QString("%1: %2").arg(c.name).arg(topLeft, 8, 16)));
      QVERIFY2(qAbs(qBlue(front.pixel(479, 239)) - qBlue(c.wantBottomRight)) <= 1 &&
                   qRed(front.pixel(479, 239)) == qRed(c.wantBottomRight),
               c.name);
      // A plain load lets the shared bitmap go and shows a copy of the new one.
      image->load(solid(2, 2, 0xFF00FF00));
      QCOMPARE(blue.use_count(), 1L);
      QCOMPARE(image->width(), 2);
    }
  }

  void malformedBitmapDrawsNothing_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("pixelCount");
    QTest::newRow("empty") << 0 << 0 << 0;
    QTest::newRow("negative width") << -5 << 10 << 0;
    QTest::newRow("too few pixels") << 100 << 100 << 9999;
  }
  void malformedBitmapDrawsNothing() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, pixelCount);
    CabViewSurface surface;
    surface.show();
    QVERIFY(QTest::qWaitForWindowExposed(&surface));
    auto image = surface.createImage();
    Bitmap bad;
    bad.width = width;
    bad.height = height;
    bad.pixels.assign(static_cast<std::size_t>(pixelCount), 0xFFFFFFFF);
    QVERIFY(presentBitmap(surface, *image, pattern(480, 240)));
    QVERIFY(presentBitmap(surface, *image, bad));
    QCOMPARE(image->width(), 0);
    QCOMPARE(image->height(), 0);
    QVERIFY(compare(onScreen(surface), Bitmap{}).isEmpty());  // all black
  }

  void initialiseFiresOnceWhenFirstShown() {
    CabViewSurface surface;
    int initialised = 0;
    surface.setInitialiseHandler([&] { ++initialised; });
    QVERIFY(!surface.canDraw());
    QCOMPARE(initialised, 0);
    surface.show();
    QVERIFY(QTest::qWaitForWindowExposed(&surface));
    surface.hide();
    surface.show();
    QCOMPARE(initialised, 1);
    QVERIFY(surface.canDraw());

    // A handler set on a usable surface is called at once.
    int late = 0;
    surface.setInitialiseHandler([&] { ++late; });
    QCOMPARE(late, 1);
  }

  void finaliseFiresOnceAndStopsDrawing() {
    std::unique_ptr<OffscreenImage> image;
    int finalised = 0;
    bool couldDrawDuringFinalise = false;
    {
      CabViewSurface surface;
      surface.setInitialiseHandler([&] { image = surface.createImage(); });
      surface.setFinaliseHandler([&] {
        ++finalised;
        couldDrawDuringFinalise = surface.canDraw();
        image.reset();
      });
      surface.show();
      QVERIFY(QTest::qWaitForWindowExposed(&surface));
      const Bitmap frame = pattern(480, 240);
      QVERIFY(presentBitmap(surface, *image, frame));

      surface.finalise();
      QCOMPARE(finalised, 1);
      QVERIFY(couldDrawDuringFinalise);
      QVERIFY(image == nullptr);
      QVERIFY(!surface.canDraw());
      auto other = surface.createImage();
      QVERIFY(!presentBitmap(surface, *other, solid(480, 240, 0xFFFFFFFF)));
      QVERIFY(compare(onScreen(surface), frame).isEmpty());  // the last frame stays

      surface.initialise();
      QVERIFY(surface.canDraw());
      QVERIFY(image != nullptr);
    }
    QCOMPARE(finalised, 2);  // the destructor finalises an initialised surface
  }

  void savesAScreenshot() {
    // For looking at: DRAVOLIN_SCREENSHOT names a PNG file to write the surface into.
    const QString path = qEnvironmentVariable("DRAVOLIN_SCREENSHOT");
    if (path.isEmpty()) {
      QSKIP("DRAVOLIN_SCREENSHOT is not set");
    }
    CabViewSurface surface;
    surface.show();
    QVERIFY(QTest::qWaitForWindowExposed(&surface));
    auto image = surface.createImage();
    QVERIFY(presentBitmap(surface, *image, pattern(400, 200)));
    QVERIFY(onScreen(surface).save(path));
  }
};

QTEST_MAIN(CabViewSurfaceTest)
#include "cab_view_surface_qtest.moc"
