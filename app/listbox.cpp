#include "app/listbox.h"

#include "platform/text.h"

TListBox::TListBox(QWidget* parent) : QListView(parent), model(new QStringListModel(this))
{
    setModel(model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setDragEnabled(true);
}

int TListBox::Count() const
{
    return model->rowCount();
}

std::string TListBox::Item(int index) const
{
    return platform::ToStdString(model->index(index).data().toString());
}

std::vector<std::string> TListBox::Items() const
{
    std::vector<std::string> entries;
    const QStringList rows = model->stringList();
    entries.reserve(static_cast<std::size_t>(rows.size()));
    for (const QString& row : rows)
        entries.push_back(platform::ToStdString(row));
    return entries;
}

void TListBox::SetItems(const std::vector<std::string>& entries)
{
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(entries.size()));
    for (const std::string& entry : entries)
        rows.append(platform::ToQString(entry));
    model->setStringList(rows);
}

void TListBox::Add(const std::string& entry)
{
    AddMany({entry});
}

void TListBox::AddMany(const std::vector<std::string>& entries)
{
    if (entries.empty())
        return;
    const int first = model->rowCount();
    model->insertRows(first, static_cast<int>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i)
        model->setData(model->index(first + static_cast<int>(i)), platform::ToQString(entries[i]));
}

void TListBox::Delete(int index)
{
    if (index >= 0 && index < Count())
        model->removeRows(index, 1);
}

void TListBox::Clear()
{
    model->setStringList({});
}

bool TListBox::Contains(const std::string& text) const
{
    return model->stringList().contains(platform::ToQString(text), Qt::CaseInsensitive);
}

int TListBox::ItemIndex() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? current.row() : -1;
}

void TListBox::SetItemIndex(int index)
{
    if (index < 0 || index >= Count())
    {
        clearSelection();
        return;
    }
    const QModelIndex item = model->index(index);
    setCurrentIndex(item);
    scrollTo(item);
}

void TListBox::mouseReleaseEvent(QMouseEvent* event)
{
    QListView::mouseReleaseEvent(event);
    emit Clicked();
}

void TListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListView::mouseDoubleClickEvent(event);
    emit DoubleClicked();
}
