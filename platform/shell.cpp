#include "platform/shell.h"

#include <filesystem>

#include <QElapsedTimer>
#include <QProcess>

#include "platform/pause.h"
#include "platform/widgettext.h"

namespace platform
{
namespace
{
ShellHandler* installed = nullptr;
bool (*documentOpener)(const std::string&) = nullptr;
constexpr int PrintWaitMilliseconds = 60000;

int RunPrinter(const std::string& path, std::string& errorText)
{
    std::error_code error;
    const std::filesystem::path file(path);
    if (!std::filesystem::exists(file, error))
    {
        const auto folder = file.parent_path();
        return folder.empty() || std::filesystem::is_directory(folder, error) ? ShellFileNotFound
                                                                              : ShellPathNotFound;
    }
    QProcess lp;
    lp.setProgram(QStringLiteral("lp"));
    lp.setArguments({QStringLiteral("--"), ToQString(path)});
    lp.setStandardOutputFile(QProcess::nullDevice());
    lp.start();
    QElapsedTimer elapsed;
    elapsed.start();
    while (lp.state() != QProcess::NotRunning && elapsed.elapsed() < PrintWaitMilliseconds)
        WaitForEvents(10);
    if (lp.error() == QProcess::FailedToStart)
        return ShellNoAssociation;
    if (lp.state() != QProcess::NotRunning)
    {
        lp.kill();
        return 1;
    }
    if (lp.exitStatus() != QProcess::NormalExit)
        return 1;
    if (lp.exitCode() == 0)
        return ShellSuccess;
    // What lp says is the reason a user can act on ("No default destination").
    errorText = ToStdString(QString::fromLocal8Bit(lp.readAllStandardError()).simplified().left(500));
    return lp.exitCode();
}
} // namespace

std::string ShellFailureText(int result, const std::string& path, const std::string& badAssociation,
                             const std::string& noApplication)
{
    switch (result)
    {
    case 2:
        return "The file " + path + " was not found.";
    case 3:
        return "The path " + path + " was not found.";
    case 5:
        return "The operating system denied access to the specified file.";
    case 8:
        return "There was not enough memory to load your web browser.";
    case 11:
        return "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).";
    case 26:
        return "A sharing violation occurred.";
    case 27:
        return badAssociation;
    case 28:
        return "The DDE transaction could not be completed because the request timed out.";
    case 29:
        return "The DDE transaction failed.";
    case 30:
        return "The DDE transaction could not be completed because other DDE transactions were being "
               "processed.";
    case 31:
        return noApplication;
    case 32:
        return "The specified dynamic-link library was not found.";
    default:
        return {};
    }
}

int PrintFile(const std::string& path, std::string* errorText)
{
    std::string text;
    const int result = installed ? installed->Print(path, text) : RunPrinter(path, text);
    if (errorText)
        *errorText = text;
    return result;
}

bool ShutDown()
{
    if (installed)
        return installed->ShutDown();
    return QProcess::startDetached(QStringLiteral("systemctl"), {QStringLiteral("poweroff")});
}

bool OpenDocument(const std::string& pathOrUrl)
{
    if (installed)
        return installed->Open(pathOrUrl);
    return documentOpener && documentOpener(pathOrUrl);
}

void SetDocumentOpener(bool (*opener)(const std::string& pathOrUrl))
{
    documentOpener = opener;
}

ShellHandler* SetShellHandler(ShellHandler* handler)
{
    ShellHandler* previous = installed;
    installed = handler;
    return previous;
}

ScriptedShell::ScriptedShell() : previous(SetShellHandler(this)) {}

ScriptedShell::~ScriptedShell()
{
    SetShellHandler(previous);
}

int ScriptedShell::Print(const std::string& path, std::string& errorText)
{
    Printed.push_back(path);
    errorText = PrintError;
    return PrintResult;
}

bool ScriptedShell::ShutDown()
{
    ++ShutDowns;
    return true;
}

bool ScriptedShell::Open(const std::string& pathOrUrl)
{
    Opened.push_back(pathOrUrl);
    return OpenSucceeds;
}
} // namespace platform
