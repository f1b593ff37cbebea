#pragma once

#include <string>

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

// Runs kestrow-cli and lets the event loop run meanwhile, so that a scripted server in this
// process can answer it.
inline CliResult RunCli(const QStringList& arguments)
{
    QProcess process;
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
