#pragma once

#include <QListView>
#include <QStringList>

class QStringListModel;

// An editable text of many lines, one row per line, so that a million lines stay quick to
// fill, scroll and take. A line is edited in place (double-click, F2, or simply typing);
// Enter or Insert opens a new line below the current one, Delete removes the selected lines,
// and the usual keys copy and paste lines.
class TLineMemo : public QListView
{
    Q_OBJECT

  public:
    explicit TLineMemo(QWidget* parent = nullptr);

    QStringList Lines() const;
    void SetLines(const QStringList& lines);
    void Clear();
    int LineCount() const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void InsertLines(int row, const QStringList& lines);
    std::vector<int> SelectedRows() const;

    QStringListModel* lines;
};
