#include "app/listbox.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include "platform/selectedrows.h"

namespace
{
// Lays every entry out as wide as the widest one painted so far, so that entries show whole and
// the view scrolls sideways to the rest. Measuring only what is painted keeps a list of a
// million entries as quick as one of ten.
class TWholeEntryDelegate : public QStyledItemDelegate
{
  public:
    explicit TWholeEntryDelegate(TListBox* view) : QStyledItemDelegate(view), view(view) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setWidth(std::max(size.width(), widest));
        return size;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int width = QStyledItemDelegate::sizeHint(option, index).width();
        if (width > widest)
        {
            widest = width;
            view->WidthChanged();
        }
        QStyledItemDelegate::paint(painter, option, index);
    }

    mutable int widest = 0;

  private:
    TListBox* view;
};
} // namespace

TListBox::TListBox(QWidget* parent) : QListView(parent), entries(new TEntryList(this))
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setItemDelegate(new TWholeEntryDelegate(this));
    setDragEnabled(true);
    SetList(entries);
}

void TListBox::SetList(TEntryList* list)
{
    if (model())
        disconnect(model(), nullptr, this, nullptr);
    entries = list;
    setModel(list);
    // A list loaded or emptied anew is measured anew, and so is one that lost entries: the
    // widest may have gone with them.
    connect(list, &QAbstractItemModel::modelReset, this,
            [this] { static_cast<TWholeEntryDelegate*>(itemDelegate())->widest = 0; });
    connect(list, &QAbstractItemModel::rowsRemoved, this,
            [this]
            {
                static_cast<TWholeEntryDelegate*>(itemDelegate())->widest = 0;
                WidthChanged();
            });
}

int TListBox::HeightForRows(int rows) const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features |= QStyleOptionViewItem::HasDisplay;
    option.text = QStringLiteral("Xg");
    const int row = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height();
    return rows * row + 2 * frameWidth() + horizontalScrollBar()->sizeHint().height();
}

void TListBox::WidthChanged()
{
    scheduleDelayedItemsLayout();
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
