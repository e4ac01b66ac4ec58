#include "formats/depfile.h"

namespace tavrik {

std::optional<std::string> makePathProblem(const std::string& path, bool target) {
  for (const char c : path)
    if (c == '\n' || c == '\r' || c == ';' || c == '=' || c == '|' || c == '(' || c == ')') return path;
  if (target && path.find('%') != std::string::npos && path.find_first_of("*?[") != std::string::npos)
    return path;
  return std::nullopt;
}

std::string makeEscaped(const std::string& path, bool target) {
  // Make expands a name holding a wildcard character as a file pattern: then every backslash
  // and wildcard character is quoted for the pattern, which matches the name alone.
  std::string name;
  if (path.find_first_of("*?[") == std::string::npos) {
    name = path;
  } else {
    for (const char c : path) {
      if (c == '\\' || c == '*' || c == '?' || c == '[' || c == ']') name += '\\';
      name += c;
    }
  }
  std::string out;
  size_t backslashes = 0;  // just before the current character
  for (const char c : name) {
    if (c == '\\') {
      ++backslashes;
      out += c;
      continue;
    }
    const bool special = c == ' ' || c == '\t' || c == '#' || c == ':' || (target && c == '%');
    if (special) out.append(backslashes + 1, '\\');
    backslashes = 0;
    if (c == '$') out += '$';
    out += c;
  }
  // A backslash ending the name would quote the blank or the colon after it.
  out.append(backslashes, '\\');
  return out;
}

std::string makeRule(const std::vector<std::string>& targets, const std::vector<std::string>& prerequisites) {
  if (targets.empty()) return {};
  std::string rule;
  size_t lineStart = 0;
  const auto add = [&](const std::string& word) {
    if (rule.size() - lineStart + word.size() > 78 && rule.size() > lineStart) {
      rule += " \\\n ";
      lineStart = rule.size() - 1;
    } else if (!rule.empty()) {
      rule += ' ';
    }
    rule += word;
  };
  for (size_t k = 0; k < targets.size(); ++k) add(makeEscaped(targets[k], true) + (k + 1 == targets.size() ? ":" : ""));
  for (const std::string& p : prerequisites) add(makeEscaped(p, false));
  return rule + '\n';
}

void stageDepfile(const RunReport& report, const std::vector<std::string>& moreTargets,
                  const std::string& path, OutputSet& set) {
  std::vector<std::string> targets;
  for (const WrittenFile& file : report.files) targets.push_back(file.path);
  targets.insert(targets.end(), moreTargets.begin(), moreTargets.end());
  const std::string rule = makeRule(targets, report.inputs);
  set.add(path).write(rule.data(), rule.size());
}

}  // namespace tavrik
