#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <QProcess>
#include <QString>
#include <QStringList>

#include "scriptedserver.h"

struct CliResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs kestrow-cli, with these variables added to the environment, and lets the event loop run
// meanwhile, so that a scripted server in this process can answer it.
inline CliResult RunCli(const QStringList& arguments, const QStringList& variables = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& variable : variables)
        environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KESTROW_CLI), arguments);
    const bool finished = WaitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000);
    if (!finished)
        process.kill();
    return {finished ? process.exitCode() : -1, process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

inline QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// kestrow-cli run over the entries, each saving to home/out/, with its log and settings in home.
inline CliResult RunList(const std::string& home, const std::vector<std::string>& entries,
                         const QStringList& arguments)
{
    std::string list;
    for (const std::string& entry : entries)
        list += entry + "->" + home + "out/\r\n";
    std::ofstream(home + "list.kes", std::ios::binary) << list;
    return RunCli(QStringList{"run", Q(home + "list.kes")} + arguments,
                  {Q("KESTROW_HOME=" + home), Q("KESTROW_SETTINGS=" + home + "settings.json")});
}

// A whole file; empty when it cannot be read.
inline std::string ReadWhole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A server's log once it holds part (a server may write its line after the client has its
// answer), or as it is after a few seconds.
inline std::string LogHolding(const std::string& path, const std::string& part)
{
    std::string log;
    WaitUntil(
        [&]
        {
            log = ReadWhole(path);
            return log.find(part) != std::string::npos;
        });
    return log;
}
