#pragma once

#include <string>

// Whether the start of a saved file is an HTML page; title gets its upper-cased title.
bool ReadPageTitle(const std::string& fileName, std::string& title);
