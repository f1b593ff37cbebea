#include "settings/foldermodel.h"

#include <algorithm>
#include <unordered_set>

#include <dirent.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileIconProvider>
#include <QFileSystemWatcher>

#include "platform/bytetext.h"
#include "platform/widgettext.h"

struct TFolderModel::TNode
{
    std::string name;
    bool folder = true;
    // Read at least once; only then are its rows there.
    bool listed = false;
    // A name left out of listings ("." in front) that was asked for by its path, and stays.
    bool asked = false;
    TNode* parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<TNode>> children;

    void Renumber()
    {
        for (std::size_t i = 0; i < children.size(); ++i)
            children[i]->row = static_cast<int>(i);
    }
    TNode* Child(const std::string& childName) const
    {
        for (const auto& child : children)
            if (child->name == childName)
                return child.get();
        return nullptr;
    }
};

namespace
{
// Folders first, then files; in each, the names in alphabetical order (a-z without regard to
// case), and names that differ only in case by their bytes.
bool ListedBefore(const std::string& a, bool aFolder, const std::string& b, bool bFolder)
{
    if (aFolder != bFolder)
        return aFolder;
    const std::string upperA = bytetext::UpperCase(a);
    const std::string upperB = bytetext::UpperCase(b);
    return upperA != upperB ? upperA < upperB : a < b;
}

std::vector<std::string> PathParts(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < path.size())
    {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start && path.compare(start, end - start, ".") != 0)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Whether the path names a folder, following links; false too when it does not exist.
bool IsFolderPath(const std::string& path, bool& exists)
{
    struct stat status;
    exists = ::stat(path.c_str(), &status) == 0;
    return exists && S_ISDIR(status.st_mode);
}
} // namespace

bool MatchesPattern(const std::string& name, const std::string& pattern)
{
    // The usual wildcard walk: on a mismatch, "*" takes one more character.
    std::size_t n = 0, p = 0, star = std::string::npos, resume = 0;
    while (n < name.size())
    {
        if (p < pattern.size() &&
            (pattern[p] == '?' || bytetext::Upper(pattern[p]) == bytetext::Upper(name[n])))
        {
            ++n;
            ++p;
        }
        else if (p < pattern.size() && pattern[p] == '*')
        {
            star = p++;
            resume = n;
        }
        else if (star != std::string::npos)
        {
            p = star + 1;
            n = ++resume;
        }
        else
            return false;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

TFolderModel::TFolderModel(bool showFiles, QObject* parent)
    : QAbstractItemModel(parent), top(std::make_unique<TNode>()), showFiles(showFiles),
      watcher(new QFileSystemWatcher(this))
{
    top->name.assign(1, '/');
    connect(watcher, &QFileSystemWatcher::directoryChanged, this,
            [this](const QString& folder) { Refresh(QFile::encodeName(folder).toStdString()); });
}

TFolderModel::~TFolderModel() = default;

void TFolderModel::SetNameFilters(const std::vector<std::string>& patterns)
{
    nameFilters.clear();
    for (const std::string& pattern : patterns)
        if (pattern != "*" && pattern != "*.*")
            nameFilters.push_back(pattern);
        else
        {
            nameFilters.clear();
            break;
        }
    RefreshAll(top.get());
}

void TFolderModel::RefreshAll(TNode* node)
{
    if (!node->listed)
        return;
    Update(node);
    for (const auto& child : node->children)
        RefreshAll(child.get());
}

TFolderModel::TNode* TFolderModel::NodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<TNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TFolderModel::IndexOf(TNode* node) const
{
    if (!node)
        return {};
    return createIndex(node == top.get() ? 0 : node->row, 0, node);
}

std::string TFolderModel::PathOf(const TNode* node) const
{
    if (node == top.get())
        return "/";
    const std::string above = PathOf(node->parent);
    return above + (above == "/" ? "" : "/") + node->name;
}

bool TFolderModel::Shown(const TEntry& entry) const
{
    if (entry.folder)
        return true;
    if (!showFiles)
        return false;
    return nameFilters.empty() ||
           std::any_of(nameFilters.begin(), nameFilters.end(),
                       [&entry](const std::string& pattern) { return MatchesPattern(entry.name, pattern); });
}

std::vector<TFolderModel::TEntry> TFolderModel::Read(const TNode* folder) const
{
    std::vector<TEntry> entries;
    const std::string path = PathOf(folder);
    DIR* directory = ::opendir(path.c_str());
    if (!directory)
        return entries;
    std::unordered_set<std::string> asked;
    for (const auto& child : folder->children)
        if (child->asked)
            asked.insert(child->name);
    while (const dirent* item = ::readdir(directory))
    {
        const std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        const bool wasAsked = asked.count(name) > 0;
        if (name.front() == '.' && !wasAsked)
            continue;
        bool isFolder = item->d_type == DT_DIR;
        if (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN)
        {
            bool exists = false;
            isFolder = IsFolderPath(path + (path == "/" ? "" : "/") + name, exists);
        }
        const TEntry entry{name, isFolder};
        if (Shown(entry) || wasAsked)
            entries.push_back(entry);
    }
    ::closedir(directory);
    std::sort(entries.begin(), entries.end(),
              [](const TEntry& a, const TEntry& b)
              { return ListedBefore(a.name, a.folder, b.name, b.folder); });
    return entries;
}

void TFolderModel::List(TNode* folder)
{
    if (folder->listed || !folder->folder)
        return;
    // Read once: a view that hears of the rows may ask for them again before they are in.
    folder->listed = true;
    const std::vector<TEntry> entries = Read(folder);
    if (!entries.empty())
        beginInsertRows(IndexOf(folder), 0, static_cast<int>(entries.size()) - 1);
    for (const TEntry& entry : entries)
    {
        auto node = std::make_unique<TNode>();
        node->name = entry.name;
        node->folder = entry.folder;
        node->parent = folder;
        folder->children.push_back(std::move(node));
    }
    folder->Renumber();
    if (!entries.empty())
        endInsertRows();
    Watch(folder);
}

void TFolderModel::Update(TNode* folder)
{
    if (!folder->listed)
        return;
    emit ChangeComing();
    struct TDone
    {
        TFolderModel* model;
        ~TDone() { emit model->ChangeDone(); }
    } done{this};
    const std::vector<TEntry> entries = Read(folder);
    const QModelIndex parent = IndexOf(folder);
    std::unordered_set<std::string> names;
    for (const TEntry& entry : entries)
        names.insert(entry.name + (entry.folder ? '/' : '\0'));
    const auto present = [&names](const TNode& node)
    { return names.count(node.name + (node.folder ? '/' : '\0')) > 0; };
    for (int row = static_cast<int>(folder->children.size()) - 1; row >= 0; --row)
        if (!present(*folder->children[static_cast<std::size_t>(row)]))
        {
            beginRemoveRows(parent, row, row);
            folder->children.erase(folder->children.begin() + row);
            folder->Renumber();
            endRemoveRows();
        }
    // What is left is in the order of the entries read; each new one goes in its place.
    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        if (i < folder->children.size() && folder->children[i]->name == entries[i].name)
            continue;
        const int row = static_cast<int>(i);
        beginInsertRows(parent, row, row);
        auto node = std::make_unique<TNode>();
        node->name = entries[i].name;
        node->folder = entries[i].folder;
        node->parent = folder;
        folder->children.insert(folder->children.begin() + row, std::move(node));
        folder->Renumber();
        endInsertRows();
    }
}

void TFolderModel::Watch(const TNode* folder)
{
    // A folder whose path no text can name is read again only when asked.
    const QByteArray path = QByteArray::fromStdString(PathOf(folder));
    const QString named = QFile::decodeName(path);
    if (QFile::encodeName(named) == path)
        watcher->addPath(named);
}

void TFolderModel::Refresh(const std::string& folder)
{
    TNode* node = top.get();
    for (const std::string& part : PathParts(folder))
    {
        node = node->Child(part);
        if (!node)
            return;
    }
    Update(node);
}

QModelIndex TFolderModel::Index(const std::string& path)
{
    if (path.empty() || path.front() != '/')
        return {};
    TNode* node = top.get();
    for (const std::string& part : PathParts(path))
    {
        if (part == "..")
        {
            node = node->parent ? node->parent : node;
            continue;
        }
        List(node);
        TNode* child = node->Child(part);
        if (!child)
        {
            bool exists = false;
            const bool folder = IsFolderPath(PathOf(node) + (node == top.get() ? "" : "/") + part, exists);
            if (!exists)
                return {};
            // Made since the folder was read, or left out of its listing: it is shown from now on.
            auto asked = std::make_unique<TNode>();
            asked->name = part;
            asked->folder = folder;
            asked->asked = true;
            asked->parent = node;
            const auto place = std::find_if(node->children.begin(), node->children.end(),
                                            [&](const std::unique_ptr<TNode>& other) {
                                                return ListedBefore(part, folder, other->name, other->folder);
                                            });
            const int row = static_cast<int>(place - node->children.begin());
            beginInsertRows(IndexOf(node), row, row);
            child = asked.get();
            node->children.insert(place, std::move(asked));
            node->Renumber();
            endInsertRows();
        }
        node = child;
    }
    return IndexOf(node);
}

std::string TFolderModel::Path(const QModelIndex& index) const
{
    const TNode* node = NodeOf(index);
    return node ? PathOf(node) : std::string();
}

bool TFolderModel::IsFolder(const QModelIndex& index) const
{
    const TNode* node = NodeOf(index);
    return node && node->folder;
}

QModelIndex TFolderModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row == 0 ? createIndex(0, 0, top.get()) : QModelIndex();
    const TNode* node = NodeOf(parent);
    if (row >= static_cast<int>(node->children.size()))
        return {};
    return createIndex(row, 0, node->children[static_cast<std::size_t>(row)].get());
}

QModelIndex TFolderModel::parent(const QModelIndex& child) const
{
    const TNode* node = NodeOf(child);
    return node && node->parent ? IndexOf(node->parent) : QModelIndex();
}

int TFolderModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return 1;
    if (parent.column() != 0)
        return 0;
    return static_cast<int>(NodeOf(parent)->children.size());
}

int TFolderModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant TFolderModel::data(const QModelIndex& index, int role) const
{
    const TNode* node = NodeOf(index);
    if (!node)
        return {};
    if (role == Qt::DisplayRole)
        return platform::ToQString(node->name);
    if (role == Qt::DecorationRole)
    {
        static const QFileIconProvider icons;
        return icons.icon(node->folder ? QAbstractFileIconProvider::Folder : QAbstractFileIconProvider::File);
    }
    return {};
}

bool TFolderModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return true;
    const TNode* node = NodeOf(parent);
    return node->folder && (!node->listed || !node->children.empty());
}

bool TFolderModel::canFetchMore(const QModelIndex& parent) const
{
    const TNode* node = NodeOf(parent);
    return node && node->folder && !node->listed;
}

void TFolderModel::fetchMore(const QModelIndex& parent)
{
    if (TNode* node = NodeOf(parent))
        List(node);
}
