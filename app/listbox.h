#pragma once

#include <string>
#include <vector>

#include <QListView>

#include "robot/entrylist.h"

// A single-selection view of a work list. It shows the list it is given (the run's, so that
// the window and the run share one list) or a list of its own; the list's calls are here too.
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
    std::vector<std::string> Items() const { return entries->Items(); }
    void SetItems(const std::vector<std::string>& items) { entries->SetItems(items); }
    void Add(const std::string& entry) { entries->Add(entry); }
    void AddMany(const std::vector<std::string>& items) { entries->AddMany(items); }
    void Delete(int index) { entries->Delete(index); }
    void Clear() { entries->Clear(); }
    bool Contains(const std::string& text) const { return entries->Contains(text); }

    // The selected entry, or -1.
    int ItemIndex() const;
    void SetItemIndex(int index);

  signals:
    void Clicked();
    void DoubleClicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    TEntryList* entries;
};
