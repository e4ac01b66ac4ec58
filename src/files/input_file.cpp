#include "files/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace tavrik {

namespace {

// A descriptor for reading `path` when it is a regular file, else -1; never blocks.
int openRegular(const std::string& path, std::uint64_t& size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  // Reads of a regular file never block on O_NONBLOCK anyway; clear it all the same.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  size = static_cast<std::uint64_t>(st.st_size);
  return fd;
}

}  // namespace

std::optional<InputFile> InputFile::open(const std::string& path) {
  std::uint64_t size = 0;
  const int fd = openRegular(path, size);
  if (fd < 0) return std::nullopt;
  return InputFile(fd, size);
}

std::FILE* openRegularFileStream(const std::string& path, std::uint64_t& size) {
  const int fd = openRegular(path, size);
  if (fd < 0) return nullptr;
  std::FILE* stream = ::fdopen(fd, "rb");
  if (!stream) ::close(fd);
  return stream;
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
  }
  return *this;
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool InputFile::readAt(std::uint64_t offset, void* out, std::size_t n) const {
  auto* p = static_cast<char*>(out);
  while (n > 0) {
    const ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    n -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

}  // namespace tavrik
