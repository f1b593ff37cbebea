#include "app/listbox.h"

TListBox::TListBox(QWidget* parent) : QListView(parent), entries(new TEntryList(this))
{
    setModel(entries);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setDragEnabled(true);
}

void TListBox::SetList(TEntryList* list)
{
    entries = list;
    setModel(list);
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
    const QModelIndex item = entries->index(index);
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
