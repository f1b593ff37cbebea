#pragma once

#include <string>

// The whole content of a file; raises Exception with the file system's error.
std::string ReadFileBytes(const std::string& fileName);
