#pragma once

#include <QLabel>

// A one-line label that keeps its whole text but shows, when the text is wider than the label,
// as much as fits followed by an ellipsis, so that a cut is visible; the whole text is the hint.
class TElidedLabel : public QLabel
{
    Q_OBJECT

  public:
    explicit TElidedLabel(QWidget* parent = nullptr);

    // Sets the text, which is also the hint.
    void SetText(const QString& text);
    // The text as it is drawn.
    QString DisplayedText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};
