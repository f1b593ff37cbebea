#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QAbstractItemModel>

class QFileSystemWatcher;

// The folder tree of the file system for the directory chooser and the list file dialog, with
// every name as the bytes it is: a folder or file whose name is no UTF-8 is listed like any
// other, and its path comes back as it stands on the disk. The one top row is "/"; a folder is
// read when it is first shown or asked for, and read again when it changes. Folders come
// first, then files, each in alphabetical order. Names that begin with "." are left out unless
// asked for by their path.
class TFolderModel : public QAbstractItemModel
{
    Q_OBJECT

  public:
    // With showFiles, the files of each folder are listed after its folders.
    explicit TFolderModel(bool showFiles, QObject* parent = nullptr);
    ~TFolderModel() override;

    // The files listed: those whose name matches one of the patterns ("*.kes"; "*" or none for
    // all). Folders read already are read again.
    void SetNameFilters(const std::vector<std::string>& patterns);

    // The row of an existing folder or file by its absolute path (reading the folders on the
    // way); invalid for one that does not exist.
    QModelIndex Index(const std::string& path);
    // The absolute path of a row ("/" for the top one).
    std::string Path(const QModelIndex& index) const;
    bool IsFolder(const QModelIndex& index) const;
    // Reads a folder that was read already once more: what came is put in its place in the
    // order, what went is taken out, and the rest (with what is open below it) stays.
    void Refresh(const std::string& folder);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

  signals:
    // A folder that changed on the disk is about to be brought up to date, and has been: what a
    // view shows may move meanwhile.
    void ChangeComing();
    void ChangeDone();

  private:
    struct TNode;
    struct TEntry
    {
        std::string name;
        bool folder;
    };

    TNode* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(TNode* node) const;
    std::string PathOf(const TNode* node) const;
    // What a folder holds now, in the model's order, the names that were asked for included.
    std::vector<TEntry> Read(const TNode* folder) const;
    bool Shown(const TEntry& entry) const;
    void List(TNode* folder);
    void Update(TNode* folder);
    void Watch(const TNode* folder);
    void RefreshAll(TNode* node);

    std::unique_ptr<TNode> top;
    bool showFiles;
    std::vector<std::string> nameFilters;
    QFileSystemWatcher* watcher;
};

// Whether a name matches a pattern of "*" and "?" wildcards, ignoring the letter case of a-z.
bool MatchesPattern(const std::string& name, const std::string& pattern);
