#pragma once

#include <string>
#include <vector>

namespace platform
{
// Shell results below 33 are failures; these are the ones the printer and the help page map.
constexpr int ShellFileNotFound = 2;
constexpr int ShellPathNotFound = 3;
constexpr int ShellAccessDenied = 5;
constexpr int ShellNoAssociation = 31;
constexpr int ShellSuccess = 42;

// Hands a file to the printer (lp, run without a shell) and waits for lp to take it while
// events keep running. Gives back a shell result: ShellSuccess, ShellFileNotFound or
// ShellPathNotFound for a missing file or folder, ShellNoAssociation when lp is not installed,
// or lp's own failing exit status; errorText gets what lp said on failing (one line, or empty).
int PrintFile(const std::string& path, std::string* errorText = nullptr);

// Asks the system to shut down and power off; returns whether the request could be made.
bool ShutDown();

// Opens a file or web address with the desktop's handler; false when nothing could open it
// (always, in a program that has not called UseDesktop).
bool OpenDocument(const std::string& pathOrUrl);
void SetDocumentOpener(bool (*opener)(const std::string& pathOrUrl));

// The text of a failed shell result (2 to 32) about the file at path, or empty for a result
// without one. The two texts about what the file is associated with (27 and 31) are the caller's.
std::string ShellFailureText(int result, const std::string& path, const std::string& badAssociation,
                             const std::string& noApplication);

class ShellHandler
{
  public:
    virtual ~ShellHandler() = default;
    virtual int Print(const std::string& path, std::string& errorText) = 0;
    virtual bool ShutDown() = 0;
    virtual bool Open(const std::string& pathOrUrl) = 0;
};

// Installs a handler; nullptr restores the real shell. Returns the previous one.
ShellHandler* SetShellHandler(ShellHandler* handler);

// Records what would have been printed, shut down or opened; installs itself for its lifetime.
class ScriptedShell : public ShellHandler
{
  public:
    ScriptedShell();
    ~ScriptedShell() override;
    ScriptedShell(const ScriptedShell&) = delete;
    ScriptedShell& operator=(const ScriptedShell&) = delete;

    int Print(const std::string& path, std::string& errorText) override;
    bool ShutDown() override;
    bool Open(const std::string& pathOrUrl) override;

    int PrintResult = ShellSuccess;
    std::string PrintError;
    std::vector<std::string> Printed;
    std::vector<std::string> Opened;
    // Whether the desktop has a handler for what is opened.
    bool OpenSucceeds = true;
    int ShutDowns = 0;

  private:
    ShellHandler* previous;
};
} // namespace platform
