#include "platform/shell.h"

#include <filesystem>

#include <QElapsedTimer>
#include <QProcess>

#include "platform/pause.h"
#include "platform/text.h"

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
    return true;
}
} // namespace platform
