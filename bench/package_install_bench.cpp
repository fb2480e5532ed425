// Installing a line package: the package is read once and every file hashed as it is unpacked,
// so an install should cost little more than copying the same bytes. The goal: installing a
// 1 GB package takes at most 1.5 x a `cp` of the package file (both from the page cache into the
// same file system, neither synchronised to the disk).
//
// The package is generated in a temporary folder: a line video of SIZE MiB (stored, as a video
// is) and the small files of a line. The argument is SIZE in MiB: 16 by default, so the short
// run of scripts/test stays small; the 1 GB figure of the README is
//   DRAVOLIN_BENCH_PACKAGE_MIB=1024 build/rel/bin/package_install_bench --benchmark_repetitions=3
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "library/line_library.h"
#include "library/manifest.h"
#include "library/sha256.h"

namespace {

namespace fs = std::filesystem;
using namespace dravolin;

fs::path workFolder() {
  static const fs::path dir = [] {
    const fs::path d =
        fs::temp_directory_path() / ("dravolin_package_bench_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    std::atexit([] {
      fs::remove_all(fs::temp_directory_path() /
                     ("dravolin_package_bench_" + std::to_string(::getpid())));
    });
    return d;
  }();
  return dir;
}

// A package of a video of `mib` MiB of random bytes (which no compression shrinks) and 200
// small files, made once per size.
fs::path packageOf(int mib) {
  const fs::path file = workFolder() / ("line" + std::to_string(mib) + ".dravolin");
  if (fs::exists(file)) return file;
  const fs::path source = workFolder() / ("source" + std::to_string(mib));
  fs::create_directories(source / "move");
  library::Manifest m;
  m.id = "bench";
  m.name = "bench";
  std::mt19937_64 random(42);
  {
    std::ofstream video(source / "move" / "line.avi", std::ios::binary);
    std::vector<std::uint64_t> block(1 << 17);
    library::Sha256 h;
    for (int i = 0; i < mib; ++i) {
      for (auto& v : block) v = random();
      video.write(reinterpret_cast<const char*>(block.data()), 1 << 20);
      h.add(block.data(), 1 << 20);
    }
    m.files.push_back({"move/line.avi", static_cast<std::uint64_t>(mib) << 20, h.hex()});
  }
  for (int i = 0; i < 200; ++i) {
    const std::string name = "image/p" + std::to_string(i) + ".bmp";
    fs::create_directories(source / "image");
    const std::string bytes(4000 + i, static_cast<char>('a' + i % 26));
    std::ofstream(source / name, std::ios::binary) << bytes;
    library::Sha256 h;
    h.add(bytes.data(), bytes.size());
    m.files.push_back({name, bytes.size(), h.hex()});
  }
  const std::string manifest = library::manifestJson(m);
  int code = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  zip_file_add(z, "manifest.json", zip_source_buffer(z, manifest.data(), manifest.size(), 0), 0);
  for (const library::ManifestFile& f : m.files) {
    const zip_int64_t i =
        zip_file_add(z, f.path.c_str(), zip_source_file(z, (source / f.path).c_str(), 0, -1), 0);
    zip_set_file_compression(z, static_cast<zip_uint64_t>(i),
                             f.path.ends_with(".avi") ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
  }
  zip_close(z);
  fs::remove_all(source);
  // Each timed run starts with nothing waiting to be written back: the package's own writing
  // would otherwise slow down whichever run came first.
  ::sync();
  return file;
}

void BM_InstallPackage(benchmark::State& state) {
  const fs::path package = packageOf(static_cast<int>(state.range(0)));
  const fs::path root = workFolder() / "lines";
  library::LineLibrary library(root);
  for (auto _ : state) {
    library.install(package, nullptr);
    state.PauseTiming();
    fs::remove_all(root);
    ::sync();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(fs::file_size(package)));
}

// The same bytes copied by cp, as a user copies the package into a folder.
void BM_CopyPackageWithCp(benchmark::State& state) {
  const fs::path package = packageOf(static_cast<int>(state.range(0)));
  const fs::path copy = workFolder() / "copy.dravolin";
  const std::string command = "cp '" + package.string() + "' '" + copy.string() + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
    state.PauseTiming();
    fs::remove(copy);
    ::sync();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(fs::file_size(package)));
}

}  // namespace

int main(int argc, char** argv) {
  const char* env = std::getenv("DRAVOLIN_BENCH_PACKAGE_MIB");
  const int mib = env != nullptr && std::atoi(env) > 0 ? std::atoi(env) : 16;
  benchmark::RegisterBenchmark("BM_InstallPackage", BM_InstallPackage)
      ->Arg(mib)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("BM_CopyPackageWithCp", BM_CopyPackageWithCp)
      ->Arg(mib)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
