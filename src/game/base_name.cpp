#include "game/base_name.h"

#include <vector>

#include "base/error.h"

namespace tavrik {

namespace {

// The code points of a text in strict UTF-8 (no overlong forms, no surrogates, at most
// U+10FFFF); false when it is not UTF-8.
bool decodeUtf8(const std::string& text, std::vector<char32_t>& out) {
  static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t extra;
    char32_t code;
    if (c < 0x80) extra = 0, code = c;
    else if ((c & 0xE0) == 0xC0) extra = 1, code = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) extra = 2, code = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) extra = 3, code = c & 0x07;
    else return false;
    if (text.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    out.push_back(code);
    i += extra + 1;
  }
  return true;
}

// Whether a code point is a format character (Unicode category Cf, version 15): invisible
// characters such as the soft hyphen, the zero-width ones and the bidirectional controls, which
// make a file name show other than it is (U+202E shows what follows it reversed).
bool isFormatCharacter(char32_t code) {
  static constexpr char32_t kRanges[][2] = {
      {0xAD, 0xAD},       {0x600, 0x605},     {0x61C, 0x61C},     {0x6DD, 0x6DD},
      {0x70F, 0x70F},     {0x890, 0x891},     {0x8E2, 0x8E2},     {0x180E, 0x180E},
      {0x200B, 0x200F},   {0x202A, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
      {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
      {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
      {0xE0020, 0xE007F}};
  for (const auto& range : kRanges)
    if (code >= range[0] && code <= range[1]) return true;
  return false;
}

}  // namespace

std::optional<std::string> baseNameProblem(const std::string& name) {
  std::vector<char32_t> codes;
  // Shown without the name itself: its bytes could break the message's line or the terminal.
  if (!decodeUtf8(name, codes)) return "nom de base incorrect : ce n'est pas du texte UTF-8";
  for (const char32_t code : codes)
    if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
      return "nom de base incorrect : les caractères de contrôle sont interdits";
  for (const char32_t code : codes)
    if (isFormatCharacter(code))
      return format("nom de base incorrect : le caractère de mise en forme U+%04X est interdit",
                    static_cast<unsigned>(code));
  const int n = static_cast<int>(codes.size());
  if (n > kMaxNameCharacters)
    return format("nom de base trop long : %s (%d caractères, %d au plus)", ("« " + name + " »").c_str(), n,
                  kMaxNameCharacters);
  // The name becomes part of a file name in the output folder; a separator would send the
  // files elsewhere or into a folder that does not exist.
  if (name.find('/') != std::string::npos)
    return "nom de base incorrect : " + ("« " + name + " »") + " (le caractère / est interdit dans un nom de fichier)";
  return std::nullopt;
}

}  // namespace tavrik
