#include "net/nmuuprocessor.h"

#include <string>

#include "net/unitencrypt.h"
#include "platform/exception.h"

namespace
{
constexpr int BytesPerLine = 45;

std::string UUAlphabet()
{
    std::string alphabet = "`";
    for (char c = '!'; c <= '_'; ++c)
        alphabet += c;
    return alphabet;
}

void WriteLine(QIODevice* stream, const std::string& line)
{
    if (stream->write(line.data(), static_cast<qint64>(line.size())) != static_cast<qint64>(line.size()))
        throw Exception("Stream write error");
}
} // namespace

TNMUUProcessor::TNMUUProcessor(QObject* owner) : QObject(owner) {}

void TNMUUProcessor::Encode()
{
    if (!InputStream || !OutputStream)
        throw Exception("Stream not assigned");
    InputStream->seek(0);
    if (OnBeginEncode)
        OnBeginEncode(this);
    const bool mime = Method == UUMethods::uuMime;
    const std::string alphabet = mime ? std::string(Base64Alphabet) : UUAlphabet();
    try
    {
        char buffer[BytesPerLine];
        qint64 count;
        while ((count = InputStream->read(buffer, BytesPerLine)) > 0)
        {
            std::string line;
            if (!mime)
                line += alphabet[static_cast<std::size_t>(count % 64)];
            line += EncodeGroups(std::string_view(buffer, static_cast<std::size_t>(count)), alphabet, mime);
            WriteLine(OutputStream, line + "\r\n");
        }
        if (count < 0)
            throw Exception("Stream read error");
        if (!mime)
            WriteLine(OutputStream, alphabet.substr(0, 1) + "\r\n");
    }
    catch (...)
    {
        OutputStream->seek(0);
        if (OnEndEncode)
            OnEndEncode(this);
        throw;
    }
    OutputStream->seek(0);
    if (OnEndEncode)
        OnEndEncode(this);
}
