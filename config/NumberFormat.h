#pragma once
// Number texts as the settings file and the option fields read and write them.
#include <cstdint>
#include <optional>
#include <string>

// Leading blanks, an optional sign, decimal digits, or hexadecimal digits after
// "$" or "0x"; nothing may follow. Out of the 32-bit range: no value.
std::optional<std::int32_t> ParseInteger(const std::string& text);
// Blanks around the number, an optional sign, digits with the given decimal
// separator and an optional exponent; no thousands separators.
std::optional<double> ParseFloat(const std::string& text, char decimalSeparator);
// General format with up to 15 significant digits: 1.28 -> "1,28" (German), 5 -> "5".
std::string FormatFloat(double value, char decimalSeparator);
