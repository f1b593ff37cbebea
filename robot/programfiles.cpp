#include "robot/programfiles.h"

#include <array>

#include "platform/programdirectory.h"
#include "platform/prompt.h"

namespace
{
constexpr std::array<const char*, 7> FixedFileNames = {
    "",
    "HTMLHeader.html",
    "HTMLBody.html",
    "URLList.kes",
    "FileList.kes",
    "Help/kesthelp.html",
    "KestrowLog.txt",
};
} // namespace

std::string MakeFileName(TFixedFile kind)
{
    const int index = static_cast<int>(kind);
    if (index < 0 || index >= static_cast<int>(FixedFileNames.size()))
    {
        platform::ShowMessage("TFormKestrow.MakeFileName:Invalid file type");
        return {};
    }
    // The program's own folder and the help page beside it; what the program writes goes where
    // it can be written.
    const bool beside = kind == TFixedFile::ProgramDirectory || kind == TFixedFile::Help;
    return (beside ? platform::ProgramDirectory() : platform::DataDirectory()) +
           FixedFileNames[static_cast<std::size_t>(index)];
}
