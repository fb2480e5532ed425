#include "data/controller_map.h"

#include <filesystem>
#include <system_error>

#include "data/data_path.h"
#include "data/keyed_file.h"

namespace dravolin::data {

ControllerMap parseControllerMap(std::string_view bytes) {
  ControllerMap map;
  for (std::string_view line : splitLines(bytes)) {
    if (!line.empty() && line.front() == '#') break;
    if (static_cast<int>(map.codes.size()) == ControllerMap::kMaxCodes) {
      throw LoadError(kControllerMapTooLong);
    }
    map.codes.emplace_back(line);
  }
  return map;
}

ControllerMap readControllerMap(const LoadContext& ctx) {
  const std::filesystem::path path = ctx.resolve(kControllerMapFileName);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) throw LoadError(kControllerMapMissing);
  std::optional<std::string> bytes = readFileBytes(path);
  if (!bytes) throw LoadError(kControllerMapUnreadable);
  return parseControllerMap(*bytes);
}

}  // namespace dravolin::data
