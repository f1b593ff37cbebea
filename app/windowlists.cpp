// The window's work lists: their pop-up menu, list files, the clipboard, the preview of an
// entry, the URL builder, and the URL List kept for the next start.
#include "app/formkestrow.h"

#include <algorithm>
#include <filesystem>

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>

#include "app/listbox.h"
#include "links/formurlbuilder.h"
#include "links/listfile.h"
#include "platform/bytetext.h"
#include "platform/exception.h"
#include "platform/programdirectory.h"
#include "platform/prompt.h"
#include "platform/widgettext.h"
#include "robot/programfiles.h"
#include "robot/savepaths.h"
#include "settings/formopenfile.h"

namespace
{
// The key code of Delete, as the list's key handler receives it.
constexpr int KeyDelete = 46;

// The URL List's entries on the clipboard as the bytes they are.
constexpr const char* EntriesMimeType = "application/x-kestrow-entries";

QFileDialog* MakeSaveDialog(QWidget* parent)
{
    auto* dialog = new QFileDialog(parent, QStringLiteral("Save As"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters({QStringLiteral("Kestrow files (*.kes)"), QStringLiteral("All files (*)")});
    // Where the program keeps its own files: beside it, or in the data folder when the program's
    // folder cannot be written.
    dialog->setDirectory(platform::ToQString(platform::DataDirectory()));
    dialog->selectFile(QStringLiteral("URLList.kes"));
    return dialog;
}
} // namespace

void TFormKestrow::CreatePopupMenu()
{
    PopupMenu = new QMenu(this);
    PopupMenuDelete = PopupMenu->addAction(QStringLiteral("&Delete"));
    PopupMenuDeleteAll = PopupMenu->addAction(QStringLiteral("Delete &All"));
    N1 = PopupMenu->addSeparator();
    PopupMenuSave = PopupMenu->addAction(QStringLiteral("&Save..."));
    PopupMenuLoad = PopupMenu->addAction(QStringLiteral("&Load..."));
    N2 = PopupMenu->addSeparator();
    PopupMenuCopy = PopupMenu->addAction(QStringLiteral("&Copy"));
    PopupMenuPaste = PopupMenu->addAction(QStringLiteral("&Paste"));
    for (QAction* item :
         {PopupMenuDelete, PopupMenuDeleteAll, PopupMenuSave, PopupMenuLoad, PopupMenuCopy, PopupMenuPaste})
        Connect(item, &QAction::triggered, [this, item] { PopupMenuClick(item); });

    // Opening lists files by their bytes, so that a name in another code page can be chosen too.
    OpenDialog = new TFormOpenFile(QStringLiteral("Open"), this);
    OpenDialog->SetNameFilters({QStringLiteral("Kestrow files (*.kes)"), QStringLiteral("All files (*)")});
    OpenDialog->SetDirectory(platform::DataDirectory());
    OpenDialog->SelectFile("URLList.kes");
    SaveDialog1 = MakeSaveDialog(this);

    Connect(ListBoxURLList, &TListBox::PopupRequested, [this] { OpenPopupMenu(ListBoxURLList); });
    Connect(ListBoxFileList, &TListBox::PopupRequested, [this] { OpenPopupMenu(ListBoxFileList); });
    Connect(ListBoxURLList, &TListBox::DoubleClicked, [this] { ListBoxURLListDblClick(); });
    Connect(ListBoxURLList, &TListBox::DeletePressed, [this] { ListBoxURLListKeyDown(KeyDelete); });
    Connect(ButtonBuild, &QPushButton::clicked, [this] { ButtonBuildClick(); });
}

void TFormKestrow::OpenPopupMenu(TListBox* list)
{
    PopupComponent = list;
    PopupMenuPopup();
    PopupMenu->exec(list->PopupPosition());
}

void TFormKestrow::PopupMenuPopup()
{
    const bool onURLList = PopupComponent != ListBoxFileList;
    const bool urlsListed = ListBoxURLList->Count() > 0;
    for (QAction* item :
         {N1, N2, PopupMenuDelete, PopupMenuDeleteAll, PopupMenuLoad, PopupMenuCopy, PopupMenuPaste})
        item->setVisible(onURLList);
    PopupMenuDelete->setEnabled(urlsListed);
    PopupMenuDeleteAll->setEnabled(urlsListed);
    PopupMenuSave->setEnabled(onURLList ? urlsListed : ListBoxFileList->Count() > 0);
    PopupMenuCopy->setEnabled(urlsListed);
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    PopupMenuPaste->setEnabled(clipboard && clipboard->hasText());
}

void TFormKestrow::PopupMenuClick(QAction* item)
{
    TListBox* list = PopupComponent ? PopupComponent : ListBoxURLList;
    try
    {
        if (item == PopupMenuDelete)
            list->DeleteSelected();
        else if (item == PopupMenuDeleteAll && list->Count() > 0 &&
                 platform::Confirm("Delete all " + std::to_string(list->Count()) + " entries of the " +
                                   (list == ListBoxURLList ? "URL List?" : "File List?")))
        {
            if (list == ListBoxURLList)
                ListBoxFileList->Clear();
            list->Clear();
        }
        else if (item == PopupMenuSave && list == ListBoxURLList)
            SaveListAs();
        else if (item == PopupMenuSave)
        {
            const std::string fileName = MakeFileName(TFixedFile::FileList);
            ListBoxFileList->List().SaveFile(fileName);
            platform::ShowMessage("Saved to " + fileName);
        }
        else if (item == PopupMenuLoad && list == ListBoxURLList)
            LoadListFrom();
        else if (item == PopupMenuCopy)
            CopyEntries();
        else if (item == PopupMenuPaste)
            PasteEntries();
    }
    catch (const std::exception& error)
    {
        platform::ShowMessage(error.what());
    }
    ListsChanged();
}

void TFormKestrow::ListsChanged()
{
    // An emptied URL List leaves nothing for a run's bars and totals to stand for.
    if (ListBoxURLList->Count() == 0 && !Robot->RunActive())
        ClearProgress();
    UpdateControls();
}

void TFormKestrow::SaveListAs()
{
    if (SaveDialog1->exec() != QDialog::Accepted || SaveDialog1->selectedFiles().isEmpty())
        return;
    std::string fileName = platform::ToStdString(SaveDialog1->selectedFiles().front());
    if (fileName.find('.') == std::string::npos)
    {
        fileName += ".kes";
        // The dialog asked about the name without the extension, if at all.
        std::error_code error;
        if (std::filesystem::exists(fileName, error) &&
            !platform::Confirm(fileName + " already exists.\r\nDo you want to replace it?"))
            return;
        SaveDialog1->selectFile(platform::ToQString(fileName));
    }
    ListBoxURLList->List().SaveFile(fileName);
}

void TFormKestrow::LoadListFrom()
{
    if (OpenDialog->exec() != QDialog::Accepted || OpenDialog->SelectedFile().empty())
        return;
    LoadURLList(OpenDialog->SelectedFile());
}

void TFormKestrow::CopyEntries()
{
    const std::vector<std::string>& entries = ListBoxURLList->List().Items();
    std::string text;
    const auto copy = [&](const std::string& entry)
    {
        text += entry;
        text += "\r\n";
    };
    const std::vector<int> selected = ListBoxURLList->SelectedRows();
    if (selected.empty())
        std::for_each(entries.begin(), entries.end(), copy);
    else
        for (const int row : selected)
            copy(entries[static_cast<std::size_t>(row)]);
    // Other programs get text; a paste here gets the bytes, so that an entry that is no UTF-8
    // comes back as it was.
    auto* data = new QMimeData();
    data->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    data->setData(EntriesMimeType, QByteArray::fromStdString(text));
    QGuiApplication::clipboard()->setMimeData(data);
}

void TFormKestrow::PasteEntries()
{
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    if (!clipboard || !clipboard->hasText())
        return;
    const std::string outputDir = "->" + OutputDirectoryForEntries();
    std::vector<std::string> entries = ListBoxURLList->List().Items();
    for (std::string& entry : entries)
        if (entry.find("->") == std::string::npos)
            entry += outputDir;
    const std::string pasted = clipboard->hasFormat(EntriesMimeType)
                                   ? clipboard->data(EntriesMimeType).toStdString()
                                   : platform::ToStdString(clipboard->text());
    for (std::string& line : ParseListText(pasted))
    {
        // A blank line would become an entry without an address, which every run fails.
        if (bytetext::Trim(line).empty())
            continue;
        if (line.find("->") == std::string::npos)
            line += outputDir;
        entries.push_back(std::move(line));
    }
    ListBoxURLList->SetItems(std::move(entries));
}

void TFormKestrow::ClearProgress()
{
    ListProgress(0, 0, "");
    FileProgress(0, 0);
    Statistics("");
}

void TFormKestrow::ListBoxURLListDblClick()
{
    const int index = ListBoxURLList->ItemIndex();
    if (index < 0 || Robot->RunActive() || Robot->PreviewActive())
        return;
    ClearProgress();
    SetStatusPanel(1, "");
    Robot->StartPreview(ListBoxURLList->Item(index),
                        [this](const std::string& failure)
                        {
                            if (failure.empty())
                                return;
                            // What came instead of the page (an error page, a part of it) is no
                            // progress.
                            FileProgress(0, 0);
                            platform::ShowMessage(failure);
                        });
}

void TFormKestrow::ListBoxURLListKeyDown(int key)
{
    if (key != KeyDelete)
        return;
    ListBoxURLList->DeleteSelected();
    ListsChanged();
}

void TFormKestrow::ButtonBuildClick()
{
    if (!FormURLBuilder)
        return;
    FormURLBuilder->show();
    FormURLBuilder->raise();
    FormURLBuilder->activateWindow();
}

void TFormKestrow::AttachURLBuilder(TFormURLBuilder* urlBuilder)
{
    FormURLBuilder = urlBuilder;
    FormURLBuilder->OutputDirectory = [this] { return OutputDirectoryForEntries(); };
    FormURLBuilder->OnAddURLs = [this](const QStringList& lines)
    {
        std::vector<std::string> entries;
        entries.reserve(static_cast<std::size_t>(lines.size()));
        bool blank = true;
        for (const QString& line : lines)
        {
            entries.push_back(platform::ToStdString(line));
            blank = blank && bytetext::Trim(entries.back()).empty();
        }
        // An emptied sample would wipe the list, and the next start would find it empty too.
        if (blank)
        {
            platform::ShowMessage("The sample is empty: the URL List is left as it was.");
            return;
        }
        ListBoxURLList->SetItems(std::move(entries));
        UpdateControls();
    };
}

bool TFormKestrow::SaveURLListForNextStart()
{
    const std::string fileName = MakeFileName(TFixedFile::URLList);
    try
    {
        ListBoxURLList->List().SaveFile(fileName, true);
        return true;
    }
    catch (const std::exception& error)
    {
        platform::ShowMessage(std::string("The URL List could not be kept for the next start.\r\n") +
                              error.what());
        return false;
    }
}

void TFormKestrow::LoadURLListOfLastTime()
{
    const std::string fileName = MakeFileName(TFixedFile::URLList);
    std::error_code error;
    if (!std::filesystem::exists(fileName, error))
        return;
    try
    {
        LoadURLList(fileName);
    }
    catch (const std::exception& failure)
    {
        platform::ShowMessage(failure.what());
    }
}
