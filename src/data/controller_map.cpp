#include "data/controller_map.h"

#include <filesystem>
#include <system_error>

#include "data/data_path.h"
#include "data/keyed_file.h"
#include "platform/message_ids.h"

namespace dravolin::data {

ControllerMap parseControllerMap(std::string_view bytes) {
  ControllerMap map;
  // Lines are read one at a time: the list ends at 26 codes however long the file is.
  LineCursor lines(bytes);
  while (!lines.atEnd()) {
    const std::string_view line = lines.next();
    if (!line.empty() && line.front() == '#') break;
    if (static_cast<int>(map.codes.size()) == ControllerMap::kMaxCodes) {
      throw LoadError(msg::controllerMapTooLong());
    }
    map.codes.emplace_back(line);
  }
  return map;
}

ControllerMap readControllerMap(const LoadContext& ctx) {
  const std::filesystem::path path = ctx.resolve(kControllerMapFileName);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) throw LoadError(msg::controllerMapMissing());
  std::optional<std::string> bytes = ctx.readDataFile(kControllerMapFileName);
  if (!bytes) throw LoadError(msg::controllerMapUnreadable());
  return parseControllerMap(*bytes);
}

}  // namespace dravolin::data
