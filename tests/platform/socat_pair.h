// A pair of connected pseudo-terminals made by socat: bytes written into one end come out of the
// other. The serial port tests open one end as the controller box's port and write codes into
// the other.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <string>
#include <vector>

namespace dravolin::testing {

// Runs the event loop until `done` holds or `timeoutMs` have passed; returns `done()`.
template <typename Predicate>
bool pumpUntil(Predicate done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < timeoutMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return done();
}

// Runs the event loop for `ms` milliseconds.
inline void pumpFor(int ms) {
  pumpUntil([] { return false; }, ms);
}

class SocatPair {
 public:
  static bool available() { return !QStandardPaths::findExecutable("socat").isEmpty(); }

  // Starts socat and reads the two device paths from its diagnostics. False when it failed.
  bool start() {
    process_.setProgram(QStandardPaths::findExecutable("socat"));
    process_.setArguments({"-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"});
    process_.setReadChannel(QProcess::StandardError);
    process_.start();
    if (!process_.waitForStarted(5000)) {
      return false;
    }
    static const QRegularExpression ptyLine("PTY is (\\S+)");
    QByteArray diagnostics;
    QElapsedTimer clock;
    clock.start();
    // Both paths, then the transfer loop's start: after that line both ends carry data.
    while (clock.elapsed() < 10000 && !diagnostics.contains("starting data transfer loop")) {
      process_.waitForReadyRead(100);
      diagnostics += process_.readAllStandardError();
    }
    auto matches = ptyLine.globalMatch(QString::fromLocal8Bit(diagnostics));
    while (matches.hasNext()) {
      paths_.push_back(matches.next().captured(1).toStdString());
    }
    return paths_.size() == 2 && diagnostics.contains("starting data transfer loop");
  }

  ~SocatPair() {
    if (writer_ >= 0) {
      ::close(writer_);
    }
    stop();
  }

  void stop() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }

  // The end the port under test opens, and the end the test writes into.
  const std::string& portEnd() const { return paths_.at(0); }
  const std::string& writerEnd() const { return paths_.at(1); }

  // Writes the bytes into the writer end in one write.
  bool write(const std::string& bytes) {
    if (writer_ < 0) {
      writer_ = ::open(writerEnd().c_str(), O_RDWR | O_NOCTTY);
      if (writer_ < 0) {
        return false;
      }
    }
    return ::write(writer_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

 private:
  QProcess process_;
  std::vector<std::string> paths_;
  int writer_ = -1;
};

}  // namespace dravolin::testing
