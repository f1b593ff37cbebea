#include "cli/tlsoptions.h"

#include <cstdio>

#include "net/tlstrust.h"

void UseTlsOptions(TTlsTrust& trust, const std::vector<std::string>& caFiles, bool insecure,
                   const char* command)
{
    for (const std::string& file : caFiles)
        trust.AddAuthorityFile(file);
    trust.AcceptAnyCertificate = insecure;
    if (insecure)
        std::fprintf(
            stderr, "kestrow-cli %s: --insecure: certificates of https servers are not checked in this run\n",
            command);
}
