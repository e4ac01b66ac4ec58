// Output files of the export, behind a small seam so that tests can make any step fail.
#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace tavrik {

// One output file being written. Nothing replaces the file at its path until commit() has
// succeeded; a file destroyed without a successful commit leaves the path as it was.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Appends bytes; false when they could not be written.
  virtual bool write(const void* data, std::size_t size) = 0;
  // Closes the file and puts it in place; false when that failed.
  virtual bool commit() = 0;
};

// Opens a file for writing; nullptr when it cannot be created.
using OutputFileFactory = std::function<std::unique_ptr<OutputFile>(const std::string& path)>;

// The default: writes a temporary file beside `path` and renames it over `path` on commit, so a
// failed write never leaves a truncated file nor destroys the previous one. An existing `path`
// that this process may not write counts as a file that cannot be created.
std::unique_ptr<OutputFile> openDiskFile(const std::string& path);

// Opens through the current factory (openDiskFile unless replaced).
std::unique_ptr<OutputFile> openOutputFile(const std::string& path);

// Replaces the factory behind openOutputFile for as long as it lives (tests).
class ScopedOutputFileFactory {
 public:
  explicit ScopedOutputFileFactory(OutputFileFactory factory);
  ~ScopedOutputFileFactory();
  ScopedOutputFileFactory(const ScopedOutputFileFactory&) = delete;
  ScopedOutputFileFactory& operator=(const ScopedOutputFileFactory&) = delete;

 private:
  OutputFileFactory previous_;
};

}  // namespace tavrik
