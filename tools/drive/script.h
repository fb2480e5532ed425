// The script of a headless drive; its reader is the drive's own (drive/script.h), shared with the
// driving window's replay.
#pragma once

#include "drive/script.h"

namespace dravolin::tools {

using drive::formatScriptEvent;
using drive::parseScript;
using drive::ScriptEvent;
using drive::ScriptEventKind;

}  // namespace dravolin::tools
