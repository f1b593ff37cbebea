#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <QDialog>
#include <QStringList>

#include "links/urlsequence.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class TLineMemo;

// The URL builder: makes a numbered run of URL List entries (img001.html, img002.html, ...)
// and shows every one of them in an editable sample before OK puts the sample in place of the
// URL List. Shown beside the main window without blocking it; created once and reused.
class TFormURLBuilder : public QDialog
{
    Q_OBJECT

  public:
    explicit TFormURLBuilder(QWidget* parent = nullptr);

    // Supplied by the main window: the output directory of new entries, and what OK does with
    // the sample's lines.
    std::function<std::string()> OutputDirectory;
    std::function<void(const QStringList& entries)> OnAddURLs;

    QLabel* LabelStart;
    QLineEdit* EditURLStart;
    QLabel* LabelMiddle;
    QLabel* LabelFrom;
    QSpinBox* SpinEditFrom;
    QLabel* LabelTo;
    QSpinBox* SpinEditTo;
    QLabel* LabelAdd;
    QSpinBox* SpinEditAdd;
    QLabel* LabelDigits;
    QSpinBox* SpinEditDigits;
    QLabel* LabelEnd;
    QLineEdit* EditURLEnd;
    QLabel* LabelSample;
    TLineMemo* MemoSample;
    QPushButton* BitBtnAdd;
    QPushButton* BitBtnCancel;

    void FormShow();
    void EditURLStartChange();
    void SpinEditFromChange();
    void SpinEditToChange();
    void SpinEditAddChange();
    void SpinEditDigitsChange();
    void EditURLEndChange();
    void BitBtnAddClick();
    void BitBtnCancelClick();

    // Regenerates the sample from the fields. A long sample is made in parts between events, so
    // that the window keeps answering; a change meanwhile starts it afresh.
    void BuildSample();
    // Whether the sample is complete (it is made in parts when long).
    bool SampleReady() const { return pendingFrom >= pendingCount; }
    // Makes the rest of the sample at once.
    void FinishSample();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void CreateControls();
    void BuildNextPart();

    TURLSequence sequence;
    QStringList building;
    std::int64_t pendingFrom = 0;
    std::int64_t pendingCount = 0;
    QTimer* partTimer;
};
