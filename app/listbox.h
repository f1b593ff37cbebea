#pragma once

#include <string>
#include <vector>

#include <QListView>
#include <QStringListModel>

// A single-selection list of text entries on a model, so a million entries stay cheap.
class TListBox : public QListView
{
    Q_OBJECT

  public:
    explicit TListBox(QWidget* parent = nullptr);

    int Count() const;
    std::string Item(int index) const;
    std::vector<std::string> Items() const;
    void SetItems(const std::vector<std::string>& entries);
    void Add(const std::string& entry);
    void AddMany(const std::vector<std::string>& entries);
    void Delete(int index);
    void Clear();
    // True when an entry equal to the text, ignoring letter case, is listed.
    bool Contains(const std::string& text) const;

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
    QStringListModel* model;
};
