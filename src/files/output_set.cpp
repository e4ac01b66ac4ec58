#include "files/output_set.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>

#include "base/error.h"

namespace tavrik {

namespace {

// ---- Temporary files known to the signal handler ------------------------------------------
//
// The handler may only use async-signal-safe calls, so the names live in fixed slots that it
// can walk without locks: a slot is free (0), being filled (1) or holds a live name (2).

constexpr int kSlots = 128;
struct Slot {
  std::atomic<int> state{0};
  char path[PATH_MAX];
};
Slot slots[kSlots];

std::atomic<int> committing{0};      // sets renaming their files right now
std::atomic<int> pendingSignal{0};   // a signal that arrived meanwhile
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

void removeTemporaries() {
  for (Slot& slot : slots)
    if (slot.state.load() == 2) ::unlink(slot.path);
}

// Removes the temporary files, then dies of the signal as if no handler had been installed.
void dieOf(int signal) {
  removeTemporaries();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

extern "C" void onSignal(int signal) {
  const int savedErrno = errno;
  if (committing.load() > 0) {
    pendingSignal.store(signal);  // acted on once the renames are over
  } else {
    dieOf(signal);
  }
  errno = savedErrno;
}

// Installs the handler for the signals whose action is still the default one (an ignored signal
// stays ignored; a handler of the program's own is left alone).
void installHandlerOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const int signal : kCleanupSignals) {
      struct sigaction current {};
      if (::sigaction(signal, nullptr, &current) != 0) continue;
      if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_handler = onSignal;
      sigemptyset(&action.sa_mask);
      for (const int other : kCleanupSignals) sigaddset(&action.sa_mask, other);
      ::sigaction(signal, &action, nullptr);
    }
  });
}

// Returns the slot now naming `path`, or -1 when no slot is free or the name does not fit (the
// file is then still removed on every other path, only not on a signal).
int rememberTemporary(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  installHandlerOnce();
  for (int k = 0; k < kSlots; ++k) {
    int expected = 0;
    if (!slots[k].state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(slots[k].path, path.c_str(), path.size() + 1);
    slots[k].state.store(2);
    return k;
  }
  return -1;
}

void forgetTemporary(int slot) {
  if (slot >= 0) slots[slot].state.store(0);
}

// Holds SIGINT, SIGTERM and SIGHUP back while it lives; one that arrived meanwhile is then
// acted on.
class SignalsHeld {
 public:
  SignalsHeld() { ++committing; }
  ~SignalsHeld() {
    if (--committing == 0)
      if (const int signal = pendingSignal.exchange(0)) dieOf(signal);
  }
};

// ---- Temporary files on disk --------------------------------------------------------------

std::string folderOf(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

// A name in `folder` that is unlikely to exist: the final name, hidden, with a random suffix
// (a shorter one when the final name leaves no room under the system's name limit).
std::string temporaryName(const std::string& folder, const std::string& finalName) {
  static std::mutex mutex;
  static std::mt19937_64 random{std::random_device{}() ^ static_cast<std::uint64_t>(::getpid())};
  std::uint64_t value;
  {
    std::lock_guard<std::mutex> lock(mutex);
    value = random();
  }
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                static_cast<unsigned long long>(value & 0xFFFFFFFFFFFFull));
  const std::string base =
      finalName.size() + std::strlen(suffix) + 1 <= NAME_MAX ? "." + finalName : ".tavrik";
  return (folder.empty() ? std::string() : folder + "/") + base + suffix;
}

class DiskFile final : public OutputFile {
 public:
  DiskFile(std::string path, std::string temporary, int fd)
      : path_(std::move(path)), temporary_(std::move(temporary)), fd_(fd),
        slot_(rememberTemporary(temporary_)) {}

  ~DiskFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!installed_) ::unlink(temporary_.c_str());
    forgetTemporary(slot_);
  }

  bool write(const void* data, std::size_t size) override {
    const char* p = static_cast<const char*>(data);
    while (size > 0 && fd_ >= 0) {
      const ssize_t n = ::write(fd_, p, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      p += n;
      size -= static_cast<std::size_t>(n);
    }
    return fd_ >= 0;
  }

  bool finish() override {
    if (fd_ < 0) return false;
    const bool synced = ::fsync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    finished_ = synced && closed;
    return finished_;
  }

  bool install() override {
    if (!finished_ || ::rename(temporary_.c_str(), path_.c_str()) != 0) return false;
    installed_ = true;
    forgetTemporary(slot_);
    slot_ = -1;
    return true;
  }

 private:
  std::string path_;
  std::string temporary_;
  int fd_;
  int slot_;
  bool finished_ = false;
  bool installed_ = false;
};

OutputFileFactory& currentFactory() {
  static OutputFileFactory factory;
  return factory;
}

std::unique_ptr<OutputFile> openOutputFile(const std::string& path) {
  const OutputFileFactory& factory = currentFactory();
  return factory ? factory(path) : openDiskFile(path);
}

// Syncs a folder so that the renames in it last; false on an input/output error.
bool syncFolder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;  // nothing to sync through
  // Some file systems cannot sync a folder at all (EINVAL); that loses nothing.
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
  ::close(fd);
  return ok;
}

}  // namespace

std::unique_ptr<OutputFile> openDiskFile(const std::string& path) {
  // The final name is looked at, never opened (a named pipe there would block). Only a regular
  // file that this process may write, or a symbolic link (replaced, not followed), may be
  // replaced: a folder, a pipe, a device or a socket under that name is left alone.
  struct stat existing {};
  if (::lstat(path.c_str(), &existing) == 0) {
    if (S_ISREG(existing.st_mode)) {
      if (::access(path.c_str(), W_OK) != 0) return nullptr;
    } else if (!S_ISLNK(existing.st_mode)) {
      return nullptr;
    }
  }
  const std::string folder = folderOf(path);
  const std::string name = std::filesystem::path(path).filename().string();
  if (name.empty()) return nullptr;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temporary = temporaryName(folder, name);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return std::make_unique<DiskFile>(path, std::move(temporary), fd);
    if (errno != EEXIST && errno != EINTR) return nullptr;  // the folder refuses it
  }
  return nullptr;
}

ScopedOutputFileFactory::ScopedOutputFileFactory(OutputFileFactory factory)
    : previous_(std::move(currentFactory())) {
  currentFactory() = std::move(factory);
}

ScopedOutputFileFactory::~ScopedOutputFileFactory() { currentFactory() = std::move(previous_); }

StagedFile::StagedFile(std::string path, std::unique_ptr<OutputFile> file)
    : path_(std::move(path)), file_(std::move(file)) {
  buffer_.reserve(kChunk);
}

void StagedFile::write(const void* data, std::size_t size) {
  if (buffer_.size() + size >= kChunk) {
    flush();
    // Only data of a chunk or more goes straight to the file; less joins the buffer.
    if (size >= kChunk) {
      if (!file_->write(data, size)) fail();
      return;
    }
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  buffer_.insert(buffer_.end(), bytes, bytes + size);
}

void StagedFile::flush() {
  if (!buffer_.empty() && !file_->write(buffer_.data(), buffer_.size())) fail();
  buffer_.clear();
}

void StagedFile::fail() const { throw Error(format(kFileWriteError, path_.c_str())); }

OutputSet::OutputSet() = default;
OutputSet::~OutputSet() = default;

StagedFile& OutputSet::add(const std::string& path) {
  std::unique_ptr<OutputFile> file = openOutputFile(path);
  if (!file) throw Error(format(kCannotCreateFile, path.c_str()));
  files_.push_back(std::make_unique<StagedFile>(path, std::move(file)));
  return *files_.back();
}

void OutputSet::commit() {
  for (const auto& file : files_) {
    file->flush();
    if (!file->file_->finish()) file->fail();
  }
  std::vector<std::string> folders;
  {
    const SignalsHeld held;
    for (const auto& file : files_) {
      if (!file->file_->install()) file->fail();
      committed_.push_back(file->path());
      const std::string folder = folderOf(file->path());
      if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
  }
  files_.clear();
  for (const std::string& folder : folders)
    if (!syncFolder(folder)) {
      // The renames happened but may not last: report the set's last file in that folder.
      for (auto it = committed_.rbegin(); it != committed_.rend(); ++it)
        if (folderOf(*it) == folder) throw Error(format(kFileWriteError, it->c_str()));
    }
}

void writeOutputFile(const std::string& path, const std::function<void(StagedFile&)>& body) {
  OutputSet set;
  body(set.add(path));
  set.commit();
}

}  // namespace tavrik
