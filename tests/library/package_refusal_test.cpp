// Hostile and broken packages are refused before anything is placed, with a message that names
// the package, the entry and the reason, and leave nothing inside or outside the library.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>

#include "library/line_library.h"
#include "library/package_crafting.h"
#include "library/package_reader.h"
#include "platform/message_ids.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;
using library::PackageError;

class Packages : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_ = fs::temp_directory_path() /
               ("dravolin_packages_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(sandbox_);
    fs::create_directories(sandbox_ / "home" / "data");
    root_ = sandbox_ / "home" / "data" / "dravolin" / "lines";
  }
  void TearDown() override { fs::remove_all(sandbox_); }

  fs::path package(const CraftedPackage& p, const std::string& name = "p.dravolin") {
    const fs::path file = sandbox_ / "in" / name;
    fs::create_directories(file.parent_path());
    EXPECT_TRUE(writePackage(file, p));
    return file;
  }

  static CraftedEntry file(std::string name, std::string bytes = "data") {
    CraftedEntry e;
    e.name = std::move(name);
    e.bytes = std::move(bytes);
    return e;
  }

  fs::path sandbox_;
  fs::path root_;
};

msg::Message entryRefused(const std::string& entry, msg::Message reason) {
  return msg::packageEntryRefused("p.dravolin", entry, std::move(reason));
}
msg::Message refused(msg::Message reason) {
  return msg::packageRefused("p.dravolin", std::move(reason));
}

// The ratio the archive gives the entry `name` (unpacked size over packed size, rounded down).
long long ratioOf(const fs::path& file, const std::string& name) {
  int code = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_RDONLY, &code);
  zip_stat_t st;
  zip_stat_init(&st);
  zip_stat(z, name.c_str(), 0, &st);
  zip_discard(z);
  return static_cast<long long>(st.size / st.comp_size);
}

TEST_F(Packages, EveryRefusalNamesThePackageTheEntryAndTheReasonAndLeavesNothing) {
  struct Case {
    const char* what;
    std::function<CraftedPackage()> make;
    std::function<msg::Message(const fs::path& file)> expected;
  };
  const auto one = [](CraftedEntry e) {
    CraftedPackage p;
    p.entries.push_back(file("dravolin.dat"));
    p.entries.push_back(std::move(e));
    return p;
  };
  const std::vector<Case> cases = {
      {"path traversal", [&] { return one(file("../escaped.txt")); },
       [](const fs::path&) { return entryRefused("../escaped.txt", msg::entryParentFolder()); }},
      {"traversal inside a path", [&] { return one(file("image/../../escaped.txt")); },
       [](const fs::path&) {
         return entryRefused("image/../../escaped.txt", msg::entryParentFolder());
       }},
      {"backslash traversal", [&] { return one(file("..\\escaped.txt")); },
       [](const fs::path&) { return entryRefused("..\\escaped.txt", msg::entryParentFolder()); }},
      {"backslash traversal inside", [&] { return one(file("image\\..\\..\\x.bmp")); },
       [](const fs::path&) {
         return entryRefused("image\\..\\..\\x.bmp", msg::entryParentFolder());
       }},
      {"absolute path", [&] { return one(file("/tmp/escaped.txt")); },
       [](const fs::path&) { return entryRefused("/tmp/escaped.txt", msg::entryAbsolutePath()); }},
      {"absolute with a backslash", [&] { return one(file("\\tmp\\escaped.txt")); },
       [](const fs::path&) {
         return entryRefused("\\tmp\\escaped.txt", msg::entryAbsolutePath());
       }},
      {"drive letter", [&] { return one(file("C:/Windows/escaped.txt")); },
       [](const fs::path&) {
         return entryRefused("C:/Windows/escaped.txt", msg::entryDriveLetter());
       }},
      {"drive letter without a separator", [&] { return one(file("c:escaped.txt")); },
       [](const fs::path&) { return entryRefused("c:escaped.txt", msg::entryDriveLetter()); }},
      {"a colon inside", [&] { return one(file("sound/a:stream.wav")); },
       [](const fs::path&) { return entryRefused("sound/a:stream.wav", msg::entryBadName()); }},
      {"an empty part", [&] { return one(file("sound//a.wav")); },
       [](const fs::path&) { return entryRefused("sound//a.wav", msg::entryBadName()); }},
      {"not UTF-8",
       [&] {
         CraftedEntry e = file("\x83\x5c.wav");
         e.listed = false;  // a manifest cannot name it
         return one(e);
       },
       [](const fs::path&) { return entryRefused("\x83\x5c.wav", msg::entryBadName()); }},
      {"symbolic link",
       [&] {
         CraftedEntry e = file("image/title/title.jpg", "/etc/passwd");
         e.mode = 0120777;
         return one(e);
       },
       [](const fs::path&) { return entryRefused("image/title/title.jpg", msg::entrySymlink()); }},
      {"device",
       [&] {
         CraftedEntry e = file("sound/dev", "");
         e.mode = 0020644;
         return one(e);
       },
       [](const fs::path&) { return entryRefused("sound/dev", msg::entryDevice()); }},
      {"FIFO",
       [&] {
         CraftedEntry e = file("fifo", "");
         e.mode = 0010644;
         return one(e);
       },
       [](const fs::path&) { return entryRefused("fifo", msg::entryDevice()); }},
      {"duplicate name in another case",
       [&] {
         CraftedPackage p = one(file("Image/Panel.bmp", "one"));
         p.entries.push_back(file("image/panel.BMP", "two"));
         return p;
       },
       [](const fs::path&) {
         return entryRefused("image/panel.BMP", msg::entryDuplicate("Image/Panel.bmp"));
       }},
      {"duplicate name in another case beyond ASCII",
       [&] {
         CraftedPackage p = one(file("sound/Ärger.wav", "one"));
         p.entries.push_back(file("sound/ärger.wav", "two"));
         return p;
       },
       [](const fs::path&) {
         return entryRefused("sound/ärger.wav", msg::entryDuplicate("sound/Ärger.wav"));
       }},
      {"a file where a folder is",
       [&] {
         CraftedPackage p = one(file("sound", "a file"));
         p.entries.push_back(file("SOUND/a.wav", "in the folder"));
         return p;
       },
       [](const fs::path&) { return entryRefused("SOUND/a.wav", msg::entryFolderClash("sound")); }},
      {"bomb",
       [&] {
         CraftedEntry e = file("sound/silence.wav", std::string(std::size_t{9} << 20, '\0'));
         return one(e);
       },
       [](const fs::path& f) {
         return entryRefused("sound/silence.wav",
                             msg::entryRatio(ratioOf(f, "sound/silence.wav"), 200));
       }},
      {"checksum",
       [&] {
         CraftedEntry e = file("E231_line2.dat", "the line");
         e.listedSha256 = sha256Of("another line");
         return one(e);
       },
       [](const fs::path&) { return entryRefused("E231_line2.dat", msg::entryChecksum()); }},
      {"checksum of a stored entry (read from the mapped package)",
       [&] {
         CraftedEntry e = file("move/line.avi", std::string(70000, 'v'));
         e.deflate = false;
         e.listedSha256 = sha256Of(std::string(70000, 'w'));
         return one(e);
       },
       [](const fs::path&) { return entryRefused("move/line.avi", msg::entryChecksum()); }},
      {"size in the manifest",
       [&] {
         CraftedEntry e = file("E231_line2.dat", "the line");
         e.listedSize = 7;
         return one(e);
       },
       [](const fs::path&) {
         return entryRefused("E231_line2.dat", msg::entrySizeMismatch(8, 7));
       }},
      {"a file the manifest does not list",
       [&] {
         CraftedEntry e = file("extra.exe", "MZ");
         e.listed = false;
         return one(e);
       },
       [](const fs::path&) { return entryRefused("extra.exe", msg::entryNotListed()); }},
      {"a file the manifest lists but the package lacks",
       [&] {
         CraftedPackage p = one(file("gone.wav"));
         p.manifestText = manifestOf(p);
         p.entries.pop_back();
         return p;
       },
       [](const fs::path&) { return entryRefused("gone.wav", msg::entryMissing()); }},
      {"missing manifest",
       [&] {
         CraftedPackage p = one(file("a.dat"));
         p.withManifest = false;
         return p;
       },
       [](const fs::path&) { return refused(msg::manifestMissing()); }},
      {"oversized manifest",
       [&] {
         CraftedPackage p = one(file("a.dat"));
         std::string text = manifestOf(p);
         text.insert(text.size() - 2, (std::size_t{1} << 20) - text.size() + 1, ' ');
         p.manifestText = text;
         return p;
       },
       [](const fs::path&) { return refused(msg::manifestTooLarge((1 << 20) + 1, 1 << 20)); }},
      {"manifest that is no JSON",
       [&] {
         CraftedPackage p = one(file("a.dat"));
         p.manifestText = "{\"format\": 1, \"id\": ";
         return p;
       },
       [](const fs::path&) {
         return refused(msg::manifestInvalid(
             "[json.exception.parse_error.101] parse error at line 1, column 21: syntax error "
             "while parsing value - unexpected end of input; expected '[', '{', or a literal"));
       }},
      {"unknown format version",
       [&] {
         CraftedPackage p = one(file("a.dat"));
         p.format = 2;
         return p;
       },
       [](const fs::path&) { return refused(msg::manifestFormat(2, 1)); }},
      {"an id that would leave the library",
       [&] {
         CraftedPackage p = one(file("a.dat"));
         p.id = "../../escaped";
         return p;
       },
       [](const fs::path&) { return refused(msg::manifestField("id")); }},
      {"truncated archive", [&] { return one(file("E231_line2.dat", std::string(4000, 'x'))); },
       [](const fs::path&) { return refused(msg::packageNotZip("Not a zip archive")); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(sandbox_ / "in");
    const fs::path file = package(c.make());
    if (std::string(c.what) == "truncated archive") {
      fs::resize_file(file, fs::file_size(file) / 2);
    }
    const auto before = treeOf(sandbox_);
    library::LineLibrary library(root_);
    try {
      library.install(file, nullptr);
      ADD_FAILURE() << "installed";
    } catch (const PackageError& e) {
      EXPECT_EQ(e.text(), c.expected(file).text());
      EXPECT_EQ(e.message(), c.expected(file));
    }
    EXPECT_EQ(treeOf(sandbox_), before);
    EXPECT_FALSE(fs::exists(sandbox_ / "home" / "data" / "dravolin"));
  }
}

// The bounds hold up to their limit and refuse one past it.
TEST_F(Packages, LimitsAreInclusive) {
  CraftedPackage p;
  p.entries.push_back(file("a.dat", std::string(1000, 'a')));
  p.entries.push_back(file("b.dat", std::string(5000, 'b')));
  // Stored: unpacked exactly as large as packed, a ratio of 1 on the dot.
  p.entries.push_back(file("c.avi", std::string(6000, 'c')));
  p.entries.back().deflate = false;
  const fs::path f = package(p);
  const long long ratio = ratioOf(f, "b.dat");
  zip_t* z = nullptr;
  int code = 0;
  z = zip_open(f.c_str(), ZIP_RDONLY, &code);
  zip_stat_t st;
  zip_stat(z, "b.dat", 0, &st);
  zip_stat_t ms;
  zip_stat(z, "manifest.json", 0, &ms);
  zip_discard(z);
  const std::uint64_t ceilRatio = (st.size + st.comp_size - 1) / st.comp_size;
  ASSERT_GT(ratio, 2);
  struct Case {
    const char* what;
    library::PackageLimits limits;
    bool accepted;
  };
  library::PackageLimits base;
  base.ratioFloorBytes = 5000;
  base.maxRatio = 1000000;
  base.maxTotalBytes = 1000000;
  const auto with = [&](auto change) {
    library::PackageLimits l = base;
    change(l);
    return l;
  };
  const std::vector<Case> cases = {
      {"ratio at the limit", with([&](auto& l) { l.maxRatio = ceilRatio; }), true},
      {"ratio past the limit", with([&](auto& l) { l.maxRatio = ceilRatio - 1; }), false},
      {"below the floor, or stored at a ratio limit of 1", with([&](auto& l) {
         l.maxRatio = 1;
         l.ratioFloorBytes = 5001;
       }),
       true},
      {"entry at its limit", with([](auto& l) { l.maxEntryBytes = 6000; }), true},
      {"entry past its limit", with([](auto& l) { l.maxEntryBytes = 5999; }), false},
      {"total at its limit", with([&](auto& l) { l.maxTotalBytes = 12000 + ms.size; }), true},
      {"total past its limit", with([&](auto& l) { l.maxTotalBytes = 11999 + ms.size; }), false},
      {"manifest at its limit", with([&](auto& l) { l.maxManifestBytes = ms.size; }), true},
      {"manifest past its limit", with([&](auto& l) { l.maxManifestBytes = ms.size - 1; }), false},
      {"entries at their limit", with([](auto& l) { l.maxEntries = 4; }), true},
      {"entries past their limit", with([](auto& l) { l.maxEntries = 3; }), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool accepted = true;
    try {
      library::PackageReader reader(f, c.limits);
      reader.unpack({});
    } catch (const PackageError& e) {
      accepted = false;
    }
    EXPECT_EQ(accepted, c.accepted);
  }
}

// A cancelled install, and one killed half way (its temporary folder left), leave nothing once
// the next install has run.
TEST_F(Packages, CancelledAndInterruptedInstallsLeaveNothing) {
  CraftedPackage p;
  p.entries.push_back(file("dravolin.dat"));
  p.entries.push_back(file("video.avi", std::string(3 << 20, 'v')));
  p.entries.back().deflate = false;
  const fs::path f = package(p);
  library::LineLibrary library(root_);
  std::atomic<bool> cancel{false};
  library::Progress progress;
  progress.cancel = &cancel;
  progress.report = [&](const msg::Message&, std::uint64_t done, std::uint64_t) {
    if (done > 0) cancel = true;
  };
  try {
    library.install(f, nullptr, progress);
    ADD_FAILURE() << "installed";
  } catch (const PackageError& e) {
    EXPECT_EQ(e.message(), refused(msg::installCancelled()));
  }
  EXPECT_FALSE(fs::exists(sandbox_ / "home" / "data" / "dravolin"));

  fs::create_directories(root_ / ".partial-crafted-1-0" / "image");
  std::ofstream(root_ / ".partial-crafted-1-0" / "dravolin.dat") << "half";
  const library::InstallOutcome outcome = library.install(f, nullptr);
  EXPECT_EQ(outcome.result, library::InstallResult::Installed);
  const auto tree = treeOf(root_);
  EXPECT_EQ(tree, (std::map<std::string, std::string>{
                      {"crafted", ""},
                      {"crafted/dravolin.dat", "4"},
                      {"crafted/manifest.json", tree.at("crafted/manifest.json")},
                      {"crafted/video.avi", "3145728"}}));
}

// The same id again: the same version is already there, a newer one replaces it, an older one
// only when the user says so.
TEST_F(Packages, TheSameIdAgainByVersion) {
  library::LineLibrary library(root_);
  const auto make = [&](const std::string& version, const std::string& content) {
    CraftedPackage p;
    p.version = version;
    p.entries.push_back(file("dravolin.dat", content));
    return package(p, "v" + version + ".dravolin");
  };
  const auto content = [&] {
    std::ifstream in(root_ / "crafted" / "dravolin.dat");
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  int asked = 0;
  const auto decline = [&](const library::Manifest& installed, const library::Manifest& offered) {
    ++asked;
    EXPECT_EQ(installed.version, "1.10");
    EXPECT_EQ(offered.version, "1.9");
    return false;
  };
  EXPECT_EQ(library.install(make("1.2", "a"), nullptr).result, library::InstallResult::Installed);
  EXPECT_EQ(library.install(make("1.2.0", "b"), decline).result,
            library::InstallResult::AlreadyInstalled);
  EXPECT_EQ(content(), "a");
  const library::InstallOutcome updated = library.install(make("1.10", "c"), decline);
  EXPECT_EQ(updated.result, library::InstallResult::Updated);
  EXPECT_EQ(updated.previousVersion, "1.2");
  EXPECT_EQ(content(), "c");
  EXPECT_EQ(library.install(make("1.9", "d"), decline).result, library::InstallResult::Declined);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(content(), "c");
  EXPECT_EQ(library.install(make("1.9", "d"), [](auto&, auto&) { return true; }).result,
            library::InstallResult::Updated);
  EXPECT_EQ(content(), "d");
  EXPECT_EQ(library.lines().size(), 1u);

  // verify names what changed and what is missing; remove takes the line away.
  std::ofstream(root_ / "crafted" / "dravolin.dat") << "e";
  std::ofstream(root_ / "crafted" / "added.txt") << "x";
  library::VerifyReport report = library.verify("crafted");
  EXPECT_EQ(report.changed, std::vector<std::string>{"dravolin.dat"});
  EXPECT_EQ(report.extra, std::vector<std::string>{"added.txt"});
  fs::remove(root_ / "crafted" / "dravolin.dat");
  report = library.verify("crafted");
  EXPECT_EQ(report.missing, std::vector<std::string>{"dravolin.dat"});
  library.remove("crafted");
  EXPECT_TRUE(library.lines().empty());
  EXPECT_TRUE(fs::is_empty(root_));
  try {
    library.remove("crafted");
    ADD_FAILURE();
  } catch (const PackageError& e) {
    EXPECT_EQ(e.message(), msg::lineNotInstalled("crafted"));
  }
}

TEST(PackageVersions, CompareNumberByNumber) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  };
  for (const Case& c : std::vector<Case>{{"1", "1.0", 0},
                                         {"1.2", "1.10", -1},
                                         {"2", "1.99.99", 1},
                                         {"1.0.1", "1", 1},
                                         {"0.9", "1", -1}}) {
    EXPECT_EQ(library::compareVersions(c.a, c.b), c.order) << c.a << " " << c.b;
    EXPECT_EQ(library::compareVersions(c.b, c.a), -c.order) << c.b << " " << c.a;
  }
  for (const char* good : {"1", "0.1", "10.20.30", "123456789"})
    EXPECT_TRUE(library::validVersion(good)) << good;
  for (const char* bad : {"", ".1", "1.", "1..2", "1a", "v1", "1234567890", "-1"})
    EXPECT_FALSE(library::validVersion(bad)) << bad;
  for (const std::string& good :
       {std::string("a"), std::string("0"), std::string("sakura-line_2.1"), std::string(64, 'x')})
    EXPECT_TRUE(library::validId(good)) << good;
  for (const std::string& bad :
       {std::string(), std::string("-a"), std::string(".a"), std::string("A"), std::string("a/b"),
        std::string(".."), std::string("a b"), std::string(65, 'x')})
    EXPECT_FALSE(library::validId(bad)) << bad;
}

}  // namespace
}  // namespace dravolin::testing
