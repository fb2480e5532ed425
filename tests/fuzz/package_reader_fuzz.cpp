// Feeds arbitrary bytes to the line package reader as a package file (a ZIP archive with
// manifest.json). A package it accepts must hold only names that stay inside, each once in any
// letter case, and must unpack (checked against its manifest) into a folder without writing
// anything outside it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "library/entry_name.h"
#include "library/package_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dravolin::library;
  namespace fs = std::filesystem;
  PackageLimits limits;
  limits.maxTotalBytes = std::uint64_t{64} << 20;  // keeps each run quick
  try {
    PackageReader reader(data, size, "fuzz.dravolin", limits);
    std::set<std::string> folded;
    for (const ManifestFile& f : reader.manifest().files) {
      if (entryNameFault(f.path) || !folded.insert(foldedEntryName(f.path)).second) std::abort();
    }
    reader.unpack({});  // read and checked, nothing written
    static const fs::path base =
        fs::temp_directory_path() / ("dravolin_package_fuzz_" + std::to_string(::getpid()));
    fs::remove_all(base);
    fs::create_directories(base / "lines" / "x");
    reader.unpack(base / "lines" / "x");
    // Everything it wrote is inside the folder it was given.
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(base)) {
      const std::string p = e.path().lexically_relative(base).generic_string();
      if (p == "lines" || p == "lines/x") continue;
      if (p.rfind("lines/x/", 0) != 0 || e.is_symlink()) std::abort();
    }
    fs::remove_all(base);
  } catch (const PackageError&) {
    // refused: fine
  }
  return 0;
}
