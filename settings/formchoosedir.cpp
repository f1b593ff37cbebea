#include "settings/formchoosedir.h"

#include <filesystem>
#include <system_error>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStorageInfo>
#include <QStyle>
#include <QTreeView>

#include "platform/prompt.h"
#include "platform/widgettext.h"
#include "settings/foldermodel.h"
#include "settings/formnewdir.h"
#include "settings/placewindow.h"

namespace
{
// Volumes of the system's own machinery, which no one saves downloads to.
bool SystemVolume(const QString& root)
{
    for (const char* system : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot/efi"})
    {
        const QString prefix = QString::fromLatin1(system);
        if (root == prefix || root.startsWith(prefix + QLatin1Char('/')))
            return !root.startsWith(QStringLiteral("/run/media/"));
    }
    return false;
}

std::string WithoutFinalSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}
} // namespace

std::string DriveOfPath(const std::string& path)
{
    if (path.empty() || path.front() != '/')
        return {};
    std::error_code error;
    std::filesystem::path existing = std::filesystem::path(path).lexically_normal();
    while (!std::filesystem::exists(existing, error) && existing.has_relative_path())
        existing = existing.parent_path();
    // The volume of a folder whose name no text can hold is that of the folder above it.
    const auto named = [](const std::filesystem::path& path)
    {
        const QByteArray bytes = QByteArray::fromStdString(path.string());
        return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
    };
    while (!named(existing) && existing.has_relative_path())
        existing = existing.parent_path();
    const QStorageInfo volume(QFile::decodeName(QByteArray::fromStdString(existing.string())));
    return volume.isValid() ? QFile::encodeName(volume.rootPath()).toStdString() : std::string("/");
}

TFormChooseDir::TFormChooseDir(TSettingsRecord& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      Settings(settings)
{
    CreateControls();
    const std::string start = platform::ToStdString(QDir::currentPath());
    if (!SetDirectory(start))
        SetDirectory("/");
}

void TFormChooseDir::AttachNewDir(TFormNewDir* newDir)
{
    FormNewDir = newDir;
}

void TFormChooseDir::CreateControls()
{
    setWindowTitle(QStringLiteral("Choose directory"));
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    setFont(font);
    setFixedSize(320, 360);

    DriveComboBox1 = new QComboBox(this);
    DriveComboBox1->setGeometry(8, 8, 304, 24);
    DriveComboBox1->setToolTip(QStringLiteral("The drives (mounted volumes)"));

    DirectoryModel = new TFolderModel(false, this);
    DirectoryListBox = new QTreeView(this);
    DirectoryListBox->setGeometry(8, 38, 304, 256);
    // Folders that appear and go meanwhile move nothing in view: where the rows are is noted
    // before the view hears of the change, and put back after it has laid them out anew. Only
    // for changes on the disk: a folder read for the tree is read while the tree lays itself out.
    connect(DirectoryModel, &TFolderModel::ChangeComing, this, [this] { RememberScroll(); });
    DirectoryListBox->setModel(DirectoryModel);
    for (int column = 1; column < DirectoryModel->columnCount(); ++column)
        DirectoryListBox->hideColumn(column);
    DirectoryListBox->header()->hide();
    DirectoryListBox->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(DirectoryModel, &TFolderModel::ChangeDone, this, [this] { RestoreScroll(); });
    DirectoryListBox->setToolTip(QStringLiteral("right-click for menu"));
    DirectoryListBox->setContextMenuPolicy(Qt::CustomContextMenu);

    LabelDirectory = new QLabel(this);
    LabelDirectory->setGeometry(8, 298, 304, 18);
    LabelDirectory->setTextFormat(Qt::PlainText);

    PopupMenuCreateDir = new QMenu(this);
    MenuCreateDir = PopupMenuCreateDir->addAction(QStringLiteral("New Folder..."));

    BitBtnOk = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtnOk->setGeometry(144, 324, 80, 28);
    BitBtnOk->setDefault(true);
    BitBtnCancel =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    BitBtnCancel->setGeometry(232, 324, 80, 28);

    FillDrives();
    connect(DriveComboBox1, &QComboBox::activated, this, [this] { DriveComboBox1Change(); });
    connect(DirectoryListBox->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current)
            {
                if (current.isValid())
                    ShowDirectory(WithoutFinalSlash(DirectoryModel->Path(current)));
            });
    connect(DirectoryListBox, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at)
            { PopupMenuCreateDir->exec(DirectoryListBox->viewport()->mapToGlobal(at)); });
    connect(MenuCreateDir, &QAction::triggered, this, [this] { MenuCreateDirClick(); });
    connect(BitBtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormChooseDir::FillDrives()
{
    DriveComboBox1->clear();
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
    {
        const QString root = volume.rootPath();
        if (!volume.isValid() || !volume.isReady() || !QFileInfo(root).isDir() || SystemVolume(root) ||
            DriveComboBox1->findData(root) >= 0)
            continue;
        const QString name = volume.displayName();
        DriveComboBox1->addItem(name == root ? root : root + QStringLiteral("  [") + name + QLatin1Char(']'),
                                root);
    }
}

int TFormChooseDir::DriveItem(const std::string& root)
{
    const QString path = platform::ToQString(root);
    int item = DriveComboBox1->findData(path);
    if (item < 0)
    {
        DriveComboBox1->addItem(path, path);
        item = DriveComboBox1->count() - 1;
    }
    return item;
}

void TFormChooseDir::ShowDrive(const std::string& root)
{
    currentDrive = root;
    DriveComboBox1->setCurrentIndex(DriveItem(root));
    DirectoryListBox->setRootIndex(DirectoryModel->Index(root));
}

void TFormChooseDir::SetDrive(const std::string& root)
{
    std::error_code error;
    if (root.empty() || !std::filesystem::is_directory(root, error))
        return;
    ShowDrive(root);
    // As a drive list does, the tree goes to the drive it now shows.
    if (DriveOfPath(currentDirectory) != root)
        SetDirectory(root);
}

bool TFormChooseDir::SetDirectory(const std::string& directory)
{
    std::error_code error;
    if (directory.empty() || !std::filesystem::is_directory(directory, error))
        return false;
    std::string path = std::filesystem::absolute(directory, error).lexically_normal().string();
    path = WithoutFinalSlash(path);
    const std::string drive = DriveOfPath(path);
    if (drive != currentDrive)
        ShowDrive(drive);
    const QModelIndex item = DirectoryModel->Index(path);
    DirectoryListBox->setCurrentIndex(item);
    DirectoryListBox->expand(item);
    // In the middle, where a scroll bar that comes with the rows does not cover it.
    DirectoryListBox->scrollTo(item, QAbstractItemView::PositionAtCenter);
    ShowDirectory(path);
    return true;
}

void TFormChooseDir::ShowDirectory(const std::string& directory)
{
    currentDirectory = directory;
    const QString path = platform::ToQString(directory);
    // A long path keeps its end, where the folder chosen is.
    LabelDirectory->setText(
        LabelDirectory->fontMetrics().elidedText(path, Qt::ElideLeft, LabelDirectory->width()));
    LabelDirectory->setToolTip(path);
}

void TFormChooseDir::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormChooseDir::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous())
        FormHide();
    QDialog::hideEvent(event);
}

void TFormChooseDir::FormShow()
{
    DriveComboBox1->setCurrentIndex(DriveItem(DriveOfPath(currentDirectory)));
    PlaceWindow(this, Settings.FrmDirLoc);
}

void TFormChooseDir::FormHide()
{
    if (Settings.SettingsLoaded)
        Settings.FrmDirLoc = WindowLocation(this);
}

void TFormChooseDir::DriveComboBox1Change()
{
    SetDrive(platform::ToStdString(DriveComboBox1->currentData().toString()));
}

void TFormChooseDir::MenuCreateDirClick()
{
    std::string directory = currentDirectory;
    if (!FormNewDir || FormNewDir->exec() != QDialog::Accepted)
        return;
    if (!directory.empty() && directory.back() != '/')
        directory += '/';
    const std::string name = platform::ToStdString(FormNewDir->EditNewDir->text());
    directory += name;
    // One level inside the current folder: a name with "/", or "." and "..", would reach elsewhere.
    std::string reason;
    if (name.find('/') != std::string::npos)
        reason = "A folder name cannot hold '/'";
    else if (name == "." || name == "..")
        reason = "A folder name cannot be '" + name + "'";
    else
    {
        std::error_code error;
        if (!std::filesystem::create_directory(directory, error) || error)
            reason = error ? error.message() : "A file or folder of that name exists already";
    }
    if (!reason.empty())
        platform::ShowMessage("Cannot create directory " + directory + "\r\n" + reason);
    else
        SetDirectory(directory);
}

void TFormChooseDir::SetNearestDirectory(const std::string& path)
{
    SetDrive(DriveOfPath(path));
    std::filesystem::path nearest = std::filesystem::path(path).lexically_normal();
    if (!nearest.has_filename())
        nearest = nearest.parent_path();
    while (!nearest.empty() && !SetDirectory(nearest.string()) && nearest.has_relative_path())
        nearest = nearest.parent_path();
}

void TFormChooseDir::RememberScroll()
{
    // What the user looks at: the current folder when it is in view, else the top row.
    const QModelIndex current = DirectoryListBox->currentIndex();
    const QRect shown = DirectoryListBox->viewport()->rect();
    scrollAnchor = current.isValid() && shown.intersects(DirectoryListBox->visualRect(current))
                       ? current
                       : DirectoryListBox->indexAt(QPoint(1, 1));
    scrollAnchorTop = DirectoryListBox->visualRect(scrollAnchor).top();
}

void TFormChooseDir::RestoreScroll()
{
    if (!scrollAnchor.isValid())
        return;
    QScrollBar* bar = DirectoryListBox->verticalScrollBar();
    bar->setValue(bar->value() + DirectoryListBox->visualRect(scrollAnchor).top() - scrollAnchorTop);
}
