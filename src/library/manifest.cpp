#include "library/manifest.h"

#include <nlohmann/json.hpp>

#include "library/entry_name.h"
#include "library/package_error.h"
#include "platform/message_ids.h"

namespace dravolin::library {

namespace {

using Json = nlohmann::ordered_json;

[[noreturn]] void badField(const std::string& field) {
  throw PackageError(msg::manifestField(field));
}

std::string text(const Json& object, const char* key, bool required) {
  const auto it = object.find(key);
  if (it == object.end()) {
    if (required) badField(key);
    return {};
  }
  if (!it->is_string()) badField(key);
  std::string value = it->get<std::string>();
  if (required && value.empty()) badField(key);
  return value;
}

bool isHexDigest(std::string_view s) {
  if (s.size() != 64) return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::vector<std::uint64_t> versionNumbers(std::string_view v) {
  std::vector<std::uint64_t> numbers{0};
  for (char c : v) {
    if (c == '.') {
      numbers.push_back(0);
    } else {
      numbers.back() = numbers.back() * 10 + static_cast<std::uint64_t>(c - '0');
    }
  }
  while (numbers.size() > 1 && numbers.back() == 0) numbers.pop_back();
  return numbers;
}

}  // namespace

std::uint64_t Manifest::totalBytes() const {
  std::uint64_t total = 0;
  for (const ManifestFile& f : files) total += f.size;
  return total;
}

bool validId(std::string_view id) {
  if (id.empty() || id.size() > 64) return false;
  const auto letterOrDigit = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  };
  if (!letterOrDigit(id.front())) return false;
  for (char c : id) {
    if (!letterOrDigit(c) && c != '.' && c != '-' && c != '_') return false;
  }
  return true;
}

bool validVersion(std::string_view version) {
  if (version.empty() || version.size() > 32) return false;
  bool digitBefore = false;
  int digitsInPart = 0;
  for (char c : version) {
    if (c >= '0' && c <= '9') {
      digitBefore = true;
      if (++digitsInPart > 9) return false;
    } else if (c == '.' && digitBefore) {
      digitBefore = false;
      digitsInPart = 0;
    } else {
      return false;
    }
  }
  return digitBefore;
}

int compareVersions(std::string_view a, std::string_view b) {
  const std::vector<std::uint64_t> x = versionNumbers(a);
  const std::vector<std::uint64_t> y = versionNumbers(b);
  for (std::size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
    const std::uint64_t p = i < x.size() ? x[i] : 0;
    const std::uint64_t q = i < y.size() ? y[i] : 0;
    if (p != q) return p < q ? -1 : 1;
  }
  return 0;
}

std::string manifestJson(const Manifest& m) {
  Json lines = Json::array();
  for (const ManifestLine& l : m.lines) {
    Json trains = Json::array();
    for (const ManifestTrain& t : l.trains) trains.push_back({{"file", t.file}, {"name", t.name}});
    lines.push_back({{"file", l.file},
                     {"name", l.name},
                     {"length_m", l.lengthM},
                     {"stations", l.stations},
                     {"trains", trains}});
  }
  Json files = Json::array();
  for (const ManifestFile& f : m.files) {
    files.push_back({{"path", f.path}, {"size", f.size}, {"sha256", f.sha256}});
  }
  Json j = Json::object();
  j["format"] = m.format;
  j["id"] = m.id;
  j["name"] = m.name;
  j["version"] = m.version;
  j["author"] = m.author;
  j["licence"] = m.licence;
  j["description"] = m.description;
  j["created"] = m.created;
  j["program"] = m.program;
  j["thumbnail"] = m.thumbnail;
  j["lines"] = lines;
  j["files"] = files;
  return j.dump(1, '\t', false, Json::error_handler_t::strict) + "\n";
}

Manifest parseManifest(std::string_view json) {
  Json j;
  try {
    j = Json::parse(json.begin(), json.end());
  } catch (const Json::exception& e) {
    throw PackageError(msg::manifestInvalid(e.what()));
  }
  if (!j.is_object()) throw PackageError(msg::manifestInvalid("not an object"));
  Manifest m;
  const auto format = j.find("format");
  if (format == j.end() || !format->is_number_integer()) badField("format");
  const auto formatNumber = format->get<long long>();
  if (formatNumber < 1) badField("format");
  if (formatNumber > kFormatVersion) {
    throw PackageError(msg::manifestFormat(formatNumber, kFormatVersion));
  }
  m.format = static_cast<int>(formatNumber);
  m.id = text(j, "id", true);
  if (!validId(m.id)) badField("id");
  m.name = text(j, "name", true);
  m.version = text(j, "version", true);
  if (!validVersion(m.version)) badField("version");
  m.author = text(j, "author", false);
  m.licence = text(j, "licence", false);
  m.description = text(j, "description", false);
  m.created = text(j, "created", false);
  m.program = text(j, "program", false);
  m.thumbnail = text(j, "thumbnail", false);

  const auto files = j.find("files");
  if (files == j.end() || !files->is_array()) badField("files");
  for (const Json& f : *files) {
    if (!f.is_object()) badField("files");
    ManifestFile file;
    file.path = text(f, "path", true);
    if (entryNameFault(file.path) || file.path.back() == '/' || file.path.back() == '\\')
      badField("files.path");
    file.path = normalisedEntryName(file.path);
    const auto size = f.find("size");
    if (size == f.end() || !size->is_number_unsigned()) badField("files.size");
    file.size = size->get<std::uint64_t>();
    file.sha256 = text(f, "sha256", true);
    if (!isHexDigest(file.sha256)) badField("files.sha256");
    m.files.push_back(std::move(file));
  }
  if (!m.thumbnail.empty()) {
    bool listed = false;
    for (const ManifestFile& f : m.files) listed = listed || f.path == m.thumbnail;
    if (!listed) badField("thumbnail");
  }

  const auto lines = j.find("lines");
  if (lines != j.end()) {
    if (!lines->is_array()) badField("lines");
    for (const Json& l : *lines) {
      if (!l.is_object()) badField("lines");
      ManifestLine line;
      line.file = text(l, "file", true);
      line.name = text(l, "name", false);
      const auto length = l.find("length_m");
      if (length != l.end()) {
        if (!length->is_number()) badField("lines.length_m");
        line.lengthM = length->get<double>();
      }
      const auto stations = l.find("stations");
      if (stations != l.end()) {
        if (!stations->is_array()) badField("lines.stations");
        for (const Json& s : *stations) {
          if (!s.is_string()) badField("lines.stations");
          line.stations.push_back(s.get<std::string>());
        }
      }
      const auto trains = l.find("trains");
      if (trains != l.end()) {
        if (!trains->is_array()) badField("lines.trains");
        for (const Json& t : *trains) {
          if (!t.is_object()) badField("lines.trains");
          line.trains.push_back({text(t, "file", true), text(t, "name", false)});
        }
      }
      m.lines.push_back(std::move(line));
    }
  }
  return m;
}

}  // namespace dravolin::library
