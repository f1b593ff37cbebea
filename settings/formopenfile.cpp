#include "settings/formopenfile.h"

#include <filesystem>
#include <system_error>

#include <QComboBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeView>

#include "platform/prompt.h"
#include "platform/widgettext.h"
#include "settings/foldermodel.h"

namespace
{
// The patterns of a filter such as "Kestrow files (*.kes)": the words between the brackets.
std::vector<std::string> PatternsOf(const QString& filter)
{
    const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
    const qsizetype close = filter.lastIndexOf(QLatin1Char(')'));
    std::vector<std::string> patterns;
    if (open < 0 || close < open)
        return patterns;
    for (const QString& pattern :
         filter.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        patterns.push_back(platform::ToStdString(pattern));
    return patterns;
}

std::string ParentOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}
} // namespace

TFormOpenFile::TFormOpenFile(const QString& caption, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(caption);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    setFont(font);
    setFixedSize(420, 400);

    FileModel = new TFolderModel(true, this);
    TreeFiles = new QTreeView(this);
    TreeFiles->setGeometry(8, 8, 404, 268);
    TreeFiles->setModel(FileModel);
    TreeFiles->header()->hide();
    TreeFiles->setRootIndex(FileModel->Index("/"));
    TreeFiles->setToolTip(QStringLiteral("Double-click a file to open it"));

    LabelFolder = new QLabel(this);
    LabelFolder->setGeometry(8, 280, 404, 18);
    LabelFolder->setTextFormat(Qt::PlainText);
    auto* nameLabel = new QLabel(QStringLiteral("File name"), this);
    nameLabel->setGeometry(8, 306, 80, 22);
    EditFileName = new QLineEdit(this);
    EditFileName->setGeometry(92, 306, 320, 22);
    auto* kindLabel = new QLabel(QStringLiteral("Files of type"), this);
    kindLabel->setGeometry(8, 334, 80, 22);
    ComboBoxFilter = new QComboBox(this);
    ComboBoxFilter->setGeometry(92, 334, 320, 22);

    BitBtnOk =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogOpenButton), QStringLiteral("Open"), this);
    BitBtnOk->setGeometry(244, 366, 80, 28);
    BitBtnOk->setDefault(true);
    BitBtnCancel =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    BitBtnCancel->setGeometry(332, 366, 80, 28);

    connect(TreeFiles->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { ItemChosen(current); });
    connect(TreeFiles, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& item)
            {
                if (!FileModel->IsFolder(item))
                    accept();
            });
    connect(ComboBoxFilter, &QComboBox::currentIndexChanged, this,
            [this] { FileModel->SetNameFilters(PatternsOf(ComboBoxFilter->currentText())); });
    connect(BitBtnOk, &QPushButton::clicked, this, &TFormOpenFile::accept);
    connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    ShowFolder("/");
}

void TFormOpenFile::SetNameFilters(const QStringList& filters)
{
    ComboBoxFilter->clear();
    ComboBoxFilter->addItems(filters);
}

QStringList TFormOpenFile::NameFilters() const
{
    QStringList filters;
    for (int item = 0; item < ComboBoxFilter->count(); ++item)
        filters << ComboBoxFilter->itemText(item);
    return filters;
}

void TFormOpenFile::SelectNameFilter(const QString& filter)
{
    const int item = ComboBoxFilter->findText(filter);
    if (item >= 0)
        ComboBoxFilter->setCurrentIndex(item);
}

void TFormOpenFile::ShowFolder(const std::string& path)
{
    folder = path;
    LabelFolder->setText(LabelFolder->fontMetrics().elidedText(platform::ToQString(path), Qt::ElideLeft,
                                                               LabelFolder->width()));
    LabelFolder->setToolTip(platform::ToQString(path));
}

void TFormOpenFile::SetDirectory(const std::string& path)
{
    std::string directory = path;
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    const QModelIndex item = FileModel->Index(directory);
    if (!item.isValid() || !FileModel->IsFolder(item))
        return;
    TreeFiles->setCurrentIndex(item);
    TreeFiles->expand(item);
    TreeFiles->scrollTo(item, QAbstractItemView::PositionAtTop);
    ShowFolder(directory);
}

void TFormOpenFile::SelectFile(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        SetDirectory(ParentOf(name));
    EditFileName->setText(platform::ToQString(name.substr(name.rfind('/') + 1)));
    const QModelIndex item =
        FileModel->Index((folder == "/" ? "" : folder) + "/" + name.substr(name.rfind('/') + 1));
    if (item.isValid())
    {
        TreeFiles->setCurrentIndex(item);
        TreeFiles->scrollTo(item);
    }
}

void TFormOpenFile::ItemChosen(const QModelIndex& item)
{
    if (!item.isValid())
        return;
    const std::string path = FileModel->Path(item);
    if (FileModel->IsFolder(item))
    {
        ShowFolder(path);
        return;
    }
    ShowFolder(ParentOf(path));
    EditFileName->setText(platform::ToQString(path.substr(path.rfind('/') + 1)));
}

void TFormOpenFile::accept()
{
    const std::string name = platform::ToStdString(EditFileName->text());
    if (name.empty())
        return;
    const std::string path = name.front() == '/' ? name : (folder == "/" ? "" : folder) + "/" + name;
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
    {
        // A folder typed as the name is opened in the tree, as a double-click would.
        SetDirectory(path);
        EditFileName->clear();
        return;
    }
    if (!std::filesystem::exists(path, error))
    {
        platform::ShowMessage(path + "\r\nFile not found.");
        return;
    }
    selected = path;
    QDialog::accept();
}
