#pragma once

#include <string>
#include <string_view>

// The manual page kestrow-cli(1) in troff: the help texts of the program and its commands, with
// the sections only the page has (exit status, environment, files, examples).
std::string ManPage(std::string_view version, std::string_view date);
