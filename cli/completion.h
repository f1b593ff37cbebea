#pragma once

#include <string>

// The bash completion of kestrow-cli: its commands and their options, with file names for the
// options and operands that name a file and folder names for those that name a folder.
std::string BashCompletion();
