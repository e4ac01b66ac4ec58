#include "files/output_set.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <string_view>

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

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Threads inside a Hold right now (creating a temporary file, renaming a set), and the signal
// that a handler is stopping the process for.
std::atomic<int> holding{0};
std::atomic<int> dying{0};

void removeTemporaries() {
  for (Slot& slot : slots)
    if (slot.state.load() == 2) ::unlink(slot.path);
}

// Waits until no thread holds the signals back (a temporary file just created is then named in
// its slot, a set being renamed is whole), removes the temporary files, then dies of the signal
// as if no handler had been installed. A thread that enters a Hold after `dying` is set stops
// there. The holders keep these signals blocked, so this never runs in a holder's own thread.
extern "C" void onSignal(int signal) {
  dying.store(signal);
  while (holding.load() > 0) {
    const struct timespec pause {0, 1000000};
    ::nanosleep(&pause, nullptr);
  }
  removeTemporaries();
  ::signal(signal, SIG_DFL);
  ::raise(signal);  // delivered once the handler returns (the signal is blocked until then)
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

// Makes what runs while it lives one step for SIGINT, SIGTERM and SIGHUP: they are blocked in
// this thread, and a handler running in another thread waits for the end before it removes the
// temporary files and stops the process. errno is kept.
class Hold {
 public:
  Hold() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : kCleanupSignals) sigaddset(&signals, signal);
    ::pthread_sigmask(SIG_BLOCK, &signals, &previous_);
    ++holding;
    if (dying.load() != 0) {
      // Another thread's handler is stopping the process: start nothing.
      --holding;
      for (;;) ::pause();
    }
  }
  ~Hold() {
    const int savedErrno = errno;
    --holding;
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    errno = savedErrno;
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  sigset_t previous_;
};

// ---- Temporary files on disk --------------------------------------------------------------
//
// A temporary file is named ".NAME.tavrik-PID-XXXXXXXXXXXX.tmp" beside its final name NAME (or
// ".tavrik-PID-XXXXXXXXXXXX.tmp" when NAME leaves no room under the system's name limit): PID is
// the process that writes it, so that a later run can tell the leftovers of a process that is
// gone, and X are random hexadecimal digits.

constexpr std::string_view kTag = "tavrik-";
constexpr std::string_view kTemporaryEnd = ".tmp";
constexpr std::size_t kRandomDigits = 12;
constexpr std::string_view kWidestPid = "2147483647";

std::string folderOf(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

// The temporary file's name for the final name `finalName`, `pid` and `random` being the text
// of its process id and random digits.
std::string temporaryBaseName(const std::string& finalName, std::string_view pid, std::string_view random) {
  std::string suffix;
  suffix.append(kTag).append(pid).append("-").append(random).append(kTemporaryEnd);
  if (finalName.size() + suffix.size() + 2 <= NAME_MAX) return "." + finalName + "." + suffix;
  return "." + suffix;
}

std::string joinFolder(const std::string& folder, const std::string& name) {
  return (folder.empty() ? std::string() : folder + "/") + name;
}

// A name in `folder` that is unlikely to exist.
std::string temporaryName(const std::string& folder, const std::string& finalName) {
  static std::mutex mutex;
  static std::mt19937_64 random{std::random_device{}() ^ static_cast<std::uint64_t>(::getpid())};
  std::uint64_t value;
  {
    std::lock_guard<std::mutex> lock(mutex);
    value = random();
  }
  char digits[24];
  std::snprintf(digits, sizeof digits, "%012llx", static_cast<unsigned long long>(value & 0xFFFFFFFFFFFFull));
  return joinFolder(folder, temporaryBaseName(finalName, std::to_string(::getpid()), digits));
}

// The process id in a temporary file's name of our pattern; 0 when `name` does not follow it.
pid_t temporaryOwner(std::string_view name) {
  if (name.size() < 2 || name[0] != '.' || !name.ends_with(kTemporaryEnd)) return 0;
  name.remove_prefix(1);
  name.remove_suffix(kTemporaryEnd.size());
  if (name.size() < kRandomDigits + 1) return 0;
  for (const char c : name.substr(name.size() - kRandomDigits))
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return 0;
  name.remove_suffix(kRandomDigits);
  if (!name.ends_with('-')) return 0;
  name.remove_suffix(1);
  std::size_t digits = 0;
  while (digits < name.size() && name[name.size() - 1 - digits] >= '0' && name[name.size() - 1 - digits] <= '9')
    ++digits;
  const std::string_view pid = name.substr(name.size() - digits);
  name.remove_suffix(digits);
  if (pid.empty() || pid.size() > kWidestPid.size() || pid[0] == '0' ||
      (pid.size() == kWidestPid.size() && pid > kWidestPid) || !name.ends_with(kTag))
    return 0;
  name.remove_suffix(kTag.size());
  // Either nothing is left, or a final name followed by its dot.
  if (!name.empty() && (name.size() < 2 || name.back() != '.')) return 0;
  return static_cast<pid_t>(std::stol(std::string(pid)));
}

// Removes, from the folder open as `folderFd`, the temporary files that a process now gone
// left behind: names of our pattern whose process does not exist, regular files of this user
// with a single link (which this tool could have made). A process id in use again keeps its
// leftovers until it ends. Called with the folder locked, so that no run that locks it has
// temporary files there.
void removeDeadTemporaries(int folderFd) {
  const int fd = ::dup(folderFd);
  if (fd < 0) return;
  DIR* folder = ::fdopendir(fd);
  if (!folder) {
    ::close(fd);
    return;
  }
  ::rewinddir(folder);
  const uid_t user = ::geteuid();
  while (const struct dirent* entry = ::readdir(folder)) {
    const pid_t pid = temporaryOwner(entry->d_name);
    if (pid <= 0 || pid == ::getpid()) continue;
    struct stat st {};
    if (::fstatat(folderFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || st.st_uid != user || st.st_nlink != 1) continue;
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    ::unlinkat(folderFd, entry->d_name, 0);
  }
  ::closedir(folder);
}

class DiskFile final : public OutputFile {
 public:
  DiskFile(std::string path, std::string temporary)
      : path_(std::move(path)), temporary_(std::move(temporary)) {}

  ~DiskFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (created_ && !installed_) ::unlink(temporary_.c_str());
    forgetTemporary(slot_);
  }

  // Creates the temporary file and names it to the signal handler, in one step for signals;
  // false (errno set) when it could not be created.
  bool create() {
    const Hold hold;
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ < 0) return false;
    created_ = true;
    slot_ = rememberTemporary(temporary_);
    return true;
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
  int fd_ = -1;
  int slot_ = -1;
  bool created_ = false;
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

// ---- Folder locks ---------------------------------------------------------------------------
//
// A set holds an advisory lock (flock) on each folder it writes, from before its first
// temporary file there to after its last rename, so that the sets of two runs never mix; a
// second run waits. The process takes each folder's lock once and shares it between its sets
// (a second flock of the same folder from this process would wait for itself). A folder that
// cannot be opened or locked (no read access, a file system without flock) is written without
// the lock, as it always was.

struct LockedFolder {
  FolderId id;
  int fd;
  int users;
};
std::mutex lockedMutex;
std::vector<LockedFolder> lockedFolders;

// The folder of `path` opened for its lock, with its identity; fd -1 when it cannot be opened.
std::pair<int, FolderId> openFolder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    if (fd >= 0) ::close(fd);
    return {-1, {}};
  }
  return {fd, {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}};
}

// Takes a share of the folder open as `fd` (which this takes over): at once when the process
// holds it already, else by locking it, waiting for another process that holds it. A new lock
// first clears the folder of dead runs' temporary files. False when the folder cannot be locked.
bool lockFolder(int fd, FolderId id) {
  {
    const std::lock_guard<std::mutex> lock(lockedMutex);
    for (LockedFolder& folder : lockedFolders)
      if (folder.id == id) {
        ++folder.users;
        ::close(fd);
        return true;
      }
  }
  int result;
  while ((result = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (result != 0) {
    ::close(fd);
    return false;
  }
  removeDeadTemporaries(fd);
  const std::lock_guard<std::mutex> lock(lockedMutex);
  lockedFolders.push_back({id, fd, 1});
  return true;
}

void unlockFolder(FolderId id) {
  const std::lock_guard<std::mutex> lock(lockedMutex);
  for (auto it = lockedFolders.begin(); it != lockedFolders.end(); ++it)
    if (it->id == id) {
      if (--it->users == 0) {
        ::close(it->fd);
        lockedFolders.erase(it);
      }
      return;
    }
}

}  // namespace

std::size_t longestCreatedPath(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  const std::string temporary =
      joinFolder(folderOf(path), temporaryBaseName(name, kWidestPid, std::string(kRandomDigits, '0')));
  return std::max(path.size(), temporary.size());
}

bool outputPathFits(const std::string& path) {
  return longestCreatedPath(path) < PATH_MAX &&
         std::filesystem::path(path).filename().string().size() <= NAME_MAX;
}

std::unique_ptr<OutputFile> openDiskFile(const std::string& path) {
  // Before the first temporary file, so that a signal never finds one unknown to the handler.
  installHandlerOnce();
  // The final name is looked at, never opened (a named pipe there would block). Only a regular
  // file that may be written, or a symbolic link (replaced, not followed), may be replaced: a
  // folder, a pipe, a device or a socket under that name is left alone. A regular file is
  // read-only when this user may not write it or when its owner's write bit is off (root may
  // write any file, but a file made read-only with chmod stays protected from root too).
  struct stat existing {};
  if (::lstat(path.c_str(), &existing) == 0) {
    if (S_ISREG(existing.st_mode)) {
      if (!(existing.st_mode & S_IWUSR) || ::access(path.c_str(), W_OK) != 0) return nullptr;
    } else if (!S_ISLNK(existing.st_mode)) {
      return nullptr;
    }
  }
  const std::string folder = folderOf(path);
  const std::string name = std::filesystem::path(path).filename().string();
  if (name.empty()) return nullptr;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto file = std::make_unique<DiskFile>(path, temporaryName(folder, name));
    if (file->create()) return file;
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
      flushed_ += size;
      return;
    }
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  buffer_.insert(buffer_.end(), bytes, bytes + size);
}

void StagedFile::flush() {
  if (!buffer_.empty() && !file_->write(buffer_.data(), buffer_.size())) fail();
  flushed_ += buffer_.size();
  buffer_.clear();
}

void StagedFile::fail() const { throw Error(format(kFileWriteError, path_.c_str())); }

OutputSet::OutputSet() = default;
OutputSet::~OutputSet() { abandon(); }

void OutputSet::lockFolders(const std::vector<std::string>& folders) {
  const auto held = [](const std::vector<FolderLock>& locks, const FolderId& id) {
    return std::any_of(locks.begin(), locks.end(), [&](const FolderLock& l) { return l.id == id; });
  };
  std::vector<FolderLock> wanted;
  for (const std::string& folder : folders) {
    const auto [fd, id] = openFolder(folder);
    if (fd < 0) continue;
    ::close(fd);
    if (!held(locks_, id) && !held(wanted, id)) wanted.push_back({id, folder});
  }
  if (wanted.empty()) return;
  const auto byId = [](const FolderLock& a, const FolderLock& b) { return a.id < b.id; };
  // Every set locks its folders in one order (device, then inode), so that two sets never
  // wait for each other. A folder that comes before one already held makes the set let go of
  // its locks and take them all again in order; its temporary files stay meanwhile (their
  // process being alive, no other run removes them), and its renames still happen under all
  // the locks.
  if (!locks_.empty() && std::min_element(wanted.begin(), wanted.end(), byId)->id <
                             std::max_element(locks_.begin(), locks_.end(), byId)->id) {
    wanted.insert(wanted.end(), locks_.begin(), locks_.end());
    releaseFolders();
  }
  std::sort(wanted.begin(), wanted.end(), byId);
  for (const FolderLock& folder : wanted) {
    const auto [fd, id] = openFolder(folder.path);
    if (fd >= 0 && lockFolder(fd, id) && !held(locks_, id)) locks_.push_back({id, folder.path});
  }
}

void OutputSet::releaseFolders() {
  for (const FolderLock& folder : locks_) unlockFolder(folder.id);
  locks_.clear();
}

void OutputSet::abandon() {
  files_.clear();
  releaseFolders();
}

StagedFile& OutputSet::add(const std::string& path) {
  lockFolders({folderOf(path)});
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
    // A signal meanwhile takes effect once the set is whole.
    const Hold hold;
    for (const auto& file : files_) {
      if (!file->file_->install()) file->fail();
      committed_.push_back(file->path());
      committedBytes_.push_back(file->size());
      const std::string folder = folderOf(file->path());
      if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
  }
  files_.clear();
  for (const std::string& folder : folders)
    if (!syncFolder(folder)) {
      releaseFolders();
      // The renames happened but may not last: report the set's last file in that folder.
      for (auto it = committed_.rbegin(); it != committed_.rend(); ++it)
        if (folderOf(*it) == folder) throw Error(format(kFileWriteError, it->c_str()));
    }
  releaseFolders();
}

std::vector<WrittenFile> OutputSet::written() const {
  std::vector<WrittenFile> files;
  for (size_t k = 0; k < committed_.size(); ++k) files.push_back({committed_[k], committedBytes_[k]});
  return files;
}

void writeOutputFile(const std::string& path, const std::function<void(StagedFile&)>& body) {
  OutputSet set;
  body(set.add(path));
  set.commit();
}

}  // namespace tavrik
