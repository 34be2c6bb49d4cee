#pragma once

#include <string>

// Text received from a device, made safe to show and print: valid UTF-8 with
// every invalid sequence replaced by U+FFFD, control characters (C0, DEL, C1)
// replaced by U+FFFD as well, and trailing NUL bytes (C-string terminators)
// dropped. Valid text without control characters comes back unchanged.
std::string sanitiseDeviceText(const std::string& bytes);
