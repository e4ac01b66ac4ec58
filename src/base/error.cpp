#include "base/error.h"

#include <cstdarg>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace tavrik {

std::string format(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, pattern, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buffer(static_cast<size_t>(n) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), pattern, args);
    out.assign(buffer.data(), static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}

std::string errorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

std::string applicationTitle(const std::string& programPath) {
  std::string name = programPath;
  const auto slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const auto dot = name.find('.');
  if (dot != std::string::npos) name.erase(dot);
  for (size_t i = 1; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c >= 'A' && c <= 'Z') name[i] = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

std::string userMessage(const std::exception& e) {
  if (const auto* error = dynamic_cast<const Error*>(&e)) return error->message();
  if (dynamic_cast<const std::bad_alloc*>(&e) || dynamic_cast<const std::length_error*>(&e))
    return kOutOfMemory;
  if (const auto* system = dynamic_cast<const std::system_error*>(&e)) {
    const std::error_code code = system->code();
    if (code == std::errc::resource_unavailable_try_again || code == std::errc::not_enough_memory)
      return kOutOfMemory;
    return format("Erreur système (code %d)", code.value());
  }
  return "Erreur inattendue";
}

}  // namespace tavrik
