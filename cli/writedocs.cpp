#include <cstdio>
#include <fstream>
#include <string>

#include "cli/completion.h"
#include "cli/manpage.h"

namespace
{
bool Write(const char* fileName, const std::string& text)
{
    std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file)
        std::fprintf(stderr, "kestrow_write_docs: cannot write %s\n", fileName);
    return static_cast<bool>(file);
}
} // namespace

// Writes the manual page and the bash completion of kestrow-cli from its help texts.
int main(int argc, char* argv[])
{
    if (argc != 5)
    {
        std::fprintf(stderr, "Usage: kestrow_write_docs VERSION DATE MANPAGE COMPLETION\n");
        return 2;
    }
    return Write(argv[3], ManPage(argv[1], argv[2])) && Write(argv[4], BashCompletion()) ? 0 : 1;
}
