#include "data/drive_files.h"

#include "data/line_distances.h"

namespace dravolin::data {

DriveFiles readDriveFiles(std::string_view trainFileName, std::string_view lineFileName,
                          LoadContext& ctx) {
  DriveFiles d;
  d.mascon = readControllerMap(ctx);
  d.line = readLineFile(lineFileName, ctx);
  d.settings = readSettingsFile(ctx);
  d.train = readTrainFile(trainFileName, ctx);
  validateBrake(d.train.params);
  computeLineDistances(d.line);
  return d;
}

}  // namespace dravolin::data
