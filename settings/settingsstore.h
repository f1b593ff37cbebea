#pragma once

#include <cstdint>
#include <string>

#include <QJsonObject>

// How a value is kept in the store.
enum class TSettingsDataType
{
    Unknown,
    String,
    ExpandString,
    Integer
};

// The program's settings store: keys holding named, typed values (text, expandable text,
// 32-bit integer), kept in one JSON file. The top-level object maps key paths such as
// "SOFTWARE\Corvane\Kestrow\Settings" to their values; a value is {"type": ..., "data": ...}
// with the type "text", "expandable" or "integer". Value names match without regard to
// letter case. Every write is saved at once, atomically: a failed save leaves the file as
// it was before.
class TSettingsStore
{
  public:
    explicit TSettingsStore(std::string fileName);

    const std::string& FileName() const { return fileName; }

    // Opens a key for reading and writing. Without canCreate the file must exist and hold
    // the key; a file that cannot be read or parsed never opens. Returns whether the key is open.
    bool OpenKey(const std::string& key, bool canCreate);
    // Why the last OpenKey failed: the file's path and the reason (the parser's error and its
    // offset for a file that is no JSON); empty after a success.
    const std::string& LastError() const { return lastError; }
    void CloseKey();
    bool KeyExists(const std::string& key);

    bool ValueExists(const std::string& name) const;
    TSettingsDataType GetDataType(const std::string& name) const;

    // An absent text value reads as empty text. An absent integer raises Exception
    // "Failed to get data for '<name>'"; a value of another type raises
    // "Invalid data type for '<name>'".
    std::string ReadString(const std::string& name) const;
    int32_t ReadInteger(const std::string& name) const;
    bool ReadBool(const std::string& name) const;

    // Raise Exception "Failed to set data for '<name>'" when no key is open or the file
    // cannot be saved.
    void WriteString(const std::string& name, const std::string& value);
    void WriteExpandString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, int32_t value);
    void WriteBool(const std::string& name, bool value);

    // Writes between BeginUpdate and EndUpdate are saved together, in one atomic save, by
    // EndUpdate; it raises "Failed to set data for '<first name written>'" when that fails.
    void BeginUpdate();
    void EndUpdate();

  private:
    void Write(const std::string& name, const QJsonObject& value);
    bool Save() const;

    std::string fileName;
    std::string lastError;
    QJsonObject document;
    QJsonObject beforeUpdate;
    QString keyName;
    bool open = false;
    bool updating = false;
    bool pending = false;
    std::string firstPendingName;
};
