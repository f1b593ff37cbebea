#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QAction>
#include <QCheckBox>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include "app/elidedlabel.h"
#include "app/listbox.h"
#include "auth/httpevents.h"
#include "links/formurlbuilder.h"
#include "links/linememo.h"
#include "settings/foldermodel.h"
#include "settings/formopenfile.h"
#include "net/nmhttp.h"
#include "net/unitencrypt.h"
#include "nginxsite.h"
#include "peers.h"
#include "platform/pause.h"
#include "robotwindow.h"
#include "scriptedserver.h"
#include "silentlistener.h"

namespace
{
using Entries = std::vector<std::string>;

struct Shown
{
    bool visible;
    bool enabled;
    bool operator==(const Shown&) const = default;
};

Shown State(const QAction* item)
{
    return {item->isVisible(), item->isEnabled()};
}

// Selects entries of a list as a user does with Ctrl held.
void Select(TListBox* list, std::initializer_list<int> rows)
{
    list->clearSelection();
    for (const int row : rows)
        list->selectionModel()->select(list->model()->index(row, 0), QItemSelectionModel::Select);
}

// Answers a file dialog once it shows, as a user types a name into it; an empty name cancels it.
void Answer(QFileDialog* dialog, const std::string& fileName, const char* filter = "Kestrow files (*.kes)")
{
    QTimer::singleShot(0, dialog,
                       [dialog, fileName, filter]
                       {
                           if (fileName.empty())
                           {
                               dialog->reject();
                               return;
                           }
                           const QFileInfo file(QString::fromStdString(fileName));
                           dialog->selectNameFilter(QString::fromLatin1(filter));
                           dialog->setDirectory(file.absolutePath());
                           auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                           ASSERT_NE(name, nullptr);
                           name->setText(file.fileName());
                           static_cast<QDialog*>(dialog)->accept();
                       });
}
} // namespace

TEST(WindowLists, ThePopupMenuOffersWhatSuitsTheListItOpensOn)
{
    RobotWindow w;
    w.form.show();
    QApplication::clipboard()->clear();

    // A right-click on the URL List opens the menu with every item.
    bool opened = false;
    QTimer::singleShot(0, &w.form,
                       [&]
                       {
                           opened = QApplication::activePopupWidget() == w.form.PopupMenu;
                           w.form.PopupMenu->close();
                       });
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 10),
                            w.form.ListBoxURLList->viewport()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(w.form.ListBoxURLList->viewport(), &click);
    EXPECT_TRUE(opened);
    EXPECT_EQ(w.form.PopupComponent, w.form.ListBoxURLList);
    EXPECT_EQ(
        w.form.PopupMenu->actions(),
        (QList<QAction*>{w.form.PopupMenuDelete, w.form.PopupMenuDeleteAll, w.form.N1, w.form.PopupMenuSave,
                         w.form.PopupMenuLoad, w.form.N2, w.form.PopupMenuCopy, w.form.PopupMenuPaste}));
    EXPECT_EQ(w.form.PopupMenuDeleteAll->text(), "Delete &All");
    EXPECT_TRUE(w.form.N1->isVisible() && w.form.N2->isVisible());
    for (QAction* item : {w.form.PopupMenuDelete, w.form.PopupMenuDeleteAll, w.form.PopupMenuSave,
                          w.form.PopupMenuCopy, w.form.PopupMenuPaste})
        EXPECT_EQ(State(item), (Shown{true, false})) << item->text().toStdString() << " on an empty list";
    EXPECT_EQ(State(w.form.PopupMenuLoad), (Shown{true, true}));

    w.form.ListBoxURLList->Add("http://a/->/o/");
    QApplication::clipboard()->setText("http://b/");
    w.form.PopupMenuPopup();
    for (QAction* item : {w.form.PopupMenuDelete, w.form.PopupMenuDeleteAll, w.form.PopupMenuSave,
                          w.form.PopupMenuLoad, w.form.PopupMenuCopy, w.form.PopupMenuPaste})
        EXPECT_EQ(State(item), (Shown{true, true})) << item->text().toStdString();

    // On the File List only Save is offered, and only when the File List has entries.
    w.form.PopupComponent = w.form.ListBoxFileList;
    w.form.PopupMenuPopup();
    EXPECT_FALSE(w.form.N1->isVisible() || w.form.N2->isVisible());
    for (QAction* item : {w.form.PopupMenuDelete, w.form.PopupMenuDeleteAll, w.form.PopupMenuLoad,
                          w.form.PopupMenuCopy, w.form.PopupMenuPaste})
        EXPECT_FALSE(item->isVisible()) << item->text().toStdString();
    EXPECT_EQ(State(w.form.PopupMenuSave), (Shown{true, false}));
    w.form.ListBoxFileList->Add("a.zip");
    w.form.PopupMenuPopup();
    EXPECT_EQ(State(w.form.PopupMenuSave), (Shown{true, true}));
}

TEST(WindowLists, DeleteCopyAndPasteActOnTheSelectionOrTheWholeList)
{
    RobotWindow w;
    w.form.ListBoxURLList->SetItems({"http://a/->/o/", "http://b/->/o/", "http://c/->/o/", "http://d/->/o/"});
    w.form.ListBoxFileList->SetItems({"x.zip"});
    w.form.UpdateControls();
    w.form.PopupComponent = w.form.ListBoxURLList;

    Select(w.form.ListBoxURLList, {1, 3});
    w.form.PopupMenuCopy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "http://b/->/o/\r\nhttp://d/->/o/\r\n");
    w.form.PopupMenuDelete->trigger();
    EXPECT_EQ(w.form.ListBoxURLList->Items(), (Entries{"http://a/->/o/", "http://c/->/o/"}));
    EXPECT_EQ(w.form.ListBoxURLList->ItemIndex(), 1) << "the next entry is ready for another Delete";
    QTest::keyClick(w.form.ListBoxURLList, Qt::Key_Delete);
    EXPECT_EQ(w.form.ListBoxURLList->Items(), Entries{"http://a/->/o/"});
    w.form.ListBoxURLList->clearSelection();
    w.form.PopupMenuDelete->trigger();
    EXPECT_EQ(w.form.ListBoxURLList->Count(), 1) << "nothing selected, nothing deleted";
    w.form.PopupMenuCopy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "http://a/->/o/\r\n");

    // Pasted lines follow the list; those without an output directory get the one of "Save to",
    // and so does an entry loaded without one. Blank lines make no entries.
    w.form.ListBoxURLList->Add("http://loaded/");
    w.form.EditOutputPath->setText(" /data/in ");
    QApplication::clipboard()->setText("http://e/\r\n\r\nhttp://f/->/own/\nhttp://g/");
    w.form.PopupComponent = w.form.ListBoxFileList; // Paste always acts on the URL List
    w.form.PopupMenuPaste->trigger();
    EXPECT_EQ(w.form.ListBoxURLList->Items(),
              (Entries{"http://a/->/o/", "http://loaded/->/data/in/", "http://e/->/data/in/",
                       "http://f/->/own/", "http://g/->/data/in/"}));
    EXPECT_EQ(w.form.EditOutputPath->text(), " /data/in ") << "the field itself stays as typed";

    // Delete All asks first; what a run showed of the lists goes with them.
    w.form.ListProgress(2, 2, "3 of 3");
    w.form.FileProgress(153, 153);
    w.form.Statistics("1.5K downloaded in 3 files @ 1.5K bytes/Sec");
    w.form.PopupComponent = w.form.ListBoxURLList;
    w.prompts.Answers = {false, true};
    w.form.PopupMenuDeleteAll->trigger();
    EXPECT_EQ(w.form.ListBoxURLList->Count(), 5) << "No keeps the list";
    EXPECT_FALSE(w.form.LabellStats->text().isEmpty()) << "and what the last run showed";
    w.form.PopupMenuDeleteAll->trigger();
    EXPECT_EQ(w.prompts.Questions, Entries(2, "Delete all 5 entries of the URL List?"));
    EXPECT_EQ(w.form.ListBoxURLList->Count(), 0);
    EXPECT_EQ(w.form.ListBoxFileList->Count(), 0) << "the File List goes with the URL List";
    EXPECT_FALSE(w.form.SpeedButtonGo->isEnabled());
    for (const QLabel* label : {w.form.LabelOverallProgress, w.form.LabelFileProgress, w.form.LabellStats})
        EXPECT_TRUE(label->text().isEmpty()) << label->text().toStdString();
    EXPECT_EQ(w.form.ProgressBarList->value(), 0);
    EXPECT_EQ(w.form.ProgressBarFile->value(), 0);

    // An entry that is no UTF-8 is pasted back byte for byte; other programs get it as text.
    const std::string latin1 = "http://h/caf\xE9.zip->/o/";
    w.form.ListBoxURLList->SetItems({latin1});
    w.form.PopupMenuCopy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8(latin1 + "\r\n"));
    w.form.PopupMenuPaste->trigger();
    EXPECT_EQ(w.form.ListBoxURLList->Items(), (Entries{latin1, latin1}));
}

TEST(WindowLists, EntriesShowWholeWithAScrollBarWhenOneIsWide)
{
    RobotWindow w;
    w.form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.form));
    TListBox* list = w.form.ListBoxURLList;
    const std::string longEntry = "http://www.example.com/" + std::string(120, 'a') + ".html->/home/me/out/";
    // However long the first entry is: the short one first, then the long one first.
    for (const Entries& entries : {Entries{"http://a/->/o/", longEntry, "http://b/->/o/", "http://c/->/o/"},
                                   Entries{longEntry, "http://a/->/o/", "http://b/->/o/", "http://c/->/o/"}})
    {
        list->SetItems(entries);
        QTest::qWait(50);
        const int row = entries[0] == longEntry ? 0 : 1;
        const QModelIndex wide = list->model()->index(row, 0);
        const int textWidth = list->fontMetrics().horizontalAdvance(wide.data().toString());
        EXPECT_GE(list->visualRect(wide).width(), textWidth) << "whole, never elided";
        EXPECT_TRUE(list->horizontalScrollBar()->isVisible());
        EXPECT_GE(list->horizontalScrollBar()->maximum(), textWidth - list->viewport()->width());
        // Four whole rows above the scroll bar.
        EXPECT_GE(list->viewport()->height(), 4 * list->sizeHintForRow(0));
    }
    list->SetItems({"http://a/->/o/"});
    QTest::qWait(50);
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible()) << "a short list measures afresh";

    // The long entry deleted, the rest are measured again.
    list->AddMany({longEntry, "http://b/->/o/"});
    QTest::qWait(50);
    EXPECT_TRUE(list->horizontalScrollBar()->isVisible());
    list->SetItemIndex(1);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->Items(), (Entries{"http://a/->/o/", "http://b/->/o/"}));
    QTest::qWait(50);
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible()) << "the scroll width shrinks with the entries";
}

TEST(WindowLists, EntriesKeepTheirBytesFromLoadToSaveAndRun)
{
    RobotWindow w;
    // Latin-1 and a byte that is nothing in any encoding, beside plain entries.
    const std::string cafe = "http://127.0.0.1:1/caf\xe9.html->" + w.home.Path() + "out/\xff/";
    const std::string bytes = "http://a/->/o/\r\n" + cafe + "\r\n\r\n";
    w.form.LoadURLList(w.home.Write("latin1.kes", bytes));
    EXPECT_EQ(w.form.ListBoxURLList->Items(), (Entries{"http://a/->/o/", cafe, ""}));
    EXPECT_FALSE(w.form.ListBoxURLList->model()->index(1, 0).data().toString().isEmpty())
        << "the view shows what it can of it";

    w.form.PopupComponent = w.form.ListBoxURLList;
    Answer(w.form.SaveDialog1, w.home.Path() + "saved.kes");
    w.form.PopupMenuSave->trigger();
    EXPECT_EQ(w.home.Read("saved.kes"), bytes);
    EXPECT_TRUE(w.form.SaveURLListForNextStart());
    EXPECT_EQ(w.home.Read("URLList.kes"), bytes);
    // Deleting one keeps the others' bytes, and "already listed" compares bytes.
    w.form.ListBoxURLList->SetItemIndex(0);
    w.form.PopupMenuDelete->trigger();
    EXPECT_EQ(w.form.ListBoxURLList->Items(), (Entries{cafe, ""}));
    EXPECT_TRUE(
        w.form.ListBoxURLList->Contains("HTTP://127.0.0.1:1/CAF\xe9.HTML->" + w.home.Path() + "out/\xff/"));
    EXPECT_FALSE(w.form.ListBoxURLList->Contains("http://127.0.0.1:1/caf\xc3\xa9.html->" + w.home.Path() +
                                                 "out/\xff/"));

    // The run takes the entry's output folder as it stands.
    w.form.ListBoxURLList->SetItems({cafe});
    w.Preferences(1, 0);
    w.Press(w.form.SpeedButtonGo);
    EXPECT_TRUE(std::filesystem::is_directory(w.home.Path() + "out/\xff")) << w.Log();
    EXPECT_NE(w.Log().find("Processing URL http://127.0.0.1:1/caf\xe9.html\r\n"), std::string::npos)
        << w.Log();
}

TEST(WindowLists, SavedAndLoadedThroughTheFileDialogs)
{
    RobotWindow w;
    EXPECT_EQ(w.form.SaveDialog1->nameFilters(), (QStringList{"Kestrow files (*.kes)", "All files (*)"}));
    EXPECT_EQ(w.form.OpenDialog->NameFilters(), w.form.SaveDialog1->nameFilters());
    // Both propose the name Load can open again.
    EXPECT_EQ(w.form.SaveDialog1->selectedFiles().front().toStdString(),
              w.form.OpenDialog->Directory() + "/URLList.kes");
    EXPECT_EQ(w.form.OpenDialog->EditFileName->text(), "URLList.kes");
    w.form.ListBoxURLList->SetItems({"http://a/->/o/", "http://b/"});
    w.form.PopupComponent = w.form.ListBoxURLList;

    Answer(w.form.SaveDialog1, w.home.Path() + "mylist", "All files (*)");
    w.form.PopupMenuSave->trigger();
    EXPECT_EQ(w.home.Read("mylist.kes"), "http://a/->/o/\r\nhttp://b/\r\n");
    EXPECT_FALSE(w.home.Exists("mylist"));
    Answer(w.form.SaveDialog1, w.home.Path() + "my.list", "All files (*)");
    w.form.PopupMenuSave->trigger();
    EXPECT_EQ(w.home.Read("my.list"), "http://a/->/o/\r\nhttp://b/\r\n");
    EXPECT_TRUE(w.prompts.Messages.empty()) << "a URL List save says nothing";

    // The name the extension was added to exists: asked first, No keeps the file.
    w.form.ListBoxURLList->SetItems({"changed"});
    Answer(w.form.SaveDialog1, w.home.Path() + "mylist", "All files (*)");
    w.form.PopupMenuSave->trigger();
    EXPECT_EQ(w.prompts.Questions,
              Entries{w.home.Path() + "mylist.kes already exists.\r\nDo you want to replace it?"});
    EXPECT_EQ(w.home.Read("mylist.kes"), "http://a/->/o/\r\nhttp://b/\r\n");

    // Load lists the list files of a folder, one named in another code page too: a click on one
    // and Open, or a double-click, loads it.
    TFormOpenFile* open = w.form.OpenDialog;
    w.home.Write("lf.kes", "one\n\nthree\n");
    w.home.Write("n-caf\xe9.kes", "http://caf\xe9/->/o/\r\n");
    w.home.Write("notes.txt", "");
    std::vector<std::string> offered;
    const auto choose = [&](const std::string& name, bool doubleClick)
    {
        QTimer::singleShot(0, open,
                           [&, name, doubleClick]
                           {
                               open->SetDirectory(w.home.Path());
                               const QModelIndex folder = open->FileModel->Index(w.home.Path());
                               offered.clear();
                               for (int row = 0; row < open->FileModel->rowCount(folder); ++row)
                                   if (!open->FileModel->IsFolder(open->FileModel->index(row, 0, folder)))
                                       offered.push_back(
                                           open->FileModel->Path(open->FileModel->index(row, 0, folder))
                                               .substr(w.home.Path().size()));
                               const QModelIndex file = open->FileModel->Index(w.home.Path() + name);
                               open->TreeFiles->scrollTo(file);
                               const QPoint at = open->TreeFiles->visualRect(file).center();
                               if (doubleClick)
                               {
                                   // A double-click: a press and release, then a second press that is one.
                                   QTest::mouseClick(open->TreeFiles->viewport(), Qt::LeftButton, {}, at);
                                   QTest::mouseDClick(open->TreeFiles->viewport(), Qt::LeftButton, {}, at);
                               }
                               else
                               {
                                   QTest::mouseClick(open->TreeFiles->viewport(), Qt::LeftButton, {}, at);
                                   EXPECT_EQ(open->EditFileName->text().toStdString(), name);
                                   QTest::mouseClick(open->BitBtnOk, Qt::LeftButton);
                               }
                           });
        w.form.PopupMenuLoad->trigger();
    };
    choose("lf.kes", false);
    EXPECT_EQ(w.form.ListBoxURLList->Items(), (Entries{"one", "", "three"}));
    EXPECT_TRUE(w.form.SpeedButtonGo->isEnabled());
    EXPECT_EQ(offered, (Entries{"lf.kes", "mylist.kes", "n-caf\xe9.kes"}));
    choose("n-caf\xe9.kes", true);
    EXPECT_EQ(w.form.ListBoxURLList->Items(), Entries{"http://caf\xe9/->/o/"});
    // A typed name that is not there is said so, and the dialog stays; Cancel changes nothing.
    QTimer::singleShot(0, open,
                       [&]
                       {
                           open->EditFileName->setText("missing.kes");
                           QTest::mouseClick(open->BitBtnOk, Qt::LeftButton);
                           EXPECT_TRUE(open->isVisible());
                           QTest::mouseClick(open->BitBtnCancel, Qt::LeftButton);
                       });
    w.form.PopupMenuLoad->trigger();
    EXPECT_EQ(w.prompts.Messages, Entries{w.home.Path() + "missing.kes\r\nFile not found."});
    w.prompts.Messages.clear();
    EXPECT_EQ(w.form.ListBoxURLList->Count(), 1) << "a cancelled load changes nothing";

    w.form.ListBoxFileList->SetItems({"a.zip", "b.zip->label"});
    w.form.PopupComponent = w.form.ListBoxFileList;
    w.form.PopupMenuSave->trigger();
    EXPECT_EQ(w.home.Read("FileList.kes"), "a.zip\r\nb.zip->label\r\n");
    EXPECT_EQ(w.prompts.Messages, Entries{"Saved to " + w.home.Path() + "FileList.kes"});
    std::filesystem::create_directory(w.home.Path() + "blocked");
    std::filesystem::rename(w.home.Path() + "FileList.kes", w.home.Path() + "blocked/FileList.kes");
    std::filesystem::create_directory(w.home.Path() + "FileList.kes");
    w.form.PopupMenuSave->trigger();
    ASSERT_EQ(w.prompts.Messages.size(), 2u);
    EXPECT_EQ(w.prompts.Messages[1].rfind("Cannot open file \"" + w.home.Path() + "FileList.kes\". ", 0), 0u)
        << "a failed save is reported, not confirmed: " << w.prompts.Messages[1];
}

TEST(WindowLists, TheUrlListSurvivesARestartUnlessAListFileIsNamed)
{
    TempDir home;
    const Entries kept = {"http://a/->/o/", "http://b/"};
    {
        RobotWindow w;
        setenv("KESTROW_HOME", home.Path().c_str(), 1);
        w.form.FormCreate({});
        w.form.ListBoxURLList->SetItems(kept);
        EXPECT_TRUE(w.form.close());
        EXPECT_EQ(home.Read("URLList.kes"), "http://a/->/o/\r\nhttp://b/\r\n");
    }
    {
        RobotWindow w;
        setenv("KESTROW_HOME", home.Path().c_str(), 1);
        w.form.FormCreate({});
        EXPECT_EQ(w.form.ListBoxURLList->Items(), kept);
        EXPECT_TRUE(w.form.SpeedButtonGo->isEnabled());
    }
    {
        RobotWindow w;
        setenv("KESTROW_HOME", home.Path().c_str(), 1);
        w.form.FormCreate({home.Write("named.kes", "http://named/\r\n")});
        EXPECT_EQ(w.form.ListBoxURLList->Items(), Entries{"http://named/"});
        // A list that cannot be kept is said so; the window still closes.
        std::filesystem::remove(home.Path() + "URLList.kes");
        std::filesystem::create_directory(home.Path() + "URLList.kes");
        EXPECT_TRUE(w.form.close());
        ASSERT_EQ(w.prompts.Messages.size(), 1u);
        EXPECT_EQ(w.prompts.Messages[0].rfind("The URL List could not be kept for the next start.\r\n", 0),
                  0u)
            << w.prompts.Messages[0];
    }
}

TEST(WindowLists, APreviewListsThePageLinksWithoutDownloading)
{
    RobotWindow w;
    NginxSite site("lists", CurrentTestName());
    site.Write("index.html", "<a href=a.zip>a</a> <a href=b.txt>b</a> <img src=pic.gif> <a href=c.zip>c</a>");
    w.form.EditExtension->setText(" .zip ");
    const std::string entry = site.url + "index.html->" + w.home.Path() + "out/";
    w.form.ListBoxURLList->SetItems({entry, site.url + "missing.html->/o/"});
    w.form.ListBoxFileList->SetItems({"old.zip"});

    w.form.ListBoxURLList->SetItemIndex(0);
    // The links are listed under the busy cursor, which goes once they are.
    std::vector<Qt::CursorShape> cursors;
    QObject::connect(&w.form.Robot->FileList, &QAbstractItemModel::modelReset,
                     [&] { cursors.push_back(ShownCursor()); });
    const QPoint first =
        w.form.ListBoxURLList->visualRect(w.form.ListBoxURLList->model()->index(0, 0)).center();
    QTest::mouseDClick(w.form.ListBoxURLList->viewport(), Qt::LeftButton, {}, first);
    w.WaitForThePreview();
    EXPECT_EQ(w.form.ListBoxFileList->Items(), (Entries{"a.zip", "c.zip"}));
    ASSERT_FALSE(cursors.empty());
    EXPECT_EQ(cursors.back(), Qt::WaitCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_NE(w.home.Read("HTMLBody.html").find("<img src=pic.gif>"), std::string::npos);
    EXPECT_FALSE(w.home.Exists("out")) << "a preview downloads nothing";
    EXPECT_TRUE(w.prompts.Messages.empty());
    w.preferences.CheckBoxSaveImages->setChecked(true);
    w.Preview();
    EXPECT_EQ(w.form.ListBoxFileList->Items(), (Entries{"a.zip", "c.zip", "pic.gif"}));
    EXPECT_TRUE(w.form.SpeedButtonGo->isEnabled()) << "a run can start once the preview is done";

    // An error page is a failure, not a page without links, nor progress; nothing of the last
    // run stays beside it.
    w.form.ListProgress(2, 2, "3 of 3");
    w.form.Statistics("1.5K downloaded in 3 files @ 1.5K bytes/Sec");
    w.form.StatusText(1, "Canceling");
    w.form.ListBoxURLList->SetItemIndex(1);
    w.Preview();
    EXPECT_EQ(w.prompts.Messages, Entries{"Cannot access " + site.url + "missing.html\r\n404:Not Found"});
    EXPECT_EQ(w.form.ListBoxFileList->Count(), 0);
    for (const QLabel* label : {w.form.LabelOverallProgress, w.form.LabelFileProgress, w.form.LabellStats})
        EXPECT_TRUE(label->text().isEmpty()) << label->text().toStdString();
    EXPECT_EQ(w.form.ProgressBarFile->value(), 0);
    EXPECT_NE(w.form.StatusPanel1->text(), "Canceling");
}

TEST(WindowLists, APreviewBehindALoginUsesTheEntrysCredentials)
{
    RobotWindow w;
    const std::string root = PeerStateDir("nginx") + "root/private/";
    std::filesystem::create_directories(root);
    std::ofstream(root + "list-" + CurrentTestName() + ".html") << "<a href=\"secret.zip\">s</a>";
    const std::string port = std::to_string(PeerPort("nginx"));
    const std::string page = "127.0.0.1:" + port + "/private/list-" + CurrentTestName() + ".html";
    w.form.EditExtension->setText(".zip");
    w.form.ListBoxURLList->SetItems(
        {"http://" + PeerValue("nginx", "user") + ":" + PeerValue("nginx", "password") + "@" + page + "->/o/",
         "http://" + page + "->/o/"});
    w.form.ListBoxURLList->SetItemIndex(0);
    w.Preview();
    EXPECT_TRUE(w.prompts.Messages.empty()) << w.prompts.Messages.front();
    EXPECT_EQ(w.form.ListBoxFileList->Items(), Entries{"secret.zip"});
    EXPECT_TRUE(w.prompts.LoginQuestions.empty()) << "the entry's own login was sent";

    // Without them the login is asked for; a cancelled login is a failure.
    w.form.ListBoxURLList->SetItemIndex(1);
    w.Preview();
    EXPECT_EQ(w.prompts.Messages, Entries{"Cannot access http://" + page + "\r\nLogin cancelled"});

    // A password without a user name goes as the anonymous user's.
    ScriptedServer server;
    server.AddScript(ScriptedServer::Script()
                         .ExpectHeader()
                         .Send("HTTP/1.0 200 OK\r\nContent-Length: 19\r\n\r\n<a href=\"file.zip\">")
                         .Close());
    w.form.ListBoxURLList->SetItems(
        {"http://:secret@127.0.0.1:" + std::to_string(server.Port()) + "/list.html->/o/"});
    w.form.ListBoxURLList->SetItemIndex(0);
    w.Preview();
    EXPECT_EQ(w.form.ListBoxFileList->Items(), Entries{"file.zip"});
    ASSERT_GE(server.ConnectionCount(), 1);
    const std::string sent = server.Received(server.ConnectionCount() - 1);
    EXPECT_TRUE(sent.starts_with("GET /list.html HTTP/1.1\r\n")) << sent;
    EXPECT_NE(sent.find("\r\nAuthorization: Basic " + EncodeBase64("anonymous:secret") + "\r\n"),
              std::string::npos)
        << sent;
}

TEST(WindowLists, APreviewOfASilentServerEndsAtTheTimeOutAndNoRunStartsMeanwhile)
{
    RobotWindow w;
    SilentListener silent;
    platform::SetTimeOutScale(1, 50);
    w.Preferences(0, 0, 5);
    const std::string address = "http://127.0.0.1:" + std::to_string(silent.Port()) + "/list.html";
    w.form.ListBoxURLList->SetItems({address + "->/o/"});
    w.form.ListBoxURLList->SetItemIndex(0);
    w.form.UpdateControls();
    bool goWhileWaiting = true;
    QTimer::singleShot(10, &w.form,
                       [&]
                       {
                           goWhileWaiting = w.form.SpeedButtonGo->isEnabled();
                           w.form.SpeedButtonGoClick(w.form.SpeedButtonGo);
                       });
    w.Preview();
    platform::SetTimeOutScale(1, 1);
    EXPECT_FALSE(goWhileWaiting) << "no run starts while a preview waits";
    EXPECT_TRUE(w.form.SpeedButtonGo->isEnabled());
    EXPECT_FALSE(w.form.Robot->Running());
    EXPECT_EQ(w.prompts.Messages, Entries{"Cannot access " + address + "\r\nConnection Timed out"});
    EXPECT_FALSE(w.form.Robot->PreviewActive());
}

TEST(WindowLists, TheBuilderReplacesTheUrlList)
{
    RobotWindow w;
    TFormURLBuilder builder(&w.form);
    w.form.AttachURLBuilder(&builder);
    w.form.ListBoxURLList->SetItems({"http://old/->/o/"});
    w.form.EditOutputPath->setText("/data/out");
    QTest::mouseClick(w.form.ButtonBuild, Qt::LeftButton);
    EXPECT_TRUE(builder.isVisible());
    EXPECT_FALSE(builder.isModal());
    builder.EditURLStart->setText("http://server/img");
    builder.SpinEditFrom->setValue(1);
    builder.SpinEditTo->setValue(2);
    QTest::mouseClick(builder.BitBtnAdd, Qt::LeftButton);
    EXPECT_EQ(w.form.ListBoxURLList->Items(),
              (Entries{"http://server/img001->/data/out/", "http://server/img002->/data/out/"}));
    EXPECT_TRUE(w.form.SpeedButtonGo->isEnabled());
    EXPECT_FALSE(builder.isVisible());

    // An emptied sample keeps the list, and says why.
    builder.show();
    builder.FinishSample();
    builder.MemoSample->SetLines({"", "  "});
    QTest::mouseClick(builder.BitBtnAdd, Qt::LeftButton);
    EXPECT_EQ(w.form.ListBoxURLList->Count(), 2);
    EXPECT_EQ(w.prompts.Messages, Entries{"The sample is empty: the URL List is left as it was."});
}
