#pragma once

#include <vector>

class QItemSelectionModel;

// The rows a view has selected, in order, each once. Read from the selection's ranges, not its
// single indexes, so a million selected entries stay cheap.
std::vector<int> SelectedRows(const QItemSelectionModel& selection);
