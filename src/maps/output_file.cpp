#include "maps/output_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tavrik {

namespace {

class DiskFile final : public OutputFile {
 public:
  DiskFile(std::string path, std::string temporary, std::FILE* file)
      : path_(std::move(path)), temporary_(std::move(temporary)), file_(file) {}

  ~DiskFile() override {
    if (file_) std::fclose(file_);
    if (!committed_) std::remove(temporary_.c_str());
  }

  bool write(const void* data, std::size_t size) override {
    return file_ && std::fwrite(data, 1, size, file_) == size;
  }

  bool commit() override {
    if (!file_) return false;
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) return false;
    std::error_code ec;
    std::filesystem::rename(temporary_, path_, ec);
    if (ec) return false;
    committed_ = true;
    return true;
  }

 private:
  std::string path_;
  std::string temporary_;
  std::FILE* file_;
  bool committed_ = false;
};

OutputFileFactory& currentFactory() {
  static OutputFileFactory factory;
  return factory;
}

}  // namespace

std::unique_ptr<OutputFile> openDiskFile(const std::string& path) {
  // An existing file must be writable, as it would have to be to be overwritten in place;
  // opening it for appending checks that without changing it.
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    std::FILE* existing = std::fopen(path.c_str(), "ab");
    if (!existing) return nullptr;
    std::fclose(existing);
  }
  // "x": never reuse a name that exists (another file, or a leftover of a crashed run).
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temporary = path + ".tmp" + std::to_string(attempt);
    if (std::FILE* file = std::fopen(temporary.c_str(), "wbx"))
      return std::make_unique<DiskFile>(path, std::move(temporary), file);
    if (!std::filesystem::exists(temporary, ec)) return nullptr;  // the folder refuses it
  }
  return nullptr;
}

std::unique_ptr<OutputFile> openOutputFile(const std::string& path) {
  const OutputFileFactory& factory = currentFactory();
  return factory ? factory(path) : openDiskFile(path);
}

ScopedOutputFileFactory::ScopedOutputFileFactory(OutputFileFactory factory)
    : previous_(std::move(currentFactory())) {
  currentFactory() = std::move(factory);
}

ScopedOutputFileFactory::~ScopedOutputFileFactory() { currentFactory() = std::move(previous_); }

}  // namespace tavrik
