#include <gtest/gtest.h>

#include <filesystem>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "platform/prompt.h"
#include "settings/formchoosedir.h"
#include "settings/formnewdir.h"
#include "settings/windowlocation.h"
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

    c.CreateFolder("fresh");
    EXPECT_TRUE(std::filesystem::is_directory(base + "/fresh"));
    EXPECT_EQ(c.form.Directory(), base + "/fresh") << "the new folder becomes the current one";
    EXPECT_TRUE(c.prompts.Messages.empty());

    // The dialog keeps the name; shown again it offers it with OK enabled. Taken now: refused.
    ASSERT_TRUE(c.form.SetDirectory(base));
    c.CreateFolder("fresh");
    EXPECT_EQ(c.prompts.Messages, std::vector<std::string>{"Cannot create directory " + base + "/fresh"});
    EXPECT_EQ(c.form.Directory(), base);

    // Missing parents are not made, nor folders outside the current one.
    c.CreateFolder("a/b");
    c.CreateFolder("../escaped");
    ASSERT_EQ(c.prompts.Messages.size(), 3u);
    EXPECT_EQ(c.prompts.Messages[1], "Cannot create directory " + base + "/a/b");
    EXPECT_EQ(c.prompts.Messages[2], "Cannot create directory " + base + "/../escaped");
    EXPECT_FALSE(std::filesystem::exists(base + "/a"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(base).parent_path() / "escaped"));

    c.CreateFolder("cancelled", false);
    EXPECT_FALSE(std::filesystem::exists(base + "/cancelled"));
    EXPECT_EQ(c.prompts.Messages.size(), 3u);
}

TEST(FormChooseDir, ShowsTheDriveOfItsFolderAndKeepsItsPlace)
{
    TempDir dir;
    Chooser c;
    c.form.SetDirectory(dir.Path());
    EXPECT_FALSE(c.form.SetDirectory(dir.Path() + "missing/")) << "a path that is not there changes nothing";
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
