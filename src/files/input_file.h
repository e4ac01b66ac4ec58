// Reading input files safely: only regular files are read, and opening one never blocks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace tavrik {

// A regular file open for reading.
class InputFile {
 public:
  // Opens `path` for reading without blocking (a named pipe without a writer would block a plain
  // open) and keeps it only when it is a regular file. Nothing when it is absent, unreadable, or
  // anything but a regular file: a folder, a named pipe, a device (/dev/zero), a socket.
  static std::optional<InputFile> open(const std::string& path);

  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // The size when the file was opened.
  std::uint64_t size() const { return size_; }
  // Reads exactly `n` bytes at `offset` (several threads may read at once); false on an error or
  // a short read.
  bool readAt(std::uint64_t offset, void* out, std::size_t n) const;

 private:
  InputFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// The same rule for a reader that needs a stdio stream: the stream of the regular file `path`
// and its size, or nullptr.
std::FILE* openRegularFileStream(const std::string& path, std::uint64_t& size);

}  // namespace tavrik
