#pragma once
// The start-up step that makes dates show four-digit years.
#include <string>

// The short date format (a d/M/y pattern such as "d.M.yy") made to show
// four-digit years: "yyyy" stays, a first "yy" becomes "yyyy", a format
// without a year becomes "dd.MM.yyyy". Only the first 20 characters count.
std::string FourDigitYearFormat(const std::string& format);

// Takes the locale's short date format through FourDigitYearFormat.
void FixShortDateFormat();
// The short date format dates are shown in (after FixShortDateFormat).
const std::string& ShortDateFormat();
