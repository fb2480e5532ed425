// The help window: the operating instructions of "operation.dat" in a read-only text box. The
// file's first line is the window's caption. Keys typed in the text box go on to the driving
// window, so the driver can drive while reading.
#pragma once

#include <QWidget>
#include <filesystem>
#include <functional>

class QPlainTextEdit;

namespace dravolin::shell {

inline constexpr const char* kHelpFile = "operation.dat";

class HelpWindow final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 227;   // client area, px
  static constexpr int kHeight = 331;  // client area, px

  // Reads "operation.dat" of the data folder (code page 932). A file that cannot be read is
  // reported through the message sink; the window then stays empty with the caption "Help".
  explicit HelpWindow(const std::filesystem::path& dataDir, QWidget* parent = nullptr);

  QPlainTextEdit* memo() const { return memo_; }
  std::function<void(QKeyEvent*)> onKey;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPlainTextEdit* memo_;
};

// The help text file split into caption and the other lines (UTF-8); false when it cannot be
// read.
bool readHelpFile(const std::filesystem::path& path, QString& caption, QStringList& lines);

}  // namespace dravolin::shell
