#include "platform/selectedrows.h"

#include <algorithm>

#include <QItemSelectionModel>

std::vector<int> SelectedRows(const QItemSelectionModel& selection)
{
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selection.selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}
