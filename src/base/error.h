// The one error type of the system: a French message, shown by the faces. It lives at the
// bottom of the house, below files/ and imaging/, so that every layer can raise it.
#pragma once
#include <cstddef>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrik {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
  std::string message() const { return what(); }
};

// printf-style formatting of a message pattern ("%s", "%d"), for the system's texts.
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// Text of the error box: a full stop is appended when the message is not empty and its last
// character's code is above that of "." (0x2E).
std::string errorBoxText(const std::string& message);

// Application title from the program path: file name without its folder, cut before its first
// ".", first character kept, the others lower case.
std::string applicationTitle(const std::string& programPath);

// The French text that the user sees for any exception: an Error's message; kOutOfMemory for
// memory that could not be had (also a thread refused for lack of resources); "Erreur système
// (code %d)" for another system error; "Erreur inattendue" for anything else. The English
// what() of the standard library never reaches the user.
std::string userMessage(const std::exception& e);

// Messages used by more than one unit.
inline constexpr const char* kOutOfMemory = "Mémoire insuffisante";
inline constexpr const char* kDivisionByZero = "Division par zéro";
inline constexpr const char* kNotAnInteger = "'%s' n'est pas une valeur entière correcte";
inline constexpr const char* kBitmapOnly = "Impossible de modifier que les images comportant un bitmap";
inline constexpr const char* kNoResources = "Plus de ressources système";
inline constexpr const char* kReadError = "Erreur de lecture du flux";
// A list over its --max-tiles budget: the list ("des sprites", "de l'arrière-plan"), its
// tiles, its budget.
inline constexpr const char* kOverBudget = "Trop de tuiles dans la liste %s : %d (budget de %d)";

// Resizes `v` to `n` elements; Error(kNoResources) when the memory cannot be had.
template <class T>
void resizeOrNoResources(std::vector<T>& v, std::size_t n) {
  try {
    v.resize(n);
  } catch (const std::bad_alloc&) {
    throw Error(kNoResources);
  }
}

}  // namespace tavrik
