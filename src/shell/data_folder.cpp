#include "shell/data_folder.h"

#include <QStringList>
#include <system_error>

#include "data/data_path.h"

namespace dravolin::shell {

namespace {

bool hasFile(const std::filesystem::path& dir, const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_regular_file(data::resolveDataPath(dir, name), ec);
}

std::vector<std::string> trainFiles(const TrainTable& trains) {
  std::vector<std::string> names;
  for (const std::optional<TrainChoice>& choice : trains) {
    if (choice) names.push_back(choice->trainFile);
  }
  return names;
}

}  // namespace

std::vector<std::string> missingDataFiles(const std::filesystem::path& dir,
                                          const TrainTable& trains) {
  std::vector<std::string> missing;
  std::error_code ec;
  const bool exists = std::filesystem::is_directory(dir, ec);
  if (!exists || !hasFile(dir, kSettingsFile)) missing.emplace_back(kSettingsFile);
  const std::vector<std::string> names = trainFiles(trains);
  bool anyTrain = false;
  for (const std::string& name : names) anyTrain = anyTrain || (exists && hasFile(dir, name));
  if (!anyTrain) missing.insert(missing.end(), names.begin(), names.end());
  return missing;
}

QString notADataFolderMessage(const QString& dir, const std::vector<std::string>& missing) {
  QString text = QString("「%1」はデータフォルダではありません。").arg(dir);
  bool settings = false;
  QStringList trainNames;
  for (const std::string& name : missing) {
    if (name == kSettingsFile) {
      settings = true;
    } else {
      trainNames << QString::fromStdString(name);
    }
  }
  if (settings) text += QString("\n%1 がありません。").arg(kSettingsFile);
  if (!trainNames.isEmpty()) {
    text += QString("\n列車ファイルがありません（%1）。").arg(trainNames.join("、"));
  }
  return text + "\n前のフォルダを開いたままにします。";
}

std::optional<std::filesystem::path> installedDemoFolder(
    const std::filesystem::path& programDir, const std::filesystem::path& installedDataDir) {
  for (const std::filesystem::path& dir :
       {programDir / ".." / "share" / "dravolin" / "demo", installedDataDir / "demo"}) {
    if (!dir.empty() && missingDataFiles(dir).empty()) return dir.lexically_normal();
  }
  return std::nullopt;
}

std::filesystem::path startFolder(const std::optional<std::filesystem::path>& given,
                                  const std::filesystem::path& lastUsed,
                                  const std::optional<std::filesystem::path>& installedDemo) {
  if (given) return *given;
  if (!lastUsed.empty() && missingDataFiles(lastUsed).empty()) return lastUsed;
  if (installedDemo) return *installedDemo;
  return ".";
}

}  // namespace dravolin::shell
