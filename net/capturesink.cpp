#include "net/capturesink.h"

#include <cerrno>

#include "platform/exception.h"
#include "platform/filewrite.h"

namespace
{
// Far fewer system calls than one per chunk, and whole pages for the file system.
constexpr qsizetype WriteBatch = 256 * 1024;
} // namespace

TCaptureSink::TCaptureSink(const std::string& fileName)
    : fileName(fileName), file(QString::fromStdString(fileName))
{
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw Exception(FileCreateErrorText(fileName, errno));
}

TCaptureSink::~TCaptureSink()
{
    Flush();
}

void TCaptureSink::Receive(std::string_view bytes)
{
    if (!error.empty())
        return;
    batch.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (batch.size() >= WriteBatch)
        Flush();
}

void TCaptureSink::Flush()
{
    if (batch.isEmpty())
        return;
    if (error.empty() && !WriteAll(file, batch.constData(), batch.size()))
        error = FileWriteErrorText(fileName, file.errorString().toStdString());
    batch.truncate(0);
}
