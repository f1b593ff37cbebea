#pragma once

#include <cstdint>
#include <string>

// A byte count as the user reads it: 1023, 1.5K, 5.00M. The decimal separator is the user's.
std::string SizeText(std::int64_t count);
