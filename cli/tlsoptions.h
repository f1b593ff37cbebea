#pragma once

#include <string>
#include <vector>

class TTlsTrust;

// --ca-file and --insecure of get and run: the authorities are added to trust, and an insecure
// run is said once on standard error. Raises Exception for a file that cannot be used.
void UseTlsOptions(TTlsTrust& trust, const std::vector<std::string>& caFiles, bool insecure,
                   const char* command);
