#include "robot/entrylist.h"

#include <algorithm>

#include "links/listfile.h"
#include "platform/text.h"

TEntryList::TEntryList(QObject* parent) : QStringListModel(parent) {}

int TEntryList::Count() const
{
    return rowCount();
}

std::string TEntryList::Item(int index) const
{
    return platform::ToStdString(this->index(index).data().toString());
}

std::vector<std::string> TEntryList::Items() const
{
    std::vector<std::string> entries;
    const QStringList rows = stringList();
    entries.reserve(static_cast<std::size_t>(rows.size()));
    for (const QString& row : rows)
        entries.push_back(platform::ToStdString(row));
    return entries;
}

void TEntryList::SetItems(const std::vector<std::string>& entries)
{
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(entries.size()));
    for (const std::string& entry : entries)
        rows.append(platform::ToQString(entry));
    setStringList(rows);
}

void TEntryList::Add(const std::string& entry)
{
    AddMany({entry});
}

void TEntryList::AddMany(const std::vector<std::string>& entries)
{
    if (entries.empty())
        return;
    const int first = rowCount();
    insertRows(first, static_cast<int>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i)
        setData(index(first + static_cast<int>(i)), platform::ToQString(entries[i]));
}

void TEntryList::Delete(int index)
{
    if (index >= 0 && index < Count())
        removeRows(index, 1);
}

void TEntryList::DeleteRows(std::vector<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(
        std::remove_if(rows.begin(), rows.end(), [this](int row) { return row < 0 || row >= Count(); }),
        rows.end());
    if (rows.empty())
        return;
    if (rows.back() - rows.front() + 1 == static_cast<int>(rows.size()))
    {
        removeRows(rows.front(), static_cast<int>(rows.size()));
        return;
    }
    // Scattered rows: one pass over the list rather than a removal (and a move of the rest) each.
    const QStringList old = stringList();
    QStringList kept;
    kept.reserve(old.size() - static_cast<qsizetype>(rows.size()));
    std::size_t next = 0;
    for (qsizetype row = 0; row < old.size(); ++row)
    {
        if (next < rows.size() && rows[next] == row)
            ++next;
        else
            kept.append(old[row]);
    }
    setStringList(kept);
}

void TEntryList::Clear()
{
    setStringList({});
}

void TEntryList::LoadFile(const std::string& fileName)
{
    QStringList rows;
    ReadListLines(fileName, [&rows](std::string_view line)
                  { rows.append(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()))); });
    setStringList(rows);
}

void TEntryList::SaveFile(const std::string& fileName, bool replace) const
{
    const QStringList rows = stringList();
    const TListEntryAt entryAt = [&rows](std::size_t index, std::string& text)
    { platform::AssignStdString(text, rows[static_cast<qsizetype>(index)]); };
    if (replace)
        ReplaceListFile(fileName, static_cast<std::size_t>(rows.size()), entryAt);
    else
        WriteListFile(fileName, static_cast<std::size_t>(rows.size()), entryAt);
}

bool TEntryList::Contains(const std::string& text) const
{
    return stringList().contains(platform::ToQString(text), Qt::CaseInsensitive);
}
