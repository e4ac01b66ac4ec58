// Writing output files safely: every file of a set is written to a temporary file beside its
// final name, flushed and synced, and only then are all of them renamed into place, one after
// another, and their folders synced. Until the renames, no final file changes; temporary files
// are removed on every error path and when the process is stopped by SIGINT, SIGTERM or SIGHUP,
// and a later set in the same folder removes those that a killed process left. A set holds an
// advisory lock on each of its folders from its first temporary file to its last rename, so
// that the sets of two processes never mix.
//
// Use:
//   OutputSet set;
//   StagedFile& map = set.add(folder + "/Demo1.lvl");   // throws "Impossible de créer ..."
//   map.write(bytes, size);                              // throws "Erreur d'écriture ..."
//   ...
//   set.commit();                                        // all files at once
//   set.committed();                                     // the paths now in place
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavrik {

// Messages of output files, %s being the final path.
inline constexpr const char* kCannotCreateFile = "Impossible de créer le fichier %s";
inline constexpr const char* kFileWriteError = "Erreur d'écriture du fichier %s";

// One temporary file on its way to a final path (the seam behind OutputSet; tests replace it to
// make any step fail).
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Appends bytes; false when they could not be written.
  virtual bool write(const void* data, std::size_t size) = 0;
  // Flushes, syncs and closes the temporary file; false when any of that failed.
  virtual bool finish() = 0;
  // Renames the finished temporary file over the final path; false when that failed.
  virtual bool install() = 0;
};

// Creates a uniquely named temporary file beside `path` (never following or reusing an existing
// name; ".NAME.tavrik-PID-XXXXXXXXXXXX.tmp", PID being this process); nullptr when that cannot
// be done or when `path` may not be replaced: an existing regular file that is read-only (this
// process may not write it, or its owner's write bit is off, whoever runs it), or anything but
// a regular file or a symbolic link (a folder, a named pipe, a device, a socket). An existing
// `path` is never opened; a symbolic link there is replaced, not followed. Destroying the
// result before install() removes the temporary file.
std::unique_ptr<OutputFile> openDiskFile(const std::string& path);

// The length of the longest path that writing `path` creates: `path` itself or its temporary
// file, whose process id is counted at its widest.
std::size_t longestCreatedPath(const std::string& path);
// Whether every path that writing `path` creates fits the system's limits (PATH_MAX for the
// whole path, NAME_MAX for the file name); a caller checks its outputs with it before any work.
bool outputPathFits(const std::string& path);

// A folder's identity (device, inode), the order in which sets lock folders.
struct FolderId {
  std::uint64_t device = 0, inode = 0;
  auto operator<=>(const FolderId&) const = default;
};

using OutputFileFactory = std::function<std::unique_ptr<OutputFile>(const std::string& path)>;

// Replaces openDiskFile behind every OutputSet for as long as it lives (tests).
class ScopedOutputFileFactory {
 public:
  explicit ScopedOutputFileFactory(OutputFileFactory factory);
  ~ScopedOutputFileFactory();
  ScopedOutputFileFactory(const ScopedOutputFileFactory&) = delete;
  ScopedOutputFileFactory& operator=(const ScopedOutputFileFactory&) = delete;

 private:
  OutputFileFactory previous_;
};

// A buffered writer into one file of a set. Every failure throws Error with kFileWriteError
// naming the final path.
class StagedFile {
 public:
  StagedFile(std::string path, std::unique_ptr<OutputFile> file);
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  void put(std::uint8_t byte) {
    buffer_.push_back(byte);
    if (buffer_.size() >= kChunk) flush();
  }
  void write(const void* data, std::size_t size);
  const std::string& path() const { return path_; }
  // Bytes written so far, buffered or not.
  std::uint64_t size() const { return flushed_ + buffer_.size(); }

 private:
  friend class OutputSet;
  static constexpr std::size_t kChunk = std::size_t{1} << 16;
  void flush();
  [[noreturn]] void fail() const;

  std::string path_;
  std::unique_ptr<OutputFile> file_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t flushed_ = 0;
};

// A file that a set put in place, and its size.
struct WrittenFile {
  std::string path;
  std::uint64_t bytes = 0;
};

// Files written together. Destroying a set that was not committed removes its temporary files
// and changes no final file.
class OutputSet {
 public:
  OutputSet();
  ~OutputSet();
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  // Locks the folders that the set will write, in a fixed order, waiting while another
  // process holds one. A set that writes several folders names them all here before its first
  // add(); add() locks a folder not named here itself. A folder that cannot be opened or
  // locked (no read access, a file system without locks) is written without its lock.
  void lockFolders(const std::vector<std::string>& folders);

  // Starts the file of final path `path` (locking its folder first). Throws Error with
  // kCannotCreateFile naming `path`.
  StagedFile& add(const std::string& path);

  // Finishes every file (flush, sync, close), then renames them into place in the order they
  // were added, then syncs their folders. A failure while finishing throws Error with
  // kFileWriteError naming that file, and no final file has changed; a failed rename throws
  // the same error, the files renamed before it staying in place (see committed()). SIGINT,
  // SIGTERM and SIGHUP are held back while the renames run, so that they do not split the set.
  // The folders' locks are let go at the end.
  void commit();

  // The final paths renamed into place so far, in order.
  const std::vector<std::string>& committed() const { return committed_; }
  // The same files with their sizes.
  std::vector<WrittenFile> written() const;

  // Removes the temporary files of a set that will not be committed and lets go of its folders
  // (what destroying it does); the committed paths stay listed.
  void abandon();

 private:
  struct FolderLock {
    FolderId id;
    std::string path;
  };
  void releaseFolders();

  std::vector<std::unique_ptr<StagedFile>> files_;
  std::vector<std::string> committed_;
  std::vector<std::uint64_t> committedBytes_;
  std::vector<FolderLock> locks_;
};

// Writes one file through a set of its own: `body` fills it, then it is committed.
void writeOutputFile(const std::string& path, const std::function<void(StagedFile&)>& body);

}  // namespace tavrik
