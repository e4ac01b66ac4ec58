// Text to integer, as the framework converts a label's or a spin edit's text: shared by the
// workspace (tile counters) and the spin edit control.
#pragma once
#include <string>

namespace tavrik {

// The framework's text-to-integer conversion of a label's text: optional leading blanks, an
// optional sign, decimal digits, or hexadecimal after "$" or "0x"; nothing may follow and the
// value must fit in 32 bits. Throws Error("'%s' n'est pas une valeur entière correcte").
int textToInt(const std::string& text);
// Same conversion; false instead of an error.
bool tryTextToInt(const std::string& text, int& value);

}  // namespace tavrik
