#include "app/listbox.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QKeyEvent>

#include "platform/selectedrows.h"

TListBox::TListBox(QWidget* parent) : QListView(parent), entries(new TEntryList(this))
{
    setModel(entries);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
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
    selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
    scrollTo(item);
}

std::vector<int> TListBox::SelectedRows() const
{
    return ::SelectedRows(*selectionModel());
}

void TListBox::DeleteSelected()
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    entries->DeleteRows(rows);
    SetItemIndex(std::min(rows.front(), Count() - 1));
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

void TListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier)
    {
        emit DeletePressed();
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void TListBox::contextMenuEvent(QContextMenuEvent* event)
{
    popupPosition = event->globalPos();
    event->accept();
    emit PopupRequested();
}
