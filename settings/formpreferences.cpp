#include "settings/formpreferences.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>

#include "platform/bytetext.h"
#include "settings/formopenfile.h"
#include "platform/clock.h"
#include "platform/prompt.h"
#include "platform/widgettext.h"
#include "settings/starttime.h"
#include "settings/placewindow.h"

namespace
{
constexpr int GridColumns = 8;
constexpr int GridRows = 12;
constexpr int CellWidth = 40;
constexpr int CellHeight = 18;
constexpr int DefaultStartRow = 10; // 20:00

const QString NoStartTime = QStringLiteral("--:--");

QLabel* MakeLabel(QWidget* parent, const char* text, int x, int y, int width)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setGeometry(x, y, width, 16);
    return label;
}
} // namespace

TFormPreferences::TFormPreferences(TSettingsRecord& settings, std::function<std::string()> logFileName,
                                   QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      Settings(settings), LogFileName(std::move(logFileName))
{
    CreateControls();
    FormCreate();
}

void TFormPreferences::CreateControls()
{
    setWindowTitle(QStringLiteral("Preferences"));
    // A fixed window with its system menu: no minimise, no maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(false);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    setFont(font);

    Label1 = MakeLabel(this, "Timeout", 8, 11, 50);
    SpinEditTimeOut = new QSpinBox(this);
    SpinEditTimeOut->setGeometry(60, 8, 56, 22);
    SpinEditTimeOut->setRange(5, 999);
    SpinEditTimeOut->setValue(5);
    SpinEditTimeOut->setToolTip(QStringLiteral("Set the time Kestrow will wait for a connection"));
    Label2 = MakeLabel(this, "seconds", 122, 11, 60);

    Label3 = MakeLabel(this, "Retries", 8, 39, 50);
    SpinEditRetries = new QSpinBox(this);
    SpinEditRetries->setGeometry(60, 36, 56, 22);
    SpinEditRetries->setRange(0, 999);
    SpinEditRetries->setValue(5);
    SpinEditRetries->setToolTip(
        QStringLiteral("Set the number of times Kestrow will try to download a file"));
    LabelPause = MakeLabel(this, "Pause", 126, 39, 36);
    SpinEditPause = new QSpinBox(this);
    SpinEditPause->setGeometry(164, 36, 48, 22);
    SpinEditPause->setRange(0, 60);
    SpinEditPause->setValue(1);
    SpinEditPause->setToolTip(QStringLiteral("Set the seconds Kestrow waits between two files"));
    LabelPauseUnit = MakeLabel(this, "s", 216, 39, 20);

    Label4 = MakeLabel(this, "Proxy", 8, 67, 50);
    EditProxyServer = new QLineEdit(this);
    EditProxyServer->setToolTip(QStringLiteral("Set the Proxy Server eg proxy.example.com:8080"));

    Label5 = MakeLabel(this, "Log", 8, 95, 50);
    ComboBoxLog = new QComboBox(this);
    ComboBoxLog->addItems({QStringLiteral("None"), QStringLiteral("URLs, Errors"),
                           QStringLiteral("URLs, Files, Errors"),
                           QStringLiteral("URLs, Files, HTTP codes, Errors")});
    ComboBoxLog->setToolTip(QStringLiteral("Set the amount of detail to log"));
    // The longest level shows whole in whatever font the desktop has; the column beside it and
    // the window make room.
    ComboBoxLog->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    const int fieldWidth = std::max(190, ComboBoxLog->sizeHint().width());
    ComboBoxLog->setGeometry(60, 92, fieldWidth, 22);
    EditProxyServer->setGeometry(60, 64, fieldWidth, 22);
    const int right = std::max(264, 60 + fieldWidth + 14);
    const int dialogWidth = right + 136;
    setFixedSize(dialogWidth, 512);

    CheckBoxOverWrite = new QCheckBox(QStringLiteral("Overwrite files"), this);
    CheckBoxOverWrite->setGeometry(right, 8, 128, 20);
    CheckBoxOverWrite->setToolTip(QStringLiteral("Check this box to overwrite existing files"));
    CheckBoxSaveImages = new QCheckBox(QStringLiteral("Save images"), this);
    CheckBoxSaveImages->setGeometry(right, 30, 128, 20);
    CheckBoxSaveImages->setToolTip(QStringLiteral("Check this box to save images with web pages"));
    CheckBoxPrint = new QCheckBox(QStringLiteral("Print files"), this);
    CheckBoxPrint->setGeometry(right, 52, 128, 20);
    CheckBoxPrint->setToolTip(QStringLiteral("Check this box to print files after download"));

    GroupBox1 = new QGroupBox(QStringLiteral("After download"), this);
    GroupBox1->setGeometry(right, 78, 128, 88);
    RadioButtonDLNothing = new QRadioButton(QStringLiteral("do nothing"), GroupBox1);
    RadioButtonDLNothing->setGeometry(8, 20, 112, 20);
    RadioButtonDLClose = new QRadioButton(QStringLiteral("close Kestrow"), GroupBox1);
    RadioButtonDLClose->setGeometry(8, 42, 112, 20);
    RadioButtonDLShutDown = new QRadioButton(QStringLiteral("shutdown PC"), GroupBox1);
    RadioButtonDLShutDown->setGeometry(8, 64, 112, 20);
    RadioButtonDLNothing->setChecked(true);

    CheckBoxStartAt = new QCheckBox(QStringLiteral("Start at"), this);
    CheckBoxStartAt->setGeometry(8, 126, 80, 20);
    CheckBoxStartAt->setToolTip(QStringLiteral("Schedule the download for later"));
    StaticTextStartTime = new QLabel(NoStartTime, this);
    StaticTextStartTime->setGeometry(92, 126, 48, 20);
    StaticTextStartTime->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StaticTextStartTime->setAlignment(Qt::AlignCenter);
    CheckBoxPassiveFtp = new QCheckBox(QStringLiteral("Passive FTP"), this);
    CheckBoxPassiveFtp->setGeometry(150, 126, 100, 20);
    CheckBoxPassiveFtp->setToolTip(
        QStringLiteral("Make FTP data connections from this computer, as behind a router or firewall"));
    // A row of its own under "Start at", the caption as wide as the desktop's font makes it.
    LabelSimultaneous = MakeLabel(this, "Simultaneous transfers", 8, 153, 0);
    const int captionWidth = LabelSimultaneous->sizeHint().width();
    LabelSimultaneous->resize(captionWidth, 16);
    SpinEditSimultaneous = new QSpinBox(this);
    SpinEditSimultaneous->setGeometry(8 + captionWidth + 6, 150, 48, 22);
    SpinEditSimultaneous->setRange(1, MaxStoredTransfers);
    SpinEditSimultaneous->setValue(DefaultStoredTransfers);
    SpinEditSimultaneous->setToolTip(QStringLiteral("Set how many files Kestrow fetches at once"));
    LabelSimultaneous->setBuddy(SpinEditSimultaneous);

    // Three more rows: the speed limit with the checksum switch beside it, the identity, and the
    // cookies file; their fields start where the widest caption ends.
    LabelLimitRate = MakeLabel(this, "Limit speed to", 8, 181, 0);
    LabelUserAgent = MakeLabel(this, "Identify as", 8, 209, 0);
    LabelCookiesFile = MakeLabel(this, "Cookies file", 8, 237, 0);
    int fieldLeft = 0;
    for (QLabel* label : {LabelLimitRate, LabelUserAgent, LabelCookiesFile})
    {
        label->resize(label->sizeHint().width(), 16);
        fieldLeft = std::max(fieldLeft, 8 + label->width() + 6);
    }
    SpinEditLimitRate = new QSpinBox(this);
    SpinEditLimitRate->setRange(0, MaxStoredLimitRateKiB);
    SpinEditLimitRate->setSpecialValueText(QStringLiteral("no limit"));
    SpinEditLimitRate->setGeometry(fieldLeft, 178, std::max(80, SpinEditLimitRate->sizeHint().width()), 22);
    SpinEditLimitRate->setToolTip(
        QStringLiteral("Set the most KiB per second a run takes, over all its transfers (0: no limit)"));
    LabelLimitRate->setBuddy(SpinEditLimitRate);
    LabelLimitRateUnit = MakeLabel(this, "KiB/s", SpinEditLimitRate->geometry().right() + 5, 181, 40);
    CheckBoxChecksums = new QCheckBox(QStringLiteral("Check checksums"), this);
    CheckBoxChecksums->setGeometry(right, 179, 128, 20);
    CheckBoxChecksums->setChecked(true);
    CheckBoxChecksums->setToolTip(QStringLiteral(
        "Check each file against the checksum lists its page links (SHA256SUMS, NAME.md5...)"));
    EditUserAgent = new QLineEdit(this);
    EditUserAgent->setGeometry(fieldLeft, 206, dialogWidth - 8 - fieldLeft, 22);
    EditUserAgent->setPlaceholderText(QStringLiteral("no User-Agent"));
    EditUserAgent->setToolTip(
        QStringLiteral("Set the User-Agent Kestrow names in its requests (empty: none)"));
    LabelUserAgent->setBuddy(EditUserAgent);
    EditCookiesFile = new QLineEdit(this);
    EditCookiesFile->setGeometry(fieldLeft, 234, dialogWidth - 8 - 28 - fieldLeft, 22);
    EditCookiesFile->setPlaceholderText(QStringLiteral("none"));
    EditCookiesFile->setToolTip(
        QStringLiteral("Set a cookies file exported from a browser (the tab-separated format) for the runs"));
    LabelCookiesFile->setBuddy(EditCookiesFile);
    ButtonCookiesFile = new QPushButton(QStringLiteral("..."), this);
    ButtonCookiesFile->setGeometry(dialogWidth - 8 - 24, 234, 24, 22);
    ButtonCookiesFile->setToolTip(QStringLiteral("Choose the cookies file"));
    ButtonCookiesFile->setAutoDefault(false);

    MemoLog = new QPlainTextEdit(this);
    MemoLog->setGeometry(8, 264, dialogWidth - 16, 204);
    MemoLog->setReadOnly(true);
    MemoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoLog->setToolTip(QStringLiteral("The activity log"));
    MemoLog->viewport()->installEventFilter(this);

    BitBtn1 =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogResetButton), QStringLiteral("Clear"), this);
    BitBtn1->setGeometry(8, 476, 80, 28);
    BitBtn1->setToolTip(QStringLiteral("Clear the log"));
    BitBtn1->setAutoDefault(false);
    BitBtnOK = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtnOK->setGeometry(dialogWidth - 88, 476, 80, 28);
    BitBtnOK->setToolTip(QStringLiteral("Close preferences"));
    BitBtnOK->setDefault(true);

    // The grid opens over the log when "Start at" is checked, below every row of settings.
    StringGridStartTime = new QTableWidget(GridRows, GridColumns, this);
    StringGridStartTime->horizontalHeader()->hide();
    StringGridStartTime->verticalHeader()->hide();
    StringGridStartTime->horizontalHeader()->setMinimumSectionSize(1);
    StringGridStartTime->verticalHeader()->setMinimumSectionSize(1);
    StringGridStartTime->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGridStartTime->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGridStartTime->horizontalHeader()->setDefaultSectionSize(CellWidth);
    StringGridStartTime->verticalHeader()->setDefaultSectionSize(CellHeight);
    StringGridStartTime->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGridStartTime->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGridStartTime->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGridStartTime->setSelectionBehavior(QAbstractItemView::SelectItems);
    StringGridStartTime->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Focus leaving the grid (as it does when the grid hides) would otherwise move the current
    // cell on like Tab, and with it the scheduled time.
    StringGridStartTime->setTabKeyNavigation(false);
    const int frame = 2 * StringGridStartTime->frameWidth();
    const int gridTop = EditCookiesFile->geometry().bottom() + 1;
    StringGridStartTime->setGeometry(8, gridTop, GridColumns * CellWidth + frame,
                                     GridRows * CellHeight + frame);
    StringGridStartTime->setToolTip(QStringLiteral("Double-click on a time to schedule."));
    StringGridStartTime->hide();

    connect(BitBtnOK, &QPushButton::clicked, this, [this] { BitBtnOKClick(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(ButtonCookiesFile, &QPushButton::clicked, this, [this] { ButtonCookiesFileClick(); });
    // Like the check box's click event, this also runs when the program changes the box.
    connect(CheckBoxStartAt, &QCheckBox::toggled, this, [this] { CheckBoxStartAtClick(); });
    connect(StringGridStartTime, &QTableWidget::cellDoubleClicked, this,
            [this] { StringGridStartTimeDblClick(); });
}

void TFormPreferences::FormCreate()
{
    for (int cell = 0; cell < GridRows * GridColumns; ++cell)
    {
        auto* item = new QTableWidgetItem(platform::ToQString(StartTimeCellText(cell)));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        StringGridStartTime->setItem(cell / GridColumns, cell % GridColumns, item);
    }
    StringGridStartTime->setCurrentCell(DefaultStartRow, 0);
    // The stored values are taken only once they have been read; taking them earlier would
    // give the empty record back to the store the next time the dialog hides.
    if (Settings.SettingsLoaded)
        TakeSettings();
}

void TFormPreferences::TakeSettings()
{
    try
    {
        StringGridStartTime->setCurrentCell(DefaultStartRow, 0);
        const QString startAt = platform::ToQString(Settings.StartAt);
        for (int cell = 0; cell < GridRows * GridColumns; ++cell)
        {
            const int row = cell / GridColumns;
            const int column = cell % GridColumns;
            if (StringGridStartTime->item(row, column)->text() == startAt)
                StringGridStartTime->setCurrentCell(row, column);
        }
        const int logLevel = Settings.LogLevel;
        ComboBoxLog->setCurrentIndex(logLevel >= 0 && logLevel < ComboBoxLog->count() ? logLevel : -1);
        StringGridStartTime->hide();
        SpinEditTimeOut->setValue(Settings.TimeOut);
        SpinEditRetries->setValue(Settings.Retries);
        SpinEditPause->setValue(Settings.PauseSeconds);
        SpinEditSimultaneous->setValue(Settings.SimultaneousTransfers);
        SpinEditLimitRate->setValue(Settings.LimitRateKiB);
        CheckBoxChecksums->setChecked(Settings.CheckChecksums != 0);
        EditUserAgent->setText(platform::ToQString(Settings.UserAgent));
        EditCookiesFile->setText(platform::ToQString(Settings.CookiesFile));
        CheckBoxPassiveFtp->setChecked(Settings.PassiveFtp != 0);
        EditProxyServer->setText(platform::ToQString(std::string(bytetext::Trim(Settings.ProxyServer))));
        PlaceWindow(this, Settings.FrmPrefLoc);
    }
    catch (const std::exception& error)
    {
        platform::ShowMessage(std::string("TFormPreferences.FormCreate:Assigning RegData ") + error.what());
    }
    settingsTaken = true;
}

void TFormPreferences::FormHide()
{
    if (!settingsTaken)
        return;
    Settings.TimeOut = SpinEditTimeOut->value();
    Settings.Retries = SpinEditRetries->value();
    Settings.PauseSeconds = SpinEditPause->value();
    Settings.SimultaneousTransfers = SpinEditSimultaneous->value();
    Settings.LimitRateKiB = SpinEditLimitRate->value();
    Settings.CheckChecksums = CheckBoxChecksums->isChecked() ? 1 : 0;
    Settings.UserAgent = UserAgentText();
    Settings.CookiesFile = CookiesFileText();
    Settings.PassiveFtp = CheckBoxPassiveFtp->isChecked() ? 1 : 0;
    Settings.LogLevel = ComboBoxLog->currentIndex();
    Settings.FrmPrefLoc = WindowLocation(this);
    Settings.ProxyServer = std::string(bytetext::Trim(platform::ToStdString(EditProxyServer->text())));
    // The selected cell counts, not the text beside the box: a time clicked only once, or
    // the stored time never picked since start, is taken as well.
    Settings.StartAt = CheckBoxStartAt->isChecked() ? SelectedStartTime() : std::string();
}

std::string TFormPreferences::SelectedStartTime() const
{
    const QTableWidgetItem* item = StringGridStartTime->currentItem();
    return item ? platform::ToStdString(item->text()) : std::string();
}

void TFormPreferences::BitBtnOKClick()
{
    accept();
}

std::string TFormPreferences::UserAgentText() const
{
    std::string text = platform::ToStdString(EditUserAgent->text());
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
    return std::string(bytetext::Trim(text));
}

std::string TFormPreferences::CookiesFileText() const
{
    return std::string(bytetext::Trim(platform::ToStdString(EditCookiesFile->text())));
}

void TFormPreferences::ButtonCookiesFileClick()
{
    if (!CookiesDialog)
    {
        CookiesDialog = new TFormOpenFile(QStringLiteral("Cookies file"), this);
        CookiesDialog->SetNameFilters(
            {QStringLiteral("Cookies files (*.txt)"), QStringLiteral("All files (*)")});
        // Browsers' exports land in the user's own folders.
        CookiesDialog->SetDirectory(platform::ToStdString(QDir::homePath()));
    }
    CookiesDialog->SelectFile(CookiesFileText());
    if (CookiesDialog->exec() == QDialog::Accepted && !CookiesDialog->SelectedFile().empty())
        EditCookiesFile->setText(platform::ToQString(CookiesDialog->SelectedFile()));
}

void TFormPreferences::BitBtn1Click()
{
    MemoLog->clear();
    if (!LogFileName)
        return;
    const std::string logFile = LogFileName();
    if (logFile.empty())
        return;
    std::error_code error;
    std::filesystem::remove(logFile, error);
}

void TFormPreferences::CheckBoxStartAtClick()
{
    if (!CheckBoxStartAt->isChecked())
        StaticTextStartTime->setText(NoStartTime);
    StringGridStartTime->setVisible(CheckBoxStartAt->isChecked());
    if (StringGridStartTime->isVisible())
        StringGridStartTime->raise();
}

void TFormPreferences::StringGridStartTimeDblClick()
{
    StaticTextStartTime->setText(platform::ToQString(SelectedStartTime()));
    StringGridStartTime->hide();
}

void TFormPreferences::FormClick()
{
    HideGridAndClearStartAt();
}

void TFormPreferences::MemoLogClick()
{
    HideGridAndClearStartAt();
}

void TFormPreferences::HideGridAndClearStartAt()
{
    if (!StringGridStartTime->isVisible())
        return;
    StringGridStartTime->hide();
    CheckBoxStartAt->setChecked(false);
}

void TFormPreferences::AppendLog(const std::string& line)
{
    MemoLog->appendPlainText(platform::ToQString(line));
    ShowLogEnd();
}

void TFormPreferences::ShowLogEnd()
{
    // Appending leaves the view at the right end of the last line; a reader wants its start.
    QTextCursor cursor = MemoLog->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::StartOfBlock);
    MemoLog->setTextCursor(cursor);
    MemoLog->ensureCursorVisible();
    MemoLog->horizontalScrollBar()->setValue(MemoLog->horizontalScrollBar()->minimum());
}

void TFormPreferences::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ShowLogEnd();
}

void TFormPreferences::hideEvent(QHideEvent* event)
{
    // Hides by the window system (the desktop minimising everything) are not the dialog
    // being put away.
    if (!event->spontaneous())
        FormHide();
    QDialog::hideEvent(event);
}

void TFormPreferences::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        FormClick();
    QDialog::mouseReleaseEvent(event);
}

bool TFormPreferences::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == MemoLog->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        MemoLogClick();
    return QDialog::eventFilter(watched, event);
}
