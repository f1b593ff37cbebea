#pragma once

#include <string>
#include <vector>

#include <QListView>

#include "robot/entrylist.h"

// A view of a work list. It shows the list it is given (the run's, so that the window and the
// run share one list) or a list of its own; the list's calls are here too. Several entries can
// be selected; the current entry (ItemIndex) is the one the run shows its place with. Entries
// show whole, with a horizontal scroll bar when one is wider than the view.
class TListBox : public QListView
{
    Q_OBJECT

  public:
    explicit TListBox(QWidget* parent = nullptr);

    // Shows another list (kept by its owner) instead of the view's own.
    void SetList(TEntryList* list);
    TEntryList& List() const { return *entries; }

    int Count() const { return entries->Count(); }
    std::string Item(int index) const { return entries->Item(index); }
    const std::vector<std::string>& Items() const { return entries->Items(); }
    void SetItems(std::vector<std::string> items) { entries->SetItems(std::move(items)); }
    void Add(const std::string& entry) { entries->Add(entry); }
    void AddMany(const std::vector<std::string>& items) { entries->AddMany(items); }
    void Delete(int index) { entries->Delete(index); }
    void Clear() { entries->Clear(); }
    bool Contains(const std::string& text) const { return entries->Contains(text); }

    // The current entry when it is selected, or -1.
    int ItemIndex() const;
    void SetItemIndex(int index);

    // The selected entries' positions, in list order.
    std::vector<int> SelectedRows() const;
    // Deletes the selected entries; the entry that takes the place of the first becomes the
    // current one, so that Delete can be pressed again.
    void DeleteSelected();

    // The height that shows rows whole entries above the horizontal scroll bar.
    int HeightForRows(int rows) const;
    // An entry wider than all before it was painted: the entries are laid out again, as wide.
    void WidthChanged();

    // Where the last request for the pop-up menu asked it to open, in screen coordinates.
    QPoint PopupPosition() const { return popupPosition; }

  signals:
    void Clicked();
    void DoubleClicked();
    void DeletePressed();
    // A right-click or the menu key asks for the pop-up menu.
    void PopupRequested();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    TEntryList* entries;
    QPoint popupPosition;
};
