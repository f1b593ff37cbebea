#include "links/linememo.h"

#include <algorithm>
#include <vector>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QStringListModel>

#include "platform/selectedrows.h"

TLineMemo::TLineMemo(QWidget* parent) : QListView(parent), lines(new QStringListModel(this))
{
    setModel(lines);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setUniformItemSizes(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

QStringList TLineMemo::Lines() const
{
    return lines->stringList();
}

void TLineMemo::SetLines(const QStringList& text)
{
    lines->setStringList(text);
}

void TLineMemo::Clear()
{
    lines->setStringList({});
}

int TLineMemo::LineCount() const
{
    return lines->rowCount();
}

std::vector<int> TLineMemo::SelectedRows() const
{
    return ::SelectedRows(*selectionModel());
}

void TLineMemo::InsertLines(int row, const QStringList& text)
{
    if (text.isEmpty())
        return;
    lines->insertRows(row, static_cast<int>(text.size()));
    for (int i = 0; i < text.size(); ++i)
        lines->setData(lines->index(row + i), text[i]);
    setCurrentIndex(lines->index(row + static_cast<int>(text.size()) - 1));
}

void TLineMemo::keyPressEvent(QKeyEvent* event)
{
    if (state() == QAbstractItemView::EditingState)
    {
        QListView::keyPressEvent(event);
        return;
    }
    const int current = currentIndex().isValid() ? currentIndex().row() : LineCount() - 1;
    if (event->matches(QKeySequence::Copy))
    {
        QStringList copied;
        const QStringList all = Lines();
        for (const int row : SelectedRows())
            copied.append(all[row]);
        QApplication::clipboard()->setText(copied.join(QLatin1Char('\n')));
    }
    else if (event->matches(QKeySequence::Paste))
    {
        QString text = QApplication::clipboard()->text();
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
            .replace(QLatin1Char('\r'), QLatin1Char('\n'));
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        if (!text.isEmpty())
            InsertLines(current + 1, text.split(QLatin1Char('\n')));
    }
    else if (event->key() == Qt::Key_Delete)
    {
        const std::vector<int> rows = SelectedRows();
        // From the end, in runs of neighbours, so that the positions still to remove stay valid.
        for (auto last = rows.rbegin(); last != rows.rend();)
        {
            auto first = last;
            while (std::next(first) != rows.rend() && *std::next(first) == *first - 1)
                ++first;
            lines->removeRows(*first, *last - *first + 1);
            last = std::next(first);
        }
        if (!rows.empty() && LineCount() > 0)
            setCurrentIndex(lines->index(std::min(rows.front(), LineCount() - 1)));
    }
    else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
             event->key() == Qt::Key_Insert)
    {
        InsertLines(current + 1, {QString()});
        edit(currentIndex());
    }
    else
    {
        QListView::keyPressEvent(event);
        return;
    }
    event->accept();
}
