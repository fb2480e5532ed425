// Helpers shared by the tests of the data file readers.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "data/load_context.h"
#include "data/load_error.h"
#include "fixtures/fake_picture_loader.h"

namespace dravolin::data {

// Joins lines with CR LF, as the files are written on Windows.
inline std::string crlf(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view l : lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

// The message of the LoadError that `read` throws, or "(no error)".
inline std::string errorOf(const std::function<void()>& read) {
  try {
    read();
  } catch (const LoadError& e) {
    return e.message();
  }
  return "(no error)";
}

// A reader test with a load context whose pictures come from a fake loader. `Parse` reads one
// file from its bytes.
template <typename Result, Result (*Parse)(std::string, LoadContext&)>
class ReaderTest : public ::testing::Test {
 protected:
  ReaderTest() {
    ctx.dataDir = "/nonexistent/data";
    ctx.pictures = &pictures;
  }

  Result parse(const std::string& bytes) { return Parse(bytes, ctx); }
  std::string errorOf(const std::string& bytes) {
    return data::errorOf([&] { parse(bytes); });
  }

  testing::FakePictureLoader pictures;
  LoadContext ctx;
};

}  // namespace dravolin::data
