#pragma once

#include <string>

#include <QDialog>
#include <QPersistentModelIndex>

#include "settings/settings.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QTreeView;
class TFolderModel;
class TFormNewDir;

// The directory chooser: the mounted volumes (the drives) and the folder tree of the one
// chosen, where the current folder is the choice (its path as the bytes it is); its pop-up menu creates a
// folder inside the current one. Created once and shown modally; its place is the settings field FrmDirLoc.
class TFormChooseDir : public QDialog
{
    Q_OBJECT

  public:
    explicit TFormChooseDir(TSettingsRecord& settings, QWidget* parent = nullptr);
    void AttachNewDir(TFormNewDir* newDir);

    QComboBox* DriveComboBox1;
    QTreeView* DirectoryListBox;
    TFolderModel* DirectoryModel;
    // The current directory in full, under the tree.
    QLabel* LabelDirectory;
    QMenu* PopupMenuCreateDir;
    QAction* MenuCreateDir;
    QPushButton* BitBtnOk;
    QPushButton* BitBtnCancel;

    // The current directory of the tree, without a final "/" (except for "/" itself).
    std::string Directory() const { return currentDirectory; }
    // Makes an existing directory the current one, showing its drive; false, changing
    // nothing, when it does not exist.
    bool SetDirectory(const std::string& directory);
    // Makes the directory current, or where it does not exist (yet) its nearest existing parent.
    void SetNearestDirectory(const std::string& path);
    // The drive shown: the root of a mounted volume.
    std::string Drive() const { return currentDrive; }
    void SetDrive(const std::string& root);

    void FormShow();
    void FormHide();
    void DriveComboBox1Change();
    void MenuCreateDirClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void CreateControls();
    void FillDrives();
    int DriveItem(const std::string& root);
    void ShowDrive(const std::string& root);
    void ShowDirectory(const std::string& directory);
    void RememberScroll();
    void RestoreScroll();

    TSettingsRecord& Settings;
    TFormNewDir* FormNewDir = nullptr;
    std::string currentDrive;
    std::string currentDirectory;
    // The row that keeps its place in view while the model changes, and where it was.
    QPersistentModelIndex scrollAnchor;
    int scrollAnchorTop = 0;
};

// The drive of a path: the root of the mounted volume that holds it (or its nearest existing
// parent). Empty for a path that is not absolute.
std::string DriveOfPath(const std::string& path);
