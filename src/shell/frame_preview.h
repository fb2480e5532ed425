// The frame of the footage at a time, shown in the line maker's window. The frame is decoded on a
// thread of its own (seeking in a camera's file takes a moment); while it decodes, later
// requests replace earlier ones, so a moving cursor is followed without a queue building up.
#pragma once

#include <QLabel>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/footage.h"

namespace dravolin::shell {

class FramePreview final : public QLabel {
  Q_OBJECT

 public:
  FramePreview(platform::FootageService& footage, QSize size, QWidget* parent = nullptr);
  ~FramePreview() override;

  // Shows the frame of `path` at `timeS` once it is decoded; an empty path clears the picture.
  void request(const std::string& path, double timeS);
  // The time of the frame shown last, or -1.
  double shownTime() const { return shownTime_; }

 Q_SIGNALS:
  void frameShown(double timeS);

 private:
  void run();

  platform::FootageService& footage_;
  QSize size_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<std::pair<std::string, double>> wanted_;
  bool stopping_ = false;
  double shownTime_ = -1;
  std::thread thread_;
};

}  // namespace dravolin::shell
