#pragma once
// How typed values are stored as INI text: text with "┊*┊" in place of CR LF,
// numbers in "%.13g" form, booleans as "真"/"假", dates as "2024年5月1日8时30分".

#include "settings/DateTime.h"
#include "support/Text.h"

namespace box {

Text EncodeTextValue(const Text& text);
Text DecodeTextValue(const Text& stored);

// "%.13g" without depending on the C locale's decimal point.
Text FormatNumberValue(double value);
// The leading decimal number of the text; 0 when there is none.
double ParseNumberValue(const Text& stored);

Text FormatBoolValue(bool value);
bool IsTrueValue(const Text& stored);   // exactly "真"
bool IsFalseValue(const Text& stored);  // exactly "假"

Text FormatDateTimeValue(const DateTime& value);
// Reads what FormatDateTimeValue writes; a text that is no such date gives
// the all-zero date-time.
DateTime ParseDateTimeValue(const Text& stored);

}  // namespace box
