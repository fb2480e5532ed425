// The data files of one drive, read in the start-up order: the controller mapping file
// "mascon.dat", the line file, the settings file "dravolin.dat" and the train file, then the
// brake validation and the line's distance tables. The first fault ends the reading with the
// LoadError of the file at fault.
#pragma once

#include <string_view>

#include "data/controller_map.h"
#include "data/line_file.h"
#include "data/load_context.h"
#include "data/settings_file.h"
#include "data/train_file.h"

namespace dravolin::data {

struct DriveFiles {
  ControllerMap mascon;
  LineFile line;  // with its derived distances
  Settings settings;
  TrainFile train;  // brake validated: a four-position brake has 4 positions
};

// Reads the four files named (train and line file names as the title screen gives them) from the
// context's data folder; the section label is shared by the line and the train file readers.
DriveFiles readDriveFiles(std::string_view trainFileName, std::string_view lineFileName,
                          LoadContext& ctx);

}  // namespace dravolin::data
