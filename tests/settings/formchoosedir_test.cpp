#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "platform/prompt.h"
#include "settings/foldermodel.h"
#include "settings/formchoosedir.h"
#include "settings/formnewdir.h"
#include "settings/packedlocation.h"
#include "tempdir.h"

namespace
{
// The chooser with its new-folder dialog, as start-up makes them.
struct Chooser
{
    TSettingsRecord settings;
    TFormChooseDir form{settings};
    TFormNewDir newDir{&form};
    platform::ScriptedPrompts prompts;

    Chooser()
    {
        settings.SettingsLoaded = true;
        form.AttachNewDir(&newDir);
    }

    // Answers the new-folder dialog with a name once it shows, OK or Cancel.
    void CreateFolder(const QString& name, bool ok = true)
    {
        QTimer::singleShot(0, &newDir,
                           [this, name, ok]
                           {
                               EXPECT_TRUE(newDir.isVisible());
                               EXPECT_EQ(newDir.BitBtnOk->isEnabled(), !newDir.EditNewDir->text().isEmpty());
                               newDir.EditNewDir->setText(name);
                               (ok ? newDir.BitBtnOk : newDir.BitBtnCancel)->click();
                           });
        form.MenuCreateDirClick();
    }
};
} // namespace

TEST(FormChooseDir, CreatesFoldersInsideTheCurrentOneAndRefusesWhatItCannot)
{
    TempDir dir;
    Chooser c;
    EXPECT_EQ(c.form.windowTitle(), "Choose directory");
    EXPECT_EQ(c.newDir.windowTitle(), "Create new folder");
    EXPECT_FALSE(c.newDir.BitBtnOk->isEnabled());
    ASSERT_TRUE(c.form.SetDirectory(dir.Path()));
    const std::string base = dir.Path().substr(0, dir.Path().size() - 1);
    EXPECT_EQ(c.form.Directory(), base);

    // Folders there already, one of them named in another code page: all shown, the new one
    // in its place among them.
    for (const char* folder : {"alpha", "zulu", "caf\xe9"})
        std::filesystem::create_directory(base + "/" + folder);
    c.CreateFolder("fresh");
    EXPECT_TRUE(std::filesystem::is_directory(base + "/fresh"));
    EXPECT_EQ(c.form.Directory(), base + "/fresh") << "the new folder becomes the current one";
    EXPECT_TRUE(c.prompts.Messages.empty());
    const QModelIndex folder = c.form.DirectoryModel->Index(base);
    std::vector<std::string> shown;
    for (int row = 0; row < c.form.DirectoryModel->rowCount(folder); ++row)
        shown.push_back(c.form.DirectoryModel->Path(c.form.DirectoryModel->index(row, 0, folder)));
    EXPECT_EQ(shown, (std::vector<std::string>{base + "/alpha", base + "/caf\xe9", base + "/fresh",
                                               base + "/zulu"}));
    EXPECT_EQ(c.form.DirectoryListBox->currentIndex().row(), 2);
    ASSERT_TRUE(c.form.SetDirectory(base + "/caf\xe9"));
    EXPECT_EQ(c.form.Directory(), base + "/caf\xe9") << "chosen as the bytes it is";

    // The dialog keeps the name; shown again it offers it with OK enabled. Taken now: refused,
    // and every refusal says why.
    ASSERT_TRUE(c.form.SetDirectory(base));
    c.CreateFolder("fresh");
    c.CreateFolder("a/b");
    c.CreateFolder("../escaped");
    c.CreateFolder("..");
    const std::string cannot = "Cannot create directory " + base;
    EXPECT_EQ(c.prompts.Messages,
              (std::vector<std::string>{cannot + "/fresh\r\nA file or folder of that name exists already",
                                        cannot + "/a/b\r\nA folder name cannot hold '/'",
                                        cannot + "/../escaped\r\nA folder name cannot hold '/'",
                                        cannot + "/..\r\nA folder name cannot be '..'"}));
    EXPECT_EQ(c.form.Directory(), base);
    EXPECT_FALSE(std::filesystem::exists(base + "/a"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(base).parent_path() / "escaped"));

    c.CreateFolder("cancelled", false);
    EXPECT_FALSE(std::filesystem::exists(base + "/cancelled"));
    EXPECT_EQ(c.prompts.Messages.size(), 4u);
}

TEST(FormChooseDir, EveryFolderIsShownOnceAsItIsReadAndAsItChanges)
{
    TempDir dir;
    for (const char* folder : {"a/b/x", "a/b/y", "a/c"})
        std::filesystem::create_directories(dir.Path() + folder);
    Chooser c;
    // Opened as the main window opens it: at a folder far from the one it was at, then shown;
    // folders come and go beside the ones in view while it is open.
    c.form.SetNearestDirectory(dir.Path() + "a/b/");
    std::vector<std::string> rows;
    QTimer::singleShot(0, &c.form,
                       [&]
                       {
                           for (const char* folder : {"a/a1", "a/b2", "a/d", "a0", "b0"})
                               std::filesystem::create_directory(dir.Path() + folder);
                           std::filesystem::remove(dir.Path() + "a/c");
                           const QModelIndex a = c.form.DirectoryModel->Index(dir.Path() + "a");
                           QTRY_COMPARE(c.form.DirectoryModel->rowCount(a), 4);
                           // Each row once, top to bottom, as the tree shows them.
                           QTreeView* tree = c.form.DirectoryListBox;
                           for (QModelIndex row = tree->model()->index(0, 0, tree->rootIndex());
                                row.isValid() && rows.size() < 100000; row = tree->indexBelow(row))
                               rows.push_back(c.form.DirectoryModel->Path(row));
                           c.form.reject();
                       });
    c.form.exec();
    std::vector<std::string> once = rows;
    std::sort(once.begin(), once.end());
    EXPECT_EQ(std::adjacent_find(once.begin(), once.end()), once.end()) << "a row shown twice";
    const auto shown = std::find(rows.begin(), rows.end(), dir.Path() + "a");
    ASSERT_NE(shown, rows.end());
    EXPECT_EQ(std::vector<std::string>(shown, shown + 8),
              (std::vector<std::string>{dir.Path() + "a", dir.Path() + "a/a1", dir.Path() + "a/b",
                                        dir.Path() + "a/b/x", dir.Path() + "a/b/y", dir.Path() + "a/b2",
                                        dir.Path() + "a/d", dir.Path() + "a0"}));
    // The model holds what the disk holds.
    for (const std::string& folder : {std::string("/"), dir.Path(), dir.Path() + "a"})
    {
        std::vector<std::string> expected;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.is_directory() && entry.path().filename().string().front() != '.')
                expected.push_back(entry.path().string());
        std::vector<std::string> listed;
        const QModelIndex parent = c.form.DirectoryModel->Index(folder);
        for (int row = 0; row < c.form.DirectoryModel->rowCount(parent); ++row)
            listed.push_back(c.form.DirectoryModel->Path(c.form.DirectoryModel->index(row, 0, parent)));
        std::sort(expected.begin(), expected.end());
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, expected) << folder;
    }
}

TEST(FormChooseDir, ShowsTheDriveOfItsFolderAndKeepsItsPlace)
{
    TempDir dir;
    Chooser c;
    c.form.SetDirectory(dir.Path());
    EXPECT_FALSE(c.form.SetDirectory(dir.Path() + "missing/")) << "a path that is not there changes nothing";
    // A Save to typed before its folders exist opens at the nearest one that does.
    std::filesystem::create_directories(dir.Path() + "one/two");
    c.form.SetNearestDirectory(dir.Path() + "one/two/three/four/");
    EXPECT_EQ(c.form.Directory(), dir.Path() + "one/two");
    c.form.SetNearestDirectory(dir.Path() + "one/new");
    EXPECT_EQ(c.form.Directory(), dir.Path() + "one");
    c.form.SetDirectory(dir.Path());
    EXPECT_EQ(c.form.Drive(), DriveOfPath(dir.Path()));
    EXPECT_EQ(c.form.DriveComboBox1->currentData().toString().toStdString(), c.form.Drive());
    EXPECT_EQ(DriveOfPath(dir.Path() + "not/yet/made"), DriveOfPath(dir.Path()));
    EXPECT_EQ(DriveOfPath("relative/path"), "");

    // The drive it is on already: the folder stays. Another drive: its root.
    const std::string folder = c.form.Directory();
    c.form.DriveComboBox1Change();
    EXPECT_EQ(c.form.Directory(), folder);
    for (int item = 0; item < c.form.DriveComboBox1->count(); ++item)
    {
        const std::string drive = c.form.DriveComboBox1->itemData(item).toString().toStdString();
        if (drive == c.form.Drive())
            continue;
        c.form.DriveComboBox1->setCurrentIndex(item);
        c.form.DriveComboBox1Change();
        EXPECT_EQ(c.form.Directory(), drive);
        break;
    }

    c.settings.FrmDirLoc = PackWindowLocation(40, 30);
    QTimer::singleShot(0, &c.form,
                       [&c]
                       {
                           EXPECT_EQ(c.form.geometry().topLeft(), QPoint(40, 30));
                           c.form.setGeometry(QRect(QPoint(60, 50), c.form.size()));
                           c.form.reject();
                       });
    EXPECT_EQ(c.form.exec(), QDialog::Rejected);
    EXPECT_EQ(c.settings.FrmDirLoc, PackWindowLocation(60, 50));
}

TEST(FormChooseDir, TheTreeKeepsWhatIsInViewWhenFoldersComeAndGo)
{
    TempDir dir;
    for (int i = 10; i < 70; ++i)
        std::filesystem::create_directory(dir.Path() + "f" + std::to_string(i));
    Chooser c;
    c.form.show();
    QTreeView* tree = c.form.DirectoryListBox;
    ASSERT_TRUE(c.form.SetDirectory(dir.Path() + "f60"));
    const QModelIndex parent = c.form.DirectoryModel->Index(dir.Path());
    QTRY_COMPARE(c.form.DirectoryModel->rowCount(parent), 60);
    EXPECT_TRUE(tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex())))
        << "the chosen folder is in view once its siblings are read";

    // The user scrolls away from the current folder; folders appear and go above and below.
    tree->scrollTo(c.form.DirectoryModel->Index(dir.Path() + "f30"), QAbstractItemView::PositionAtTop);
    const QModelIndex top = tree->indexAt(QPoint(1, 1));
    const QString topName = top.data().toString();
    const int topAt = tree->visualRect(top).top();
    for (const char* name : {"f00", "f01", "f02", "f99"})
        std::filesystem::create_directory(dir.Path() + name);
    std::filesystem::remove(dir.Path() + "f10");
    QTRY_COMPARE(c.form.DirectoryModel->rowCount(parent), 63);
    const QModelIndex after = tree->indexAt(QPoint(1, topAt + 1));
    EXPECT_EQ(after.data().toString(), topName);
    EXPECT_EQ(tree->visualRect(after).top(), topAt);
}
