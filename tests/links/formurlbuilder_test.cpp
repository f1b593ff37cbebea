#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "links/formurlbuilder.h"
#include "links/linememo.h"

namespace
{
// A builder as the main window wires it: its output directory, and what OK hands over.
struct Builder
{
    TFormURLBuilder form;
    std::string outputDir = "/out/";
    std::vector<QStringList> added;

    Builder()
    {
        form.OutputDirectory = [this] { return outputDir; };
        form.OnAddURLs = [this](const QStringList& entries) { added.push_back(entries); };
    }
    QStringList Sample() const { return form.MemoSample->Lines(); }
};

void TypeInto(QSpinBox* spin, const QString& text)
{
    spin->selectAll();
    QTest::keyClicks(spin, text);
}
} // namespace

TEST(FormURLBuilder, TheSampleFollowsEveryFieldAndOkReplacesTheList)
{
    Builder b;
    EXPECT_EQ(b.form.windowTitle(), "URL Builder");
    EXPECT_EQ(b.form.size(), QSize(533, 297));
    EXPECT_EQ(b.form.minimumSize(), b.form.maximumSize());
    EXPECT_EQ(b.form.SpinEditTo->maximum(), 1000000);
    EXPECT_EQ(b.form.SpinEditAdd->maximum(), 1000);
    EXPECT_EQ(b.form.SpinEditDigits->maximum(), 15);
    b.form.show();
    EXPECT_EQ(b.Sample().size(), 11);
    EXPECT_EQ(b.Sample().front(), "http://www.000->/out/");

    b.form.EditURLStart->clear();
    QTest::keyClicks(b.form.EditURLStart, "  http://server/img ");
    QTest::keyClicks(b.form.EditURLEnd, ".jpg ");
    TypeInto(b.form.SpinEditFrom, "1");
    TypeInto(b.form.SpinEditTo, "3");
    EXPECT_EQ(b.Sample(), (QStringList{"http://server/img001.jpg ->/out/", "http://server/img002.jpg ->/out/",
                                       "http://server/img003.jpg ->/out/"}));
    TypeInto(b.form.SpinEditDigits, "0");
    TypeInto(b.form.SpinEditTo, "12");
    TypeInto(b.form.SpinEditAdd, "5");
    EXPECT_EQ(b.Sample(), (QStringList{"http://server/img1.jpg ->/out/", "http://server/img6.jpg ->/out/",
                                       "http://server/img11.jpg ->/out/"}));
    TypeInto(b.form.SpinEditAdd, "0");
    EXPECT_EQ(b.Sample(), QStringList{"http://server/img1.jpg ->/out/"});

    // Shown again after the output directory changed: the entries follow it.
    b.form.hide();
    b.outputDir = "/elsewhere/";
    b.form.show();
    EXPECT_EQ(b.Sample(), QStringList{"http://server/img1.jpg ->/elsewhere/"});

    QTest::mouseClick(b.form.BitBtnCancel, Qt::LeftButton);
    EXPECT_FALSE(b.form.isVisible());
    EXPECT_TRUE(b.added.empty());

    b.form.show();
    TypeInto(b.form.SpinEditFrom, "5");
    TypeInto(b.form.SpinEditTo, "4");
    EXPECT_TRUE(b.Sample().isEmpty());
    QTest::mouseClick(b.form.BitBtnAdd, Qt::LeftButton);
    ASSERT_EQ(b.added.size(), 1u);
    EXPECT_TRUE(b.added[0].isEmpty()) << "an empty sample empties the list";
    EXPECT_FALSE(b.form.isVisible());
}

TEST(FormURLBuilder, WhatIsTypedIntoTheSampleIsWhatOkTakes)
{
    Builder b;
    b.form.show();
    b.form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&b.form));
    b.form.SpinEditTo->setValue(3);
    TLineMemo* memo = b.form.MemoSample;
    memo->setFocus();
    // Lines 1 and 2 go; a new line is typed after the last one; the first remaining one is edited.
    memo->setCurrentIndex(memo->model()->index(1, 0));
    QTest::keyClick(memo, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(memo, Qt::Key_Delete);
    EXPECT_EQ(b.Sample(), (QStringList{"http://www.000->/out/", "http://www.003->/out/"}));
    memo->setCurrentIndex(memo->model()->index(1, 0));
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(QApplication::focusWidget(), "http://typed/->/mine/");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    memo->setCurrentIndex(memo->model()->index(0, 0));
    QTest::keyClick(memo, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->setText("http://edited/");
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::mouseClick(b.form.BitBtnAdd, Qt::LeftButton);
    ASSERT_EQ(b.added.size(), 1u);
    EXPECT_EQ(b.added[0], (QStringList{"http://edited/", "http://www.003->/out/", "http://typed/->/mine/"}));
}

TEST(FormURLBuilder, AMillionEntriesAreMadeInPartsAndAChangeStartsAfresh)
{
    Builder b;
    b.form.show();
    b.form.SpinEditTo->setValue(1000000);
    EXPECT_FALSE(b.form.SampleReady()) << "a long sample is made between events";
    // A change while it is made starts it again with the new fields.
    QApplication::processEvents();
    b.form.SpinEditTo->setValue(30000);
    b.form.SpinEditFrom->setValue(1);
    while (!b.form.SampleReady())
        QApplication::processEvents();
    ASSERT_EQ(b.Sample().size(), 30000);
    EXPECT_EQ(b.Sample().back(), "http://www.30000->/out/");

    // OK while the sample is still being made takes all of it.
    b.form.SpinEditFrom->setValue(0);
    b.form.SpinEditTo->setValue(1000000);
    ASSERT_FALSE(b.form.SampleReady());
    b.form.BitBtnAddClick();
    ASSERT_EQ(b.added.size(), 1u);
    ASSERT_EQ(b.added[0].size(), 1000001);
    EXPECT_EQ(b.added[0][0], "http://www.000->/out/");
    EXPECT_EQ(b.added[0][1000000], "http://www.1000000->/out/");
}
