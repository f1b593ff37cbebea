#include "net/capturesink.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "net/streamdigest.h"
#include "platform/exception.h"
#include "platform/filewrite.h"

namespace
{
// Far fewer system calls than one per chunk, and whole pages for the file system.
constexpr qsizetype WriteBatch = 256 * 1024;
} // namespace

TCaptureSink::TCaptureSink(const std::string& fileName, TBodyFraming framing, std::int64_t appendAt,
                           TStreamDigest* digest)
    : fileName(fileName), decoder(framing), digest(digest)
{
    const QIODevice::OpenMode mode =
        appendAt < 0 ? QIODevice::WriteOnly | QIODevice::Truncate : QIODevice::ReadWrite;
    if (!OpenFileByName(file, fileName, mode | QIODevice::Unbuffered))
        throw Exception(FileCreateErrorText(fileName, errno));
    if (appendAt >= 0 && (!file.resize(appendAt) || !file.seek(appendAt)))
        throw Exception(FileWriteErrorText(fileName, file.errorString().toStdString()));
    if (digest)
        digest->Begin(fileName, std::max<std::int64_t>(appendAt, 0));
}

TCaptureSink::~TCaptureSink()
{
    Flush();
}

void TCaptureSink::Receive(std::string_view bytes)
{
    if (!error.empty())
        return;
    const bool intact = decoder.Feed(bytes, [this](std::string_view body)
                                     { batch.append(body.data(), static_cast<qsizetype>(body.size())); });
    if (batch.size() >= WriteBatch || decoder.Complete())
        Flush();
    if (!intact && error.empty())
    {
        Flush();
        error = decoder.Error();
    }
}

void TCaptureSink::Flush()
{
    if (batch.isEmpty())
        return;
    if (error.empty() && !WriteAll(file, batch.constData(), batch.size()))
        error = FileWriteErrorText(fileName, file.errorString().toStdString());
    if (digest && error.empty())
    {
        // The block goes to the digest; the next batch takes a buffer it is done with.
        QByteArray next = digest->Spare();
        if (next.capacity() < WriteBatch * 2)
            next.reserve(WriteBatch * 2);
        digest->Feed(std::exchange(batch, std::move(next)));
    }
    else
        batch.truncate(0);
}
