#include "links/formurlbuilder.h"

#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>

#include "links/linememo.h"
#include "platform/widgettext.h"

namespace
{
// Entries made between two looks at the event queue: a few milliseconds' work.
constexpr std::int64_t PartSize = 20000;

QLabel* MakeLabel(QWidget* parent, const char* text, const QRect& geometry)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setGeometry(geometry);
    return label;
}

QSpinBox* MakeSpinEdit(QWidget* parent, int x, int width, int maximum, int value, const char* hint)
{
    auto* spin = new QSpinBox(parent);
    spin->setGeometry(x, 40, width, 22);
    spin->setRange(0, maximum);
    spin->setValue(value);
    spin->setToolTip(QString::fromLatin1(hint));
    return spin;
}
} // namespace

TFormURLBuilder::TFormURLBuilder(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    CreateControls();
}

void TFormURLBuilder::CreateControls()
{
    setWindowTitle(QStringLiteral("URL Builder"));
    setModal(false);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    setFont(font);
    setFixedSize(533, 297);

    LabelStart = MakeLabel(this, "Start", QRect(8, 24, 150, 16));
    EditURLStart = new QLineEdit(QStringLiteral("http://www."), this);
    EditURLStart->setGeometry(8, 40, 156, 22);
    EditURLStart->setToolTip(QStringLiteral("The start of the URL"));

    auto* middle = new QFrame(this);
    middle->setGeometry(170, 4, 284, 64);
    middle->setFrameStyle(QFrame::Box | QFrame::Sunken);
    // Wide enough for the largest number each field takes.
    LabelMiddle = MakeLabel(this, "Middle", QRect(176, 6, 120, 16));
    LabelFrom = MakeLabel(this, "From", QRect(176, 24, 72, 16));
    SpinEditFrom = MakeSpinEdit(this, 176, 80, 1000000, 0, "The start number");
    LabelTo = MakeLabel(this, "To", QRect(262, 24, 72, 16));
    SpinEditTo = MakeSpinEdit(this, 262, 80, 1000000, 10, "The end number");
    LabelAdd = MakeLabel(this, "Add", QRect(348, 24, 52, 16));
    SpinEditAdd = MakeSpinEdit(this, 348, 56, 1000, 1, "Add this many for each new URL");
    LabelDigits = MakeLabel(this, "Digits", QRect(410, 24, 40, 16));
    SpinEditDigits = MakeSpinEdit(this, 410, 38, 15, 3, "The number of digits in the number");

    LabelEnd = MakeLabel(this, "End", QRect(460, 24, 60, 16));
    EditURLEnd = new QLineEdit(this);
    EditURLEnd->setGeometry(460, 40, 65, 22);
    EditURLEnd->setToolTip(QStringLiteral("The end of the URL"));

    LabelSample = MakeLabel(this, "Sample", QRect(8, 74, 120, 16));
    MemoSample = new TLineMemo(this);
    MemoSample->setGeometry(8, 90, 517, 160);
    MemoSample->setToolTip(QStringLiteral("The URLs will look like this"));

    BitBtnAdd = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtnAdd->setGeometry(357, 261, 80, 28);
    BitBtnAdd->setToolTip(QStringLiteral("Add the URLs to the list"));
    BitBtnAdd->setAutoDefault(false);
    BitBtnCancel =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    BitBtnCancel->setGeometry(445, 261, 80, 28);
    BitBtnCancel->setToolTip(QStringLiteral("Cancel"));
    BitBtnCancel->setAutoDefault(false);

    partTimer = new QTimer(this);
    partTimer->setInterval(0);
    connect(partTimer, &QTimer::timeout, this, [this] { BuildNextPart(); });

    connect(EditURLStart, &QLineEdit::textChanged, this, [this] { EditURLStartChange(); });
    connect(SpinEditFrom, &QSpinBox::valueChanged, this, [this] { SpinEditFromChange(); });
    connect(SpinEditTo, &QSpinBox::valueChanged, this, [this] { SpinEditToChange(); });
    connect(SpinEditAdd, &QSpinBox::valueChanged, this, [this] { SpinEditAddChange(); });
    connect(SpinEditDigits, &QSpinBox::valueChanged, this, [this] { SpinEditDigitsChange(); });
    connect(EditURLEnd, &QLineEdit::textChanged, this, [this] { EditURLEndChange(); });
    connect(BitBtnAdd, &QPushButton::clicked, this, [this] { BitBtnAddClick(); });
    connect(BitBtnCancel, &QPushButton::clicked, this, [this] { BitBtnCancelClick(); });
}

void TFormURLBuilder::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormURLBuilder::FormShow()
{
    BuildSample();
}

void TFormURLBuilder::EditURLStartChange()
{
    BuildSample();
}

void TFormURLBuilder::SpinEditFromChange()
{
    BuildSample();
}

void TFormURLBuilder::SpinEditToChange()
{
    BuildSample();
}

void TFormURLBuilder::SpinEditAddChange()
{
    BuildSample();
}

void TFormURLBuilder::SpinEditDigitsChange()
{
    BuildSample();
}

void TFormURLBuilder::EditURLEndChange()
{
    BuildSample();
}

void TFormURLBuilder::BuildSample()
{
    MemoSample->Clear();
    sequence.Start = platform::ToStdString(EditURLStart->text());
    sequence.From = SpinEditFrom->value();
    sequence.To = SpinEditTo->value();
    sequence.Add = SpinEditAdd->value();
    sequence.Digits = SpinEditDigits->value();
    sequence.End = platform::ToStdString(EditURLEnd->text());
    sequence.OutputDir = OutputDirectory ? OutputDirectory() : std::string();
    building.clear();
    pendingFrom = 0;
    pendingCount = SequenceCount(sequence);
    building.reserve(static_cast<qsizetype>(pendingCount));
    if (pendingCount <= PartSize)
        FinishSample();
    else
        partTimer->start();
}

void TFormURLBuilder::BuildNextPart()
{
    for (const std::string& entry : SequenceEntries(sequence, pendingFrom, PartSize))
        building.append(platform::ToQString(entry));
    pendingFrom += PartSize;
    if (pendingFrom < pendingCount)
        return;
    partTimer->stop();
    MemoSample->SetLines(building);
    building.clear();
}

void TFormURLBuilder::FinishSample()
{
    while (!SampleReady())
        BuildNextPart();
    partTimer->stop();
    if (!building.isEmpty())
    {
        MemoSample->SetLines(building);
        building.clear();
    }
}

void TFormURLBuilder::BitBtnAddClick()
{
    FinishSample();
    if (OnAddURLs)
        OnAddURLs(MemoSample->Lines());
    hide();
}

void TFormURLBuilder::BitBtnCancelClick()
{
    hide();
}
