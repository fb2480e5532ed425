#include "library/package_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "library/entry_name.h"
#include "library/sha256.h"
#include "platform/message_ids.h"

namespace dravolin::library {

namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
constexpr std::uint32_t kTypeMask = 0170000;
constexpr std::uint32_t kRegular = 0100000;
constexpr std::uint32_t kFolder = 0040000;
constexpr std::uint32_t kSymlink = 0120000;

std::string zipErrorText(zip_error_t* error) {
  const char* text = zip_error_strerror(error);
  return text != nullptr ? text : "unknown error";
}

std::string zipErrorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zipErrorText(&error);
  zip_error_fini(&error);
  return text;
}

struct ZipFile {
  explicit ZipFile(zip_file_t* f) : file(f) {}
  ~ZipFile() {
    if (file != nullptr) zip_fclose(file);
  }
  ZipFile(const ZipFile&) = delete;
  ZipFile& operator=(const ZipFile&) = delete;
  // Closes the file; libzip checks the entry's CRC here. Zero when it is well.
  int close() {
    const int rc = zip_fclose(file);
    file = nullptr;
    return rc;
  }
  zip_file_t* file;
};

// Hashes blocks on a thread of its own while the next block is read and written: the package
// is read once, and the digest costs no time beside the copy on a machine with a core to spare.
class HashThread {
 public:
  HashThread() : thread_([this] { run(); }) {}
  ~HashThread() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  HashThread(const HashThread&) = delete;
  HashThread& operator=(const HashThread&) = delete;

  // Queues a block, which must stay as it is until done() has passed its number; returns it.
  std::uint64_t add(const char* data, std::size_t size) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back({data, size});
      ++queued_;
    }
    wake_.notify_all();
    return queued_;
  }
  // Waits until the block `number` (1 for the first) has been hashed.
  void waitFor(std::uint64_t number) {
    std::unique_lock<std::mutex> lock(mutex_);
    doneWake_.wait(lock, [&] { return done_ >= number; });
  }
  // The digest of every block queued since the last one.
  std::string hex() {
    waitFor(queued_);
    return hash_.hex();
  }

 private:
  struct Job {
    const char* data;
    std::size_t size;
  };
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      const Job job = jobs_.front();
      jobs_.pop_front();
      lock.unlock();
      hash_.add(job.data, job.size);
      lock.lock();
      ++done_;
      doneWake_.notify_all();
    }
  }

  Sha256 hash_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable doneWake_;
  std::deque<Job> jobs_;
  std::uint64_t queued_ = 0;  // written by the reading thread only
  std::uint64_t done_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

struct OutputFile {
  ~OutputFile() {
    if (fd >= 0) ::close(fd);
  }
  int fd = -1;
};

}  // namespace

// The package file mapped into memory, where the data of each stored entry begins: a stored
// entry (the line video) is hashed and written straight from the mapping, so its bytes are read
// once and copied once, by the write. Everything else goes through libzip.
struct PackageMapping {
  ~PackageMapping() {
    if (bytes != nullptr) ::munmap(const_cast<unsigned char*>(bytes), size);
  }
  const unsigned char* bytes = nullptr;
  std::uint64_t size = 0;
  // By the archive's index (the central directory's order): where its data begins, or none.
  std::vector<std::optional<std::uint64_t>> dataOffset;

  // Maps `path` and finds the entries' data from the central directory and the local headers;
  // anything it cannot follow leaves those entries to libzip.
  void open(const std::filesystem::path& path, zip_t* zip);

 private:
  bool has(std::uint64_t at, std::uint64_t n) const { return at <= size && n <= size - at; }
  std::uint32_t u16(std::uint64_t at) const { return bytes[at] | (bytes[at + 1] << 8); }
  std::uint32_t u32(std::uint64_t at) const {
    return u16(at) | (static_cast<std::uint32_t>(u16(at + 2)) << 16);
  }
  std::uint64_t u64(std::uint64_t at) const {
    return u32(at) | (static_cast<std::uint64_t>(u32(at + 4)) << 32);
  }
};

void PackageMapping::open(const std::filesystem::path& path, zip_t* zip) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_size < 22) {
    ::close(fd);
    return;
  }
  void* m = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (m == MAP_FAILED) return;
  bytes = static_cast<const unsigned char*>(m);
  size = static_cast<std::uint64_t>(st.st_size);
  // The end of central directory record: within the last 64 KiB and 22 bytes.
  std::optional<std::uint64_t> end;
  for (std::uint64_t at = size - 22;; --at) {
    if (u32(at) == 0x06054b50) {
      end = at;
      break;
    }
    if (at == 0 || size - at > 65557) break;
  }
  if (!end) return;
  std::uint64_t count = u16(*end + 10);
  std::uint64_t directory = u32(*end + 16);
  if ((count == 0xFFFF || directory == 0xFFFFFFFF) && *end >= 20 && u32(*end - 20) == 0x07064b50) {
    const std::uint64_t record = u64(*end - 20 + 8);
    if (!has(record, 56) || u32(record) != 0x06064b50) return;
    count = u64(record + 32);
    directory = u64(record + 48);
  }
  const zip_int64_t entries = zip_get_num_entries(zip, 0);
  if (entries < 0 || count != static_cast<std::uint64_t>(entries)) return;
  dataOffset.assign(count, std::nullopt);
  std::uint64_t at = directory;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (!has(at, 46) || u32(at) != 0x02014b50) return;
    const std::uint64_t nameLength = u16(at + 28);
    const std::uint64_t extraLength = u16(at + 30);
    const std::uint64_t commentLength = u16(at + 32);
    if (!has(at + 46, nameLength + extraLength + commentLength)) return;
    std::uint64_t compressed = u32(at + 20);
    std::uint64_t uncompressed = u32(at + 24);
    std::uint64_t local = u32(at + 42);
    // ZIP64: the fields at their maximum are in the extra field 0x0001, in this order.
    for (std::uint64_t e = at + 46 + nameLength; e + 4 <= at + 46 + nameLength + extraLength;) {
      const std::uint64_t id = u16(e);
      const std::uint64_t length = u16(e + 2);
      if (e + 4 + length > at + 46 + nameLength + extraLength) break;
      if (id == 0x0001) {
        std::uint64_t field = e + 4;
        for (std::uint64_t* v : {&uncompressed, &compressed, &local}) {
          if (*v == 0xFFFFFFFF && field + 8 <= e + 4 + length) {
            *v = u64(field);
            field += 8;
          }
        }
      }
      e += 4 + length;
    }
    // The same entry as libzip's, by its name; its local header, then its data.
    const char* name = zip_get_name(zip, i, ZIP_FL_ENC_RAW);
    const bool sameName =
        name != nullptr && std::strlen(name) == nameLength &&
        std::memcmp(name, bytes + at + 46, static_cast<std::size_t>(nameLength)) == 0;
    if (sameName && compressed == uncompressed && has(local, 30) && u32(local) == 0x04034b50) {
      const std::uint64_t data = local + 30 + u16(local + 26) + u16(local + 28);
      if (has(data, compressed)) dataOffset[i] = data;
    }
    at += 46 + nameLength + extraLength + commentLength;
  }
}

struct PackageReader::Archive {
  zip_t* zip = nullptr;
  PackageMapping mapping;
  ~Archive() {
    if (zip != nullptr) zip_discard(zip);
  }
};

PackageReader::PackageReader(const std::filesystem::path& file, PackageLimits limits)
    : name_(file.filename().string()), archive_(std::make_unique<Archive>()) {
  int code = 0;
  archive_->zip = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
  if (archive_->zip == nullptr) {
    std::string why = zipErrorText(code);
    if (code == ZIP_ER_OPEN || code == ZIP_ER_READ) why += std::string(": ") + std::strerror(errno);
    refuse(msg::packageNotZip(why));
  }
  check(limits);
  archive_->mapping.open(file, archive_->zip);
}

PackageReader::PackageReader(const void* data, std::size_t size, std::string name,
                             PackageLimits limits)
    : name_(std::move(name)), archive_(std::make_unique<Archive>()) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
  if (source != nullptr) {
    archive_->zip = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (archive_->zip == nullptr) zip_source_free(source);
  }
  if (archive_->zip == nullptr) {
    const std::string why = zipErrorText(&error);
    zip_error_fini(&error);
    refuse(msg::packageNotZip(why));
  }
  zip_error_fini(&error);
  check(limits);
}

PackageReader::~PackageReader() = default;

void PackageReader::refuse(const msg::Message& reason) const {
  throw PackageError(msg::packageRefused(name_, reason));
}

void PackageReader::refuse(const std::string& entry, const msg::Message& reason) const {
  throw PackageError(msg::packageEntryRefused(name_, entry, reason));
}

void PackageReader::check(const PackageLimits& limits) {
  zip_t* zip = archive_->zip;
  const zip_int64_t count = zip_get_num_entries(zip, 0);
  if (count < 0) refuse(msg::packageNotZip("no entries"));
  if (static_cast<std::uint64_t>(count) > limits.maxEntries)
    refuse(msg::packageTooManyEntries(static_cast<long long>(limits.maxEntries)));

  struct Entry {
    std::uint64_t index;
    std::string name;  // normalised
    std::uint64_t size;
  };
  std::vector<Entry> files;
  std::map<std::string, std::string> folded;   // folded name -> the entry's name
  std::map<std::string, std::string> folders;  // folded folder -> an entry inside it
  std::optional<std::uint64_t> manifestIndex;
  std::uint64_t total = 0;

  for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip, i, ZIP_FL_ENC_RAW, &st) != 0 || (st.valid & ZIP_STAT_NAME) == 0)
      refuse(msg::packageNotZip(zipErrorText(zip_get_error(zip))));
    const std::string raw = st.name;
    if (const std::optional<msg::Message> fault = entryNameFault(raw)) refuse(raw, *fault);
    const bool folderEntry = raw.back() == '/' || raw.back() == '\\';
    const std::string name = normalisedEntryName(raw);

    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(zip, i, 0, &opsys, &attributes) == 0 &&
        (opsys == ZIP_OPSYS_UNIX || opsys == ZIP_OPSYS_OS_X)) {
      const std::uint32_t type = (attributes >> 16) & kTypeMask;
      if (type == kSymlink) refuse(name, msg::entrySymlink());
      if (type != 0 && type != kRegular && type != kFolder) refuse(name, msg::entryDevice());
      if (type == kFolder && !folderEntry) refuse(name, msg::entryDevice());
    }
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && st.encryption_method != ZIP_EM_NONE)
      refuse(name, msg::entryEncrypted());
    if ((st.valid & ZIP_STAT_COMP_METHOD) != 0 && st.comp_method != ZIP_CM_STORE &&
        st.comp_method != ZIP_CM_DEFLATE)
      refuse(name, msg::entryCompression(static_cast<long long>(st.comp_method)));
    const std::uint64_t size = st.size;
    if (folderEntry) {
      if (size != 0) refuse(name, msg::entryDevice());
    } else {
      if (size > limits.maxEntryBytes)
        refuse(name, msg::entryTooLarge(static_cast<long long>(size),
                                        static_cast<long long>(limits.maxEntryBytes)));
      if (size >= limits.ratioFloorBytes) {
        const std::uint64_t packed = st.comp_size == 0 ? 1 : st.comp_size;
        // size / packed > maxRatio, exactly; a product past 64 bits is more than any size.
        const std::uint64_t ratio = std::max<std::uint64_t>(limits.maxRatio, 1);
        const bool fits = packed <= std::numeric_limits<std::uint64_t>::max() / ratio;
        if (fits && size > ratio * packed)
          refuse(name, msg::entryRatio(static_cast<long long>(size / packed),
                                       static_cast<long long>(limits.maxRatio)));
      }
      total += size;
      if (total > limits.maxTotalBytes)
        refuse(msg::packageTooLarge(static_cast<long long>(total),
                                    static_cast<long long>(limits.maxTotalBytes)));
    }

    // One name in any letter case, and never a file where a folder is.
    const std::string key = foldedEntryName(name);
    if (const auto it = folded.find(key); it != folded.end() && !folderEntry) {
      refuse(name, msg::entryDuplicate(it->second));
    }
    if (folderEntry) {
      if (const auto it = folded.find(key); it != folded.end())
        refuse(name, msg::entryFolderClash(it->second));
      folders.emplace(key, name);
      continue;
    }
    if (const auto it = folders.find(key); it != folders.end()) {
      refuse(name, msg::entryFolderClash(it->second));
    }
    for (std::size_t slash = key.find('/'); slash != std::string::npos;
         slash = key.find('/', slash + 1)) {
      const std::string folder = key.substr(0, slash);
      if (const auto it = folded.find(folder); it != folded.end())
        refuse(name, msg::entryFolderClash(it->second));
      folders.emplace(folder, name);
    }
    folded.emplace(key, name);
    if (name == kManifestName) {
      manifestIndex = i;
    } else {
      files.push_back({i, name, size});
    }
    // A manifest entry (any case) is only the one at the root, spelt as it is.
    if (key == kManifestName && name != kManifestName) refuse(name, msg::entryNotListed());
  }

  // manifest.json, bounded, read before anything else of the package.
  if (!manifestIndex) refuse(msg::manifestMissing());
  {
    zip_stat_t st;
    zip_stat_init(&st);
    zip_stat_index(zip, *manifestIndex, 0, &st);
    if (st.size > limits.maxManifestBytes)
      refuse(msg::manifestTooLarge(static_cast<long long>(st.size),
                                   static_cast<long long>(limits.maxManifestBytes)));
    ZipFile in(zip_fopen_index(zip, *manifestIndex, 0));
    if (in.file == nullptr)
      refuse(kManifestName, msg::entryUnreadable(zipErrorText(zip_get_error(zip))));
    std::string text;
    std::vector<char> block(64 * 1024);
    for (;;) {
      const zip_int64_t n = zip_fread(in.file, block.data(), block.size());
      if (n < 0)
        refuse(kManifestName, msg::entryUnreadable(zipErrorText(zip_file_get_error(in.file))));
      if (n == 0) break;
      text.append(block.data(), static_cast<std::size_t>(n));
      if (text.size() > limits.maxManifestBytes)
        refuse(msg::manifestTooLarge(static_cast<long long>(text.size()),
                                     static_cast<long long>(limits.maxManifestBytes)));
    }
    if (in.close() != 0)
      refuse(kManifestName, msg::entryUnreadable(zipErrorText(zip_get_error(zip))));
    try {
      manifest_ = parseManifest(text);
    } catch (const PackageError& e) {
      refuse(e.message());
    }
    manifestText_ = std::move(text);
  }

  // The manifest lists every file of the archive with its size, and nothing else.
  std::map<std::string, const Entry*> byName;
  for (const Entry& e : files) byName.emplace(e.name, &e);
  std::set<std::string> listed;
  indexOfFile_.clear();
  for (const ManifestFile& f : manifest_.files) {
    if (f.path == kManifestName || !listed.insert(f.path).second)
      refuse(msg::manifestField("files.path"));
    const auto it = byName.find(f.path);
    if (it == byName.end()) refuse(f.path, msg::entryMissing());
    if (it->second->size != f.size)
      refuse(f.path, msg::entrySizeMismatch(static_cast<long long>(it->second->size),
                                            static_cast<long long>(f.size)));
    indexOfFile_.push_back(it->second->index);
  }
  for (const Entry& e : files) {
    if (listed.count(e.name) == 0) refuse(e.name, msg::entryNotListed());
  }
}

void PackageReader::unpack(const std::filesystem::path& folder, const Progress& progress) {
  zip_t* zip = archive_->zip;
  const std::uint64_t total = manifest_.totalBytes();
  const msg::Message stage = folder.empty() ? msg::progressVerifying() : msg::progressUnpacking();
  std::uint64_t done = 0;
  progress(stage, 0, total);
  // A few blocks in turn: one being read and written while the ones before are hashed.
  constexpr std::size_t kBlocks = 4;
  std::vector<std::vector<char>> blocks(kBlocks, std::vector<char>(kBlockBytes));
  std::uint64_t blockNumber = 0;
  HashThread hash;
  for (std::size_t k = 0; k < manifest_.files.size(); ++k) {
    const ManifestFile& f = manifest_.files[k];
    OutputFile out;
    if (!folder.empty()) {
      const std::filesystem::path target = folder / f.path;
      std::error_code ec;
      std::filesystem::create_directories(target.parent_path(), ec);
      if (ec) throw PackageError(msg::writeFailed(target.parent_path().string(), ec.message()));
      out.fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
      if (out.fd < 0) throw PackageError(msg::writeFailed(target.string(), std::strerror(errno)));
    }
    // A stored entry is read as it is, without libzip's CRC-32 beside the SHA-256: from the
    // mapping where it was found there, else through libzip.
    zip_stat_t st;
    zip_stat_init(&st);
    const bool stored = zip_stat_index(zip, indexOfFile_[k], 0, &st) == 0 &&
                        (st.valid & ZIP_STAT_COMP_METHOD) != 0 && st.comp_method == ZIP_CM_STORE;
    const PackageMapping& mapping = archive_->mapping;
    if (stored && indexOfFile_[k] < mapping.dataOffset.size() &&
        mapping.dataOffset[indexOfFile_[k]] && st.size == f.size) {
      const unsigned char* data = mapping.bytes + *mapping.dataOffset[indexOfFile_[k]];
      ::madvise(const_cast<void*>(static_cast<const void*>(
                    mapping.bytes + (*mapping.dataOffset[indexOfFile_[k]] & ~std::uint64_t{4095}))),
                static_cast<std::size_t>(f.size + 4096), MADV_SEQUENTIAL);
      for (std::uint64_t at = 0; at < f.size;) {
        if (progress.cancelled())
          throw PackageError(msg::packageRefused(name_, msg::installCancelled()));
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, f.size - at));
        blockNumber = hash.add(reinterpret_cast<const char*>(data + at), n);
        for (std::size_t written = 0; out.fd >= 0 && written < n;) {
          const ssize_t w = ::write(out.fd, data + at + written, n - written);
          if (w < 0 && errno == EINTR) continue;
          if (w <= 0)
            throw PackageError(msg::writeFailed((folder / f.path).string(), std::strerror(errno)));
          written += static_cast<std::size_t>(w);
        }
        at += n;
        done += n;
        progress(stage, done, total);
      }
      if (hash.hex() != f.sha256) refuse(f.path, msg::entryChecksum());
      if (out.fd >= 0) {
        const int fd = out.fd;
        out.fd = -1;
        if (::close(fd) != 0)
          throw PackageError(msg::writeFailed((folder / f.path).string(), std::strerror(errno)));
      }
      continue;
    }
    ZipFile in(zip_fopen_index(zip, indexOfFile_[k], stored ? ZIP_FL_COMPRESSED : 0));
    if (in.file == nullptr) refuse(f.path, msg::entryUnreadable(zipErrorText(zip_get_error(zip))));
    std::uint64_t size = 0;
    for (;;) {
      if (progress.cancelled())
        throw PackageError(msg::packageRefused(name_, msg::installCancelled()));
      // The block about to be filled was queued kBlocks blocks ago: it must be hashed by now.
      if (blockNumber >= kBlocks) hash.waitFor(blockNumber - kBlocks + 1);
      std::vector<char>& block = blocks[blockNumber % kBlocks];
      const zip_int64_t n = zip_fread(in.file, block.data(), block.size());
      if (n < 0) refuse(f.path, msg::entryUnreadable(zipErrorText(zip_file_get_error(in.file))));
      if (n == 0) break;
      size += static_cast<std::uint64_t>(n);
      // More than it says it holds: stopped here, whatever the archive claims.
      if (size > f.size)
        refuse(f.path, msg::entrySizeMismatch(static_cast<long long>(size),
                                              static_cast<long long>(f.size)));
      blockNumber = hash.add(block.data(), static_cast<std::size_t>(n));
      for (std::size_t written = 0; out.fd >= 0 && written < static_cast<std::size_t>(n);) {
        const ssize_t w =
            ::write(out.fd, block.data() + written, static_cast<std::size_t>(n) - written);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0)
          throw PackageError(msg::writeFailed((folder / f.path).string(), std::strerror(errno)));
        written += static_cast<std::size_t>(w);
      }
      done += static_cast<std::uint64_t>(n);
      progress(stage, done, total);
    }
    if (in.close() != 0) refuse(f.path, msg::entryUnreadable(zipErrorText(zip_get_error(zip))));
    if (size != f.size)
      refuse(f.path,
             msg::entrySizeMismatch(static_cast<long long>(size), static_cast<long long>(f.size)));
    if (hash.hex() != f.sha256) refuse(f.path, msg::entryChecksum());
    if (out.fd >= 0) {
      const int fd = out.fd;
      out.fd = -1;
      if (::close(fd) != 0)
        throw PackageError(msg::writeFailed((folder / f.path).string(), std::strerror(errno)));
    }
  }
}

}  // namespace dravolin::library
