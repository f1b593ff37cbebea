#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <QTest>

#include "settings/foldermodel.h"
#include "tempdir.h"

namespace
{
using Names = std::vector<std::string>;

// The names listed under a row, as the model has them.
Names Listed(TFolderModel& model, const QModelIndex& folder)
{
    if (model.canFetchMore(folder))
        model.fetchMore(folder);
    Names names;
    for (int row = 0; row < model.rowCount(folder); ++row)
    {
        const std::string path = model.Path(model.index(row, 0, folder));
        names.push_back(path.substr(path.rfind('/') + 1));
    }
    return names;
}
} // namespace

TEST(TFolderModel, ListsFoldersThenFilesInOrderWithEveryNameAsItsBytes)
{
    TempDir dir;
    for (const char* folder : {"beta", "Alpha", "caf\xe9", "gamma", ".hidden"})
        std::filesystem::create_directory(dir.Path() + folder);
    for (const char* file : {"b.kes", "A.KES", "notes.txt", "n-caf\xe9.kes", ".hidden.kes"})
        dir.Write(file, "");
    std::filesystem::create_directory_symlink(dir.Path() + "gamma", dir.Path() + "link");

    TFolderModel folders(false);
    const QModelIndex base = folders.Index(dir.Path());
    ASSERT_TRUE(base.isValid());
    EXPECT_EQ(folders.Path(base), dir.Path().substr(0, dir.Path().size() - 1));
    EXPECT_EQ(Listed(folders, base), (Names{"Alpha", "beta", "caf\xe9", "gamma", "link"}))
        << "a name that is no UTF-8 is listed like any; a link to a folder is a folder";
    EXPECT_EQ(folders.Path(folders.index(2, 0, base)), dir.Path() + "caf\xe9");
    EXPECT_EQ(folders.index(2, 0, base).data().toString().size(), 4) << "shown with a stand-in for its byte";

    TFolderModel files(true);
    files.SetNameFilters({"*.kes"});
    const QModelIndex listed = files.Index(dir.Path());
    EXPECT_EQ(Listed(files, listed),
              (Names{"Alpha", "beta", "caf\xe9", "gamma", "link", "A.KES", "b.kes", "n-caf\xe9.kes"}));
    EXPECT_FALSE(files.IsFolder(files.index(5, 0, listed)));
    files.SetNameFilters({"*"});
    EXPECT_EQ(Listed(files, listed).size(), 9u) << "all files";
    // A name left out is there when asked for by its path, and stays.
    const QModelIndex hidden = files.Index(dir.Path() + ".hidden");
    ASSERT_TRUE(hidden.isValid());
    EXPECT_TRUE(files.IsFolder(hidden));
    EXPECT_EQ(Listed(files, listed).front(), ".hidden");
    EXPECT_FALSE(files.Index(dir.Path() + "missing").isValid());
    EXPECT_FALSE(files.Index("relative/path").isValid());
}

TEST(TFolderModel, WhatComesTakesItsPlaceAndWhatGoesIsTakenOut)
{
    TempDir dir;
    for (const char* folder : {"b", "d", "f"})
        std::filesystem::create_directories(dir.Path() + folder + "/inner");
    TFolderModel model(false);
    const QModelIndex base = model.Index(dir.Path());
    // What is open below a folder stays open when its neighbours change.
    const QModelIndex inner = model.Index(dir.Path() + "d/inner");
    ASSERT_TRUE(inner.isValid());
    std::filesystem::create_directory(dir.Path() + "a");
    std::filesystem::create_directory(dir.Path() + "e");
    std::filesystem::remove_all(dir.Path() + "f");
    model.Refresh(dir.Path());
    EXPECT_EQ(Listed(model, base), (Names{"a", "b", "d", "e"}));
    EXPECT_EQ(Listed(model, model.index(2, 0, base)), Names{"inner"});
    // A folder made by someone else shows by itself, in its place.
    std::filesystem::create_directory(dir.Path() + "c");
    QTRY_COMPARE(model.rowCount(base), 5);
    EXPECT_EQ(Listed(model, base), (Names{"a", "b", "c", "d", "e"}));
}

TEST(MatchesPattern, WildcardsWithoutRegardToCase)
{
    EXPECT_TRUE(MatchesPattern("list.KES", "*.kes"));
    EXPECT_TRUE(MatchesPattern(".kes", "*.kes"));
    EXPECT_FALSE(MatchesPattern("list.kes.bak", "*.kes"));
    EXPECT_TRUE(MatchesPattern("a1.kes", "a?.*"));
    EXPECT_FALSE(MatchesPattern("a.kes", "a?.*"));
    EXPECT_TRUE(MatchesPattern("abcabcd", "*bcd"));
    EXPECT_TRUE(MatchesPattern("", "*"));
}
