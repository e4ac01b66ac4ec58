// Base names of output files (the rules of --name and of a game's names).
#pragma once
#include <optional>
#include <string>

namespace tavrik {

inline constexpr int kMaxNameCharacters = 7;

// Why `name` cannot be the base name of output files, if it cannot: not UTF-8, control
// characters, format characters (Unicode category Cf, such as U+202E), more than kMaxNameCharacters characters, or a '/'. The message is French.
std::optional<std::string> baseNameProblem(const std::string& name);

}  // namespace tavrik
