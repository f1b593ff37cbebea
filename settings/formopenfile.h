#pragma once

#include <string>

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;
class TFolderModel;

// The dialog that opens a list file: the folder tree with the files of each folder that are of
// the kind chosen, and the file's name, which may also be typed (a name in the folder, or a whole
// path). Names are the bytes they are, also where they are no UTF-8, so every file on the disk
// can be opened. Shown modally; it closes with OK only on a file that exists.
class TFormOpenFile : public QDialog
{
    Q_OBJECT

  public:
    explicit TFormOpenFile(const QString& caption, QWidget* parent = nullptr);

    QTreeView* TreeFiles;
    TFolderModel* FileModel;
    // The folder the name is taken in.
    QLabel* LabelFolder;
    QLineEdit* EditFileName;
    QComboBox* ComboBoxFilter;
    QPushButton* BitBtnOk;
    QPushButton* BitBtnCancel;

    // Kinds of file as "Kestrow files (*.kes)": the patterns in brackets choose what is listed.
    void SetNameFilters(const QStringList& filters);
    QStringList NameFilters() const;
    void SelectNameFilter(const QString& filter);
    // The folder the tree shows and names are taken in; one that does not exist is passed over.
    void SetDirectory(const std::string& folder);
    std::string Directory() const { return folder; }
    // The name proposed: a name in the folder, or a path (whose folder is then shown).
    void SelectFile(const std::string& name);
    // The file chosen when the dialog closed with OK, as an absolute path.
    std::string SelectedFile() const { return selected; }

    void accept() override;

  private:
    void ItemChosen(const QModelIndex& item);
    void ShowFolder(const std::string& path);

    std::string folder;
    std::string selected;
};
