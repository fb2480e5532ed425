// The stand-ins that logic tests use for the surface, the timers and the port keep the contracts
// of the real services: present only when the surface can draw, no ticks while disabled, events
// in the real port's order.
#include <gtest/gtest.h>

#include "fixtures/fake_cab_view.h"
#include "fixtures/fake_serial_port.h"
#include "fixtures/fake_timers.h"

namespace dravolin::testing {
namespace {

TEST(FakeCabView, PresentsOnlyWhileItCanDraw) {
  FakeCabView view;
  std::unique_ptr<platform::OffscreenImage> image;
  view.setInitialiseHandler([&] { image = view.createImage(); });
  view.setFinaliseHandler([&] { image.reset(); });
  view.initialise();
  ASSERT_NE(image, nullptr);
  platform::Bitmap frame{2, 1, {0xFF112233, 0xFF445566}};
  EXPECT_TRUE(platform::presentBitmap(view, *image, frame));
  ASSERT_EQ(view.front.size(), 1u);
  EXPECT_EQ(view.front[0].picture.pixels, frame.pixels);
  view.drawable = false;
  EXPECT_FALSE(platform::presentBitmap(view, *image, platform::Bitmap{1, 1, {0xFFFFFFFF}}));
  EXPECT_EQ(view.presents, 1);
  view.finalise();
  EXPECT_EQ(image, nullptr);
}

TEST(FakeTimer, TicksOnlyWhileEnabled) {
  FakeTimer timer(33);
  int ticks = 0;
  timer.setHandler([&] { ++ticks; });
  timer.fire(3);
  timer.setEnabled(true);
  timer.fire(2);
  EXPECT_EQ(ticks, 2);
}

TEST(FakeSerialPort, FiresEventsInTheRealPortsOrder) {
  FakeSerialPort port;
  std::vector<std::string> events;
  port.setOpenedHandler([&] { events.push_back("opened"); });
  port.setClosingHandler([&] { events.push_back("closing"); });
  port.setReceiveHandler([&](int n) { events.push_back("rx " + port.readString(n)); });
  port.receive("P0001");  // closed: nothing arrives
  ASSERT_TRUE(port.open());
  port.receive("P0001");
  EXPECT_TRUE(port.setPortName("COM2"));
  port.failOpenWith = 2;
  EXPECT_FALSE(port.setPortName("COM1"));
  EXPECT_EQ(port.lastError(), "Unable to open com port (win error code: 2)");
  EXPECT_FALSE(port.connected());
  EXPECT_EQ(events,
            (std::vector<std::string>{"opened", "rx P0001", "closing", "opened", "closing"}));
}

}  // namespace
}  // namespace dravolin::testing
