// Shared by the decoder tests: the C decoders on a stream, and the 68000 decoders built into a
// small program of the 68000 that runs under qemu-m68k.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "../../decoders/tavrik_decoders.h"
#include "formats/compress.h"
#include "formats/format_fixtures.h"

namespace tavrik::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct CDecoded {
  int status = -1;
  Bytes data;
};

// The C decoder of `c` on `stream`, copied into a buffer of its exact size, into a destination
// of `capacity` bytes (the decoded length when negative), so that the sanitizers see any access
// out of either.
inline CDecoded cDecode(Compression c, const Bytes& stream, long capacity = -1) {
  const auto in = std::make_unique<std::uint8_t[]>(stream.size() + 1);
  std::copy(stream.begin(), stream.end(), in.get());
  std::uint32_t length = 0;
  if (capacity < 0)
    capacity = tavrik_decoded_length(in.get(), stream.size(), &length) == TAVRIK_DECODE_OK ? length : 0;
  const auto out = std::make_unique<std::uint8_t[]>(static_cast<size_t>(capacity) + 1);
  size_t decoded = 0;
  CDecoded result;
  const auto decoder = c == Compression::Lz4 ? tavrik_lz4_decode : tavrik_rle_decode;
  // The buffers are one byte larger than asked (new[0] is no buffer); the decoders see the sizes.
  result.status = decoder(in.get(), stream.size(), out.get(), static_cast<size_t>(capacity), &decoded);
  if (result.status == TAVRIK_DECODE_OK) result.data.assign(out.get(), out.get() + decoded);
  return result;
}

// A program of the 68000 linking the decoders (decoders/*.s, assembled for the 68000 alone) with
// tests/formats/m68k/ and any further sources; see m68k/decode.c for its arguments.
class M68kProgram {
 public:
  // `extra`: further sources to link in (.s assembled, anything else handed to the compiler).
  explicit M68kProgram(const std::vector<std::string>& extra = {}) {
    const std::string as = findProgram("m68k-linux-gnu-as"), gcc = findProgram("m68k-linux-gnu-gcc");
    qemu_ = findProgram("qemu-m68k");
    if (qemu_.empty()) qemu_ = findProgram("qemu-m68k-static");
    if (as.empty() || gcc.empty() || qemu_.empty()) {
      missing_ = "m68k-linux-gnu-as, m68k-linux-gnu-gcc or qemu-m68k missing (packages "
                 "binutils-m68k-linux-gnu, gcc-m68k-linux-gnu, libc6-dev-m68k-cross, qemu-user)";
      return;
    }
    const std::string source = TAVRIK_SOURCE_DIR;
    std::vector<std::string> link{gcc, "-std=c99", "-Wall", "-Wextra", "-Werror", "-O2", "-static",
                                  "-Wl,-z,noexecstack", "-o", folder_ / "decode"};
    std::vector<std::string> sources{source + "/decoders/tavrik_rle.s", source + "/decoders/tavrik_lz4.s",
                                     source + "/tests/formats/m68k/call.s",
                                     source + "/tests/formats/m68k/decode.c"};
    sources.insert(sources.end(), extra.begin(), extra.end());
    for (const std::string& s : sources) {
      if (!s.ends_with(".s")) {  // C sources and compiler options
        link.push_back(s);
        continue;
      }
      // -m68000: an instruction of a later processor is refused.
      const std::string object = folder_ / (std::to_string(link.size()) + ".o");
      const ToolRun run = runCommand({as, "--mri", "-m68000", "-o", object, s});
      if (run.status != 0 || !run.err.empty()) {
        error_ = s + ": " + run.err;
        return;
      }
      link.push_back(object);
    }
    const ToolRun run = runCommand(link);
    if (run.status != 0 || !run.err.empty()) error_ = run.err;
  }

  // Why the tools are missing; "" when they are all there.
  const std::string& missing() const { return missing_; }
  // The assembler's or the compiler's complaint; "" when the program was built.
  const std::string& error() const { return error_; }

  ToolRun run(const std::vector<std::string>& args, const std::string& cwd = {}) const {
    std::vector<std::string> command{qemu_, folder_ / "decode"};
    command.insert(command.end(), args.begin(), args.end());
    return runCommand(command, cwd);
  }

 private:
  TempFolder folder_;
  std::string qemu_, missing_, error_;
};

}  // namespace tavrik::test
