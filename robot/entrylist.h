#pragma once

#include <string>
#include <vector>

#include <QAbstractListModel>

// One of the robot's work lists (the URL List, the File List) as a model of entries. Entries are
// bytes, kept as they were loaded, typed or found, and saved and fetched the same; only a view
// sees them as text. The run reads the list by index at every step, so an entry changed while
// the run goes on counts from the next step.
class TEntryList : public QAbstractListModel
{
    Q_OBJECT

  public:
    explicit TEntryList(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    int Count() const;
    // The entry at index, or an empty text outside the list.
    std::string Item(int index) const;
    const std::vector<std::string>& Items() const { return rows; }
    void SetItems(std::vector<std::string> entries);
    void Add(const std::string& entry);
    void AddMany(const std::vector<std::string>& entries);
    void Delete(int index);
    // Deletes the entries at the given positions (in any order; positions outside the list are
    // passed over).
    void DeleteRows(std::vector<int> rows);
    void Clear();
    // Replaces the entries by the lines of a list file; raises Exception, changing nothing, when
    // it cannot be read.
    void LoadFile(const std::string& fileName);
    // Writes the entries as a list file; with replace, a whole new file takes the old one's
    // place. Raises Exception.
    void SaveFile(const std::string& fileName, bool replace = false) const;
    // True when an entry equal to the text, ignoring the letter case of a-z, is listed.
    bool Contains(const std::string& text) const;
    // A word on where the entry stands ("waiting", "42 %", "done"), shown after it; the entry
    // itself stays as it is. Entries loaded or set afresh have none.
    void SetState(int index, const std::string& state);
    std::string State(int index) const;

  private:
    std::vector<std::string> rows;
    // As long as the rows up to the last one given a state.
    std::vector<std::string> states;
};
