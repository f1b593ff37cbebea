#include "net/cookiefile.h"

#include <QFile>
#include <QSaveFile>

#include "platform/exception.h"
#include "platform/filebytes.h"

bool ReadCookieFile(const std::string& fileName, TCookieJar& jar, std::int64_t now,
                    std::vector<TCookieFileProblem>& problems, std::string& reason)
{
    std::string bytes;
    try
    {
        bytes = ReadFileBytes(fileName, MaxCookieFileBytes);
    }
    catch (const Exception& error)
    {
        reason = error.Message();
        return false;
    }
    TCookieFileContents contents = ParseCookieFile(bytes);
    for (TCookie& cookie : contents.Cookies)
        jar.Add(std::move(cookie), now);
    problems = std::move(contents.Problems);
    return true;
}

bool WriteCookieFile(const std::string& fileName, const TCookieJar& jar, std::int64_t now,
                     std::string& reason)
{
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(fileName)));
    const std::string text = CookieFileText(jar.Cookies(now));
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !file.commit())
    {
        reason = file.errorString().toStdString();
        return false;
    }
    return true;
}
