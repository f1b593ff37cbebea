#include "robot/entrylist.h"

#include <algorithm>

#include "links/listfile.h"
#include "platform/bytetext.h"
#include "platform/widgettext.h"

TEntryList::TEntryList(QObject* parent) : QAbstractListModel(parent) {}

int TEntryList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

QVariant TEntryList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Count() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const std::string state = role == Qt::DisplayRole ? State(index.row()) : std::string();
    const std::string& row = rows[static_cast<std::size_t>(index.row())];
    return platform::ToQString(state.empty() ? row : row + "  (" + state + ")");
}

Qt::ItemFlags TEntryList::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

bool TEntryList::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > Count())
        return false;
    beginRemoveRows({}, row, row + count - 1);
    rows.erase(rows.begin() + row, rows.begin() + row + count);
    if (static_cast<int>(states.size()) > row)
        states.erase(states.begin() + row,
                     states.begin() + std::min<int>(row + count, static_cast<int>(states.size())));
    endRemoveRows();
    return true;
}

int TEntryList::Count() const
{
    return static_cast<int>(rows.size());
}

std::string TEntryList::Item(int index) const
{
    return index >= 0 && index < Count() ? rows[static_cast<std::size_t>(index)] : std::string();
}

void TEntryList::SetItems(std::vector<std::string> entries)
{
    beginResetModel();
    rows = std::move(entries);
    states.clear();
    endResetModel();
}

void TEntryList::Add(const std::string& entry)
{
    AddMany({entry});
}

void TEntryList::AddMany(const std::vector<std::string>& entries)
{
    if (entries.empty())
        return;
    const int first = Count();
    beginInsertRows({}, first, first + static_cast<int>(entries.size()) - 1);
    rows.insert(rows.end(), entries.begin(), entries.end());
    endInsertRows();
}

void TEntryList::Delete(int index)
{
    if (index >= 0 && index < Count())
        removeRows(index, 1);
}

void TEntryList::DeleteRows(std::vector<int> positions)
{
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    positions.erase(std::remove_if(positions.begin(), positions.end(),
                                   [this](int row) { return row < 0 || row >= Count(); }),
                    positions.end());
    if (positions.empty())
        return;
    if (positions.back() - positions.front() + 1 == static_cast<int>(positions.size()))
    {
        removeRows(positions.front(), static_cast<int>(positions.size()));
        return;
    }
    // Scattered rows: one pass over the list rather than a removal (and a move of the rest) each.
    std::vector<std::string> kept;
    kept.reserve(rows.size() - positions.size());
    std::size_t next = 0;
    for (std::size_t row = 0; row < rows.size(); ++row)
    {
        if (next < positions.size() && static_cast<std::size_t>(positions[next]) == row)
            ++next;
        else
            kept.push_back(std::move(rows[row]));
    }
    SetItems(std::move(kept));
}

void TEntryList::Clear()
{
    SetItems({});
}

void TEntryList::LoadFile(const std::string& fileName)
{
    // Read in pieces straight into the entries, as bytes: no second copy of the file is held.
    std::vector<std::string> entries;
    ReadListLines(fileName, [&entries](std::string_view line) { entries.emplace_back(line); });
    SetItems(std::move(entries));
}

void TEntryList::SaveFile(const std::string& fileName, bool replace) const
{
    if (replace)
        ReplaceListFile(fileName, rows);
    else
        WriteListFile(fileName, rows);
}

bool TEntryList::Contains(const std::string& text) const
{
    return std::any_of(rows.begin(), rows.end(),
                       [&text](const std::string& row) { return bytetext::EqualsNoCase(row, text); });
}

void TEntryList::SetState(int index, const std::string& state)
{
    if (index < 0 || index >= Count() || State(index) == state)
        return;
    if (static_cast<int>(states.size()) <= index)
        states.resize(static_cast<std::size_t>(index) + 1);
    states[static_cast<std::size_t>(index)] = state;
    const QModelIndex changed = this->index(index);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

std::string TEntryList::State(int index) const
{
    return index >= 0 && index < static_cast<int>(states.size()) ? states[static_cast<std::size_t>(index)]
                                                                 : std::string();
}
