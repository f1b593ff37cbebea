#include "settings/settingsstore.h"

#include <cmath>
#include <utility>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QSaveFile>

#include "platform/exception.h"
#include "platform/filebytes.h"
#include "platform/widgettext.h"

namespace
{
const QString TypeText = QStringLiteral("text");
const QString TypeExpandable = QStringLiteral("expandable");
const QString TypeInteger = QStringLiteral("integer");
const QString FieldType = QStringLiteral("type");
const QString FieldData = QStringLiteral("data");

// Names of keys and values are compared without regard to letter case; the spelling
// already stored is kept.
QString FindName(const QJsonObject& object, const QString& name)
{
    if (object.contains(name))
        return name;
    for (auto it = object.begin(); it != object.end(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.key();
    return {};
}

// A settings file is small; anything larger is not one (and /dev/zero would never end).
constexpr qint64 MaxSettingsBytes = 16 * 1024 * 1024;

// The document of the file, or nothing when it is missing, unreadable or not a JSON object;
// then reason says why, naming the file.
bool Load(const std::string& fileName, QJsonObject& document, bool& missing, std::string& reason)
{
    QFile file(platform::ToQString(fileName));
    missing = !file.exists();
    if (missing)
    {
        reason = fileName + ": the file does not exist";
        return false;
    }
    // A FIFO named as the settings file would block the open for ever: only a regular file is read.
    QByteArray text;
    try
    {
        text = QByteArray::fromStdString(ReadFileBytes(fileName, MaxSettingsBytes));
    }
    catch (const Exception& error)
    {
        reason = error.Message();
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument parsed = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
    {
        reason = fileName + ": " + platform::ToStdString(error.errorString()) + " at offset " +
                 std::to_string(error.offset);
        return false;
    }
    if (!parsed.isObject())
    {
        reason = fileName + ": no settings object";
        return false;
    }
    document = parsed.object();
    return true;
}

TSettingsDataType TypeOf(const QJsonValue& value)
{
    if (!value.isObject())
        return TSettingsDataType::Unknown;
    const QJsonObject object = value.toObject();
    const QJsonValue type = object.value(FieldType);
    const QJsonValue data = object.value(FieldData);
    if (type == TypeText && data.isString())
        return TSettingsDataType::String;
    if (type == TypeExpandable && data.isString())
        return TSettingsDataType::ExpandString;
    if (type == TypeInteger && data.isDouble())
    {
        // A 32-bit value, as signed or unsigned number; anything else is not an integer value.
        const double number = data.toDouble();
        if (std::floor(number) == number && number >= -2147483648.0 && number <= 4294967295.0)
            return TSettingsDataType::Integer;
    }
    return TSettingsDataType::Unknown;
}

QJsonObject Value(const QString& type, const QJsonValue& data)
{
    return QJsonObject{{FieldType, type}, {FieldData, data}};
}

std::string Quoted(const std::string& name)
{
    return "'" + name + "'";
}
} // namespace

TSettingsStore::TSettingsStore(std::string fileName) : fileName(std::move(fileName)) {}

bool TSettingsStore::OpenKey(const std::string& key, bool canCreate)
{
    CloseKey();
    QJsonObject loaded;
    bool missing = false;
    lastError.clear();
    if (!Load(fileName, loaded, missing, lastError) && !(missing && canCreate))
        return false;
    lastError.clear();
    const QString wanted = platform::ToQString(key);
    QString found = FindName(loaded, wanted);
    if (found.isEmpty())
    {
        if (!canCreate)
        {
            lastError = fileName + ": the key is missing";
            return false;
        }
        found = wanted;
        loaded.insert(found, QJsonObject());
    }
    else if (!loaded.value(found).isObject())
    {
        lastError = fileName + ": the key holds no values";
        return false;
    }
    document = loaded;
    keyName = found;
    open = true;
    return true;
}

void TSettingsStore::CloseKey()
{
    open = false;
    updating = false;
    pending = false;
    document = QJsonObject();
    keyName.clear();
}

bool TSettingsStore::KeyExists(const std::string& key)
{
    QJsonObject loaded;
    bool missing = false;
    std::string reason;
    if (!Load(fileName, loaded, missing, reason))
        return false;
    const QString found = FindName(loaded, platform::ToQString(key));
    return !found.isEmpty() && loaded.value(found).isObject();
}

bool TSettingsStore::ValueExists(const std::string& name) const
{
    return open && !FindName(document.value(keyName).toObject(), platform::ToQString(name)).isEmpty();
}

TSettingsDataType TSettingsStore::GetDataType(const std::string& name) const
{
    if (!open)
        return TSettingsDataType::Unknown;
    const QJsonObject values = document.value(keyName).toObject();
    const QString found = FindName(values, platform::ToQString(name));
    return found.isEmpty() ? TSettingsDataType::Unknown : TypeOf(values.value(found));
}

std::string TSettingsStore::ReadString(const std::string& name) const
{
    if (!ValueExists(name))
        return {};
    const TSettingsDataType type = GetDataType(name);
    if (type != TSettingsDataType::String && type != TSettingsDataType::ExpandString)
        throw Exception("Invalid data type for " + Quoted(name));
    const QJsonObject values = document.value(keyName).toObject();
    const QJsonObject value = values.value(FindName(values, platform::ToQString(name))).toObject();
    return platform::ToStdString(value.value(FieldData).toString());
}

int32_t TSettingsStore::ReadInteger(const std::string& name) const
{
    if (!ValueExists(name))
        throw Exception("Failed to get data for " + Quoted(name));
    if (GetDataType(name) != TSettingsDataType::Integer)
        throw Exception("Invalid data type for " + Quoted(name));
    const QJsonObject values = document.value(keyName).toObject();
    const QJsonObject value = values.value(FindName(values, platform::ToQString(name))).toObject();
    const double number = value.value(FieldData).toDouble();
    // Unsigned values above the signed range come back as their 32-bit pattern.
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(number)));
}

bool TSettingsStore::ReadBool(const std::string& name) const
{
    return ReadInteger(name) != 0;
}

void TSettingsStore::WriteString(const std::string& name, const std::string& value)
{
    Write(name, Value(TypeText, platform::ToQString(value)));
}

void TSettingsStore::WriteExpandString(const std::string& name, const std::string& value)
{
    Write(name, Value(TypeExpandable, platform::ToQString(value)));
}

void TSettingsStore::WriteInteger(const std::string& name, int32_t value)
{
    Write(name, Value(TypeInteger, static_cast<qint64>(value)));
}

void TSettingsStore::WriteBool(const std::string& name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

void TSettingsStore::BeginUpdate()
{
    if (!updating)
        beforeUpdate = document;
    updating = true;
}

void TSettingsStore::EndUpdate()
{
    updating = false;
    if (!pending)
        return;
    pending = false;
    if (!Save())
    {
        document = beforeUpdate;
        throw Exception("Failed to set data for " + Quoted(firstPendingName));
    }
}

void TSettingsStore::Write(const std::string& name, const QJsonObject& value)
{
    if (!open)
        throw Exception("Failed to set data for " + Quoted(name));
    const QJsonObject before = document;
    QJsonObject values = document.value(keyName).toObject();
    QString found = FindName(values, platform::ToQString(name));
    if (found.isEmpty())
        found = platform::ToQString(name);
    values.insert(found, value);
    document.insert(keyName, values);
    if (updating)
    {
        if (!pending)
            firstPendingName = name;
        pending = true;
        return;
    }
    if (!Save())
    {
        // The file still holds the old value; so does the key as this object sees it.
        document = before;
        throw Exception("Failed to set data for " + Quoted(name));
    }
}

bool TSettingsStore::Save() const
{
    const QString path = platform::ToQString(fileName);
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    // QSaveFile writes a temporary file beside the real one and renames it over the old
    // file only when everything was written, so a failure or a crash never leaves half a file.
    // Unbuffered, so that a short write (a full disk) shows in write() itself: a buffered
    // QSaveFile can lose the error of its final flush and commit a truncated file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray bytes = QJsonDocument(document).toJson(QJsonDocument::Indented);
    if (file.write(bytes) != bytes.size())
    {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
