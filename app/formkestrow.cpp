#include "app/formkestrow.h"

#include <algorithm>
#include <filesystem>

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>

#include "app/elidedlabel.h"
#include "app/glyphs.h"
#include "app/listbox.h"
#include "platform/bytetext.h"
#include "platform/exception.h"
#include "platform/pause.h"
#include "platform/prompt.h"
#include "platform/widgettext.h"
#include "platform/version.h"
#include "robot/savepaths.h"
#include "settings/startup.h"
#include "settings/formchoosedir.h"
#include "settings/formpreferences.h"
#include "settings/helpfile.h"
#include "settings/placewindow.h"

namespace
{
const QColor Aqua(0x00, 0xFF, 0xFF);
const QColor Navy(0x00, 0x00, 0x80);
const QColor Teal(0x00, 0x80, 0x80);
// The client area the window opens at.
constexpr int ClientWidth = 462;
constexpr int ClientHeight = 418;
constexpr int ProgressBarWidth = 290;

// How a control follows the client area beyond its opening size: the added width, the whole
// added height, or the URL List's or the File List's share of it.
enum TPlaceRule : int
{
    GrowX = 1,
    MoveX = 2,
    GrowYUrl = 4,
    MoveYUrl = 8,
    GrowYFile = 16,
    GrowY = 32,
    MoveY = 64
};
constexpr int ProgressLabelLeft = 8 + ProgressBarWidth + 6;
constexpr int ProgressLabelWidth = 462 - ProgressLabelLeft - 4;

QWidget* MakePanel(QWidget* parent, const QColor& colour, const QRect& geometry)
{
    auto* panel = new QWidget(parent);
    panel->setGeometry(geometry);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, colour);
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
    return panel;
}

QLabel* MakeLabel(QWidget* parent, const char* caption, int x, int y, bool panelLabel = true)
{
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->move(x, y);
    if (panelLabel)
    {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
        label->setStyleSheet(QStringLiteral("color: #FFFF00;"));
    }
    label->adjustSize();
    return label;
}

// Puts a control at its place with its hint.
template <typename Control>
Control* Placed(Control* control, const QRect& geometry, const char* hint = nullptr)
{
    control->setGeometry(geometry);
    if (hint)
        control->setToolTip(QString::fromUtf8(hint));
    return control;
}

QToolButton* MakeSpeedButton(QWidget* parent, TGlyph glyph, const char* hint, int x)
{
    auto* button = new QToolButton(parent);
    button->setGeometry(x, 1, 38, 34);
    button->setAutoRaise(true);
    button->setIcon(GlyphIcon(glyph));
    button->setIconSize(QSize(26, 26));
    button->setToolTip(QString::fromUtf8(hint));
    return button;
}

QLabel* MakeIndicator(QWidget* parent, TGlyph glyph, const char* hint, int top)
{
    auto* image = new QLabel(parent);
    image->setGeometry(424, top, 32, 32);
    image->setPixmap(GlyphPixmap(glyph, 32));
    image->setToolTip(QString::fromUtf8(hint));
    image->hide();
    return image;
}

} // namespace

TFormKestrow::TFormKestrow(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Kestrow"));
    setWindowIcon(GlyphIcon(TGlyph::Program));
    // The window opens at its size and may be made larger, up to the whole screen.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);
    QPalette aqua = palette();
    aqua.setColor(QPalette::Window, Aqua);
    setPalette(aqua);
    setAutoFillBackground(true);

    Robot = new TDownloadRun(*this, *this, this);
    CreateControls();
    CreateMenus();
    ConnectRunCommands();
    CreatePopupMenu();
    ConnectHelpMenu();
    setMinimumSize(sizeHint());
    resize(sizeHint());
    setAcceptDrops(true);
}

TFormKestrow::~TFormKestrow()
{
    // The run goes while the window is still whole: it reports to it until the end.
    delete Robot;
}

void TFormKestrow::CreateControls()
{
    auto* client = new QWidget(this);
    client->setMinimumSize(ClientWidth, ClientHeight);
    setCentralWidget(client);
    ClientArea = client;

    Panel2 = MakePanel(client, Aqua, QRect(0, 0, 462, 37));
    SpeedButtonGo = MakeSpeedButton(Panel2, TGlyph::Go, "Go", 0);
    SpeedButtonTest = MakeSpeedButton(Panel2, TGlyph::Test, "Test", 38);
    SpeedButtonStop = MakeSpeedButton(Panel2, TGlyph::Stop, "Stop", 76);
    SpeedButtonSkipFile = MakeSpeedButton(Panel2, TGlyph::SkipFile, "Skip File", 114);
    SpeedButtonSkipURL = MakeSpeedButton(Panel2, TGlyph::SkipURL, "Skip URL", 152);
    SpeedButtonHelp = MakeSpeedButton(Panel2, TGlyph::Help, "Help", 190);

    Panel5 = MakePanel(client, Navy, QRect(0, 37, 462, 97));
    Label1 = MakeLabel(Panel5, "URL", 8, 9);
    EditURL = Placed(new QLineEdit(QStringLiteral("http://www."), Panel5), QRect(62, 6, 284, 21),
                     "Enter a URL eg http://www.example.com/downloads/index.html");
    ButtonAddURL = Placed(new QPushButton(QStringLiteral("Add"), Panel5), QRect(352, 5, 48, 23),
                          "Click here to add the URL to the URL Liist");
    ButtonAddURL->setEnabled(false);
    ButtonBuild = Placed(new QPushButton(QStringLiteral("Build"), Panel5), QRect(406, 5, 48, 23),
                         "Click here to build a list of URLs automatically");
    Label5 = MakeLabel(Panel5, "Save to", 8, 39);
    EditOutputPath = Placed(new QLineEdit(Panel5), QRect(62, 36, 314, 21),
                            "Enter the destination path eg /home/me/MyFiles");
    ButtonChooseDir = Placed(new QPushButton(QStringLiteral("..."), Panel5), QRect(380, 35, 24, 23),
                             "Choose an output directory");
    Label7 = MakeLabel(Panel5, "Link", 8, 71);
    GroupBox1 = Placed(new QGroupBox(Panel5), QRect(62, 60, 176, 32));
    GroupBox1->setStyleSheet(QStringLiteral("QRadioButton { color: #FFFF00; }"));
    RadioButtonContains = Placed(new QRadioButton(QStringLiteral("Contains"), GroupBox1), QRect(6, 8, 80, 20),
                                 "File name contains this text");
    RadioButtonContains->setChecked(true);
    RadioButtonEndsWith = Placed(new QRadioButton(QStringLiteral("Ends with"), GroupBox1),
                                 QRect(90, 8, 84, 20), "The file name ends with this text");
    EditExtension = Placed(new QLineEdit(Panel5), QRect(246, 67, 100, 21), "Enter an extension eg .zip");

    Panel4 = MakePanel(client, Teal, QRect(0, 134, 462, 170));
    Label6 = MakeLabel(Panel4, "URL List", 8, 2);
    // Four whole entries of the URL List show even with its horizontal scroll bar; the File List
    // takes the rest of the panel.
    ListBoxURLList = new TListBox(Panel4);
    const int urlListTop = Label6->geometry().bottom() + 1;
    Placed(ListBoxURLList, QRect(8, urlListTop, 446, ListBoxURLList->HeightForRows(4)),
           "Right-click for menu");
    ListBoxURLList->SetList(&Robot->URLList);
    Label2 = MakeLabel(Panel4, "File List", 8, ListBoxURLList->geometry().bottom() + 2);
    const int fileListTop = Label2->geometry().bottom() + 1;
    ListBoxFileList =
        Placed(new TListBox(Panel4), QRect(8, fileListTop, 410, Panel4->height() - 4 - fileListTop),
               "Right-click for menu");
    ListBoxFileList->SetList(&Robot->FileList);
    ImageOK = MakeIndicator(Panel4, TGlyph::IndicatorOK, "No errors have occured yet", fileListTop + 8);
    ImageTimer = MakeIndicator(Panel4, TGlyph::IndicatorTimer, "Waiting for timer....", fileListTop + 8);
    ImageError = MakeIndicator(Panel4, TGlyph::IndicatorError, "oops! an error has occured", fileListTop + 8);

    Panel1 = MakePanel(client, Teal, QRect(0, 304, 462, 114));
    Label3 = MakeLabel(Panel1, "URL Progress", 8, 4);
    // The bars leave the labels beside them room for "999999 of 999999" and "999.99M of 999.99M".
    ProgressBarList =
        Placed(new QProgressBar(Panel1), QRect(8, 21, ProgressBarWidth, 16), "File list progress");
    ProgressBarList->setTextVisible(false);
    LabelOverallProgress = MakeLabel(Panel1, "", ProgressLabelLeft, 21);
    LabelOverallProgress->setFixedWidth(ProgressLabelWidth);
    Label4 = MakeLabel(Panel1, "File Progress", 8, 42);
    ProgressBarFile =
        Placed(new QProgressBar(Panel1), QRect(8, 59, ProgressBarWidth, 16), "Current file progress");
    ProgressBarFile->setTextVisible(false);
    LabelFileProgress = MakeLabel(Panel1, "", ProgressLabelLeft, 59);
    LabelFileProgress->setFixedWidth(ProgressLabelWidth);
    LabellStats = MakeLabel(Panel1, "", 8, 88);
    LabellStats->setFixedWidth(446);
    for (QProgressBar* bar : {ProgressBarList, ProgressBarFile})
    {
        bar->setRange(0, 100);
        bar->setValue(0);
    }

    StatusPanel0 = new TElidedLabel(this);
    StatusPanel0->setFixedWidth(370);
    StatusPanel1 = new TElidedLabel(this);
    StatusPanel1->setMinimumWidth(50);
    statusBar()->addWidget(StatusPanel0);
    statusBar()->addWidget(StatusPanel1, 1);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->setFixedHeight(19);

    // What takes the room of a larger window: the fields grow and their buttons move along, the
    // URL List takes two fifths of the added height and the File List the rest, and the bars
    // grow with their labels moving along.
    placements = {{Panel2, {}, GrowX},
                  {Panel5, {}, GrowX},
                  {EditURL, {}, GrowX},
                  {ButtonAddURL, {}, MoveX},
                  {ButtonBuild, {}, MoveX},
                  {EditOutputPath, {}, GrowX},
                  {ButtonChooseDir, {}, MoveX},
                  {Panel4, {}, GrowX | GrowY},
                  {ListBoxURLList, {}, GrowX | GrowYUrl},
                  {Label2, {}, MoveYUrl},
                  {ListBoxFileList, {}, GrowX | MoveYUrl | GrowYFile},
                  {ImageOK, {}, MoveX | MoveYUrl},
                  {ImageTimer, {}, MoveX | MoveYUrl},
                  {ImageError, {}, MoveX | MoveYUrl},
                  {Panel1, {}, GrowX | MoveY},
                  {ProgressBarList, {}, GrowX},
                  {ProgressBarFile, {}, GrowX},
                  {LabelOverallProgress, {}, MoveX},
                  {LabelFileProgress, {}, MoveX},
                  {LabellStats, {}, GrowX}};
    for (TPlacement& placement : placements)
        placement.opening = placement.control->geometry();
    client->installEventFilter(this);

    Connect(EditURL, &QLineEdit::textChanged, [this] { EditURLChange(); });
    Connect(EditURL, &QLineEdit::returnPressed, [this] { EditURLKeyDown(13); });
    Connect(ButtonAddURL, &QPushButton::clicked, [this] { ButtonAddURLClick(); });
    Connect(ButtonChooseDir, &QPushButton::clicked, [this] { ButtonChooseDirClick(); });
    Connect(ListBoxFileList, &TListBox::Clicked, [this] { ListBoxFileListClick(); });
    Connect(ListBoxURLList, &TListBox::Clicked, [this] { ListBoxURLListClick(); });
}

void TFormKestrow::LayOutControls()
{
    const int dx = std::max(ClientArea->width() - ClientWidth, 0);
    const int dy = std::max(ClientArea->height() - ClientHeight, 0);
    const int dyURL = dy * 2 / 5;
    const int dyFile = dy - dyURL;
    for (const TPlacement& placement : placements)
    {
        QRect place = placement.opening;
        const int rule = placement.rule;
        place.translate(rule & MoveX ? dx : 0, (rule & MoveYUrl ? dyURL : 0) + (rule & MoveY ? dy : 0));
        place.setWidth(place.width() + (rule & GrowX ? dx : 0));
        place.setHeight(place.height() + (rule & GrowYUrl ? dyURL : 0) + (rule & GrowYFile ? dyFile : 0) +
                        (rule & GrowY ? dy : 0));
        // A label of fixed width keeps one, of the new width.
        if (placement.control->minimumWidth() == placement.control->maximumWidth())
            placement.control->setFixedWidth(place.width());
        placement.control->setGeometry(place);
    }
}

bool TFormKestrow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ClientArea && event->type() == QEvent::Resize)
        LayOutControls();
    return QMainWindow::eventFilter(watched, event);
}

void TFormKestrow::CreateMenus()
{
    MenuFile = menuBar()->addMenu(QStringLiteral("&File"));
    MenuFileOpen = MenuFile->addAction(QStringLiteral("&Open..."));
    MenuFileOpen->setVisible(false);
    MenuFile->addSeparator()->setVisible(false);
    MenuFileGo = MenuFile->addAction(QStringLiteral("Go"));
    MenuFileStop = MenuFile->addAction(QStringLiteral("Stop"));
    MenuFile->addSeparator();
    MenuFileExit = MenuFile->addAction(QStringLiteral("&Exit"));
    Connect(MenuFileExit, &QAction::triggered, [this] { MenuFileExitClick(); });

    Setup = menuBar()->addMenu(QStringLiteral("&Setup"));
    MenuSetupPreferences = Setup->addAction(QStringLiteral("&Preferences"));
    Connect(MenuSetupPreferences, &QAction::triggered, [this] { MenuSetupPreferencesClick(); });
    Connect(SpeedButtonHelp, &QToolButton::clicked, [this] { SpeedButtonHelpClick(); });

    MenuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    MenuHelpContents = MenuHelp->addAction(QStringLiteral("&Contents"));
    Connect(MenuHelpContents, &QAction::triggered, [this] { MenuHelpContentsClick(); });
    MenuHelpAbout = MenuHelp->addAction(QStringLiteral("&About"));
    MenuHelp->addSeparator();
    MenuHelpUpdates = MenuHelp->addAction(QStringLiteral("Check for updates.."));
    MenuHelpReportBug = MenuHelp->addAction(QStringLiteral("Report a bug..."));
    MenuHelpTroubleShoot = MenuHelp->addAction(QStringLiteral("Trouble Shooting..."));
    MenuHelpCorvaneHome = MenuHelp->addAction(QStringLiteral("Corvane Home page..."));
}

void TFormKestrow::ConnectRunCommands()
{
    Connect(SpeedButtonGo, &QToolButton::clicked, [this] { SpeedButtonGoClick(SpeedButtonGo); });
    Connect(SpeedButtonTest, &QToolButton::clicked, [this] { SpeedButtonGoClick(SpeedButtonTest); });
    Connect(SpeedButtonStop, &QToolButton::clicked, [this] { SpeedButtonStopClick(); });
    Connect(SpeedButtonSkipFile, &QToolButton::clicked, [this] { SpeedButtonSkipFileClick(); });
    Connect(SpeedButtonSkipURL, &QToolButton::clicked, [this] { SpeedButtonSkipURLClick(); });
    Connect(MenuFileGo, &QAction::triggered, [this] { MenuFileGoClick(); });
    Connect(MenuFileStop, &QAction::triggered, [this] { MenuFileStopClick(); });
}

void TFormKestrow::AttachPreferences(TFormPreferences* preferences)
{
    FormPreferences = preferences;
}

void TFormKestrow::FormCreate(const std::vector<std::string>& parameters)
{
    std::string joined;
    for (const std::string& parameter : parameters)
        joined += parameter + " ";
    Settings.SettingsLoaded = false;
    if (parameters.empty())
        LoadURLListOfLastTime();
    else
    {
        const std::string fileName = joined.substr(0, joined.size() - 1);
        std::error_code error;
        std::string failure;
        if (!std::filesystem::exists(fileName, error))
            failure = joined + " File not found";
        else
        {
            try
            {
                LoadURLList(fileName);
            }
            catch (const Exception& reason)
            {
                failure = reason.Message();
            }
        }
        // A list that cannot be read leaves the kept one as it was, to be kept again at the end.
        if (!failure.empty())
        {
            platform::ShowMessage(failure);
            LoadURLListOfLastTime();
        }
    }
    UpdateControls();
}

void TFormKestrow::FormShow()
{
    bool containsChecked = RadioButtonContains->isChecked();
    StartUp(Settings, containsChecked);
    (containsChecked ? RadioButtonContains : RadioButtonEndsWith)->setChecked(true);
    if (FormPreferences && !FormPreferences->SettingsTaken())
        FormPreferences->TakeSettings();
    setWindowTitle(platform::ToQString("Kestrow " + platform::VersionText()));
    try
    {
        EditExtension->setText(platform::ToQString(Settings.Extension));
        EditOutputPath->setText(platform::ToQString(Settings.OutputPath));
        // The size it was left at, never below the size it opens at, nor beyond the screen.
        if (Settings.FrmKestrowSize != 0)
        {
            const auto packed = static_cast<std::uint32_t>(Settings.FrmKestrowSize);
            QSize wanted(static_cast<int>(packed >> 16), static_cast<int>(packed & 0xFFFF));
            if (screen())
                wanted = wanted.boundedTo(screen()->availableGeometry().size());
            resize(wanted.expandedTo(minimumSize()));
        }
        PlaceWindow(this, Settings.FrmKestrowLoc);
    }
    catch (const std::exception& error)
    {
        platform::ShowMessage(std::string("TFormKestrow.FormShow:Cannot assign reg values ") + error.what());
    }
    EditURL->setFocus();
}

bool TFormKestrow::FormClose()
{
    if (Robot->Running() && !platform::Confirm("Cancel download and quit?"))
        return false;
    Robot->Abandon();
    platform::ProcessMessages();
    platform::Pause(500);
    platform::ProcessMessages();
    if (FormPreferences)
        FormPreferences->hide();
    platform::ProcessMessages();
    // During a run the field shows the current file; what the user typed is what is kept.
    const std::string outputPath =
        Robot->RunActive() ? outputPathBeforeRun : platform::ToStdString(EditOutputPath->text());
    const QSize kept = isMaximized() || isFullScreen() ? normalGeometry().size() : size();
    Settings.FrmKestrowSize =
        kept == minimumSize() ? 0 : static_cast<std::int32_t>((kept.width() << 16) | kept.height());
    WriteSettings(Settings, platform::ToStdString(EditExtension->text()), outputPath, geometry().topLeft(),
                  RadioButtonContains->isChecked());
    SaveURLListForNextStart();
    return true;
}

void TFormKestrow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shownOnce)
    {
        shownOnce = true;
        FormShow();
    }
}

void TFormKestrow::closeEvent(QCloseEvent* event)
{
    if (FormClose())
    {
        event->accept();
        emit Closed();
    }
    else
        event->ignore();
}

bool TFormKestrow::AddURLAllowed() const
{
    const std::string text = platform::ToStdString(EditURL->text());
    return !bytetext::Trim(text).empty() && bytetext::UpperCase(text) != "HTTP://WWW.";
}

void TFormKestrow::UpdateControls()
{
    const bool Running = Robot->Running();
    const bool canStart =
        ListBoxURLList->Count() > 0 && !Running && !Robot->RunActive() && !Robot->PreviewActive();
    SpeedButtonGo->setEnabled(canStart);
    SpeedButtonTest->setEnabled(canStart);
    MenuFileGo->setEnabled(canStart);
    for (QToolButton* button : {SpeedButtonStop, SpeedButtonSkipFile, SpeedButtonSkipURL})
        button->setEnabled(Running);
    MenuFileStop->setEnabled(Running);
    EditOutputPath->setReadOnly(Running);
    EditURL->setReadOnly(Running);
    ButtonChooseDir->setEnabled(!Running);
    ButtonAddURL->setEnabled(!Running && AddURLAllowed());
}

void TFormKestrow::MenuFileExitClick()
{
    close();
}

void TFormKestrow::ListBoxFileListClick()
{
    if (ListBoxFileList->ItemIndex() >= 0)
        ListBoxFileList->setToolTip(platform::ToQString(ListBoxFileList->Item(ListBoxFileList->ItemIndex())));
}

void TFormKestrow::ListBoxURLListClick()
{
    if (ListBoxURLList->ItemIndex() >= 0)
        ListBoxURLList->setToolTip(platform::ToQString(ListBoxURLList->Item(ListBoxURLList->ItemIndex())));
}

void TFormKestrow::EditURLChange()
{
    ButtonAddURL->setEnabled(!Robot->Running() && AddURLAllowed());
}

void TFormKestrow::EditURLKeyDown(int key)
{
    // A read-only field still reports Enter; during a run it must add nothing.
    if (key == 13 && ButtonAddURL->isEnabled())
        ButtonAddURLClick();
}

void TFormKestrow::ButtonAddURLClick()
{
    const std::string typed(bytetext::Trim(platform::ToStdString(EditURL->text())));
    std::string address(bytetext::BeforeArrow(typed));
    address = address.substr(0, address.find('#'));
    const std::string outputDir = OutputDirectoryForEntries();
    EditOutputPath->setText(platform::ToQString(outputDir));
    if (!address.empty() && outputDir.empty())
        // The files of an entry without a folder could go nowhere; the run would only fail it.
        platform::ShowMessage("Enter the folder to save to: Save to is empty.");
    else if (!address.empty())
    {
        if (bytetext::StartsWithNoCase(address, "WWW."))
            address.insert(0, "http://");
        const std::string entry = address + "->" + outputDir;
        if (!ListBoxURLList->Contains(entry) ||
            platform::Confirm("URL '" + typed + "' already exists.\r\nAdd again?"))
            ListBoxURLList->Add(entry);
    }
    EditURL->setFocus();
    UpdateControls();
}

std::string TFormKestrow::OutputDirectoryForEntries() const
{
    return OutputDirectoryOf(platform::ToStdString(EditOutputPath->text()),
                             platform::ToStdString(QDir::homePath()));
}

void TFormKestrow::MenuSetupPreferencesClick()
{
    if (FormPreferences)
    {
        FormPreferences->show();
        FormPreferences->raise();
    }
}

void TFormKestrow::ButtonChooseDirClick()
{
    if (FormChooseDir)
    {
        const std::string path(bytetext::Trim(platform::ToStdString(EditOutputPath->text())));
        // A path that does not exist (yet) opens the chooser at the nearest folder that does.
        platform::Guarded([&] { FormChooseDir->SetNearestDirectory(path); }, [](const std::string&) {});
        if (FormChooseDir->exec() == QDialog::Accepted)
            EditOutputPath->setText(platform::ToQString(FormChooseDir->Directory()));
    }
    EditOutputPath->setText(platform::ToQString(AddBackslash(platform::ToStdString(EditOutputPath->text()))));
}

void TFormKestrow::SpeedButtonHelpClick()
{
    MenuHelpContentsClick();
}

void TFormKestrow::MenuHelpContentsClick()
{
    const std::string helpFile = HelpFileName();
    const int result = OpenHelpFile(helpFile);
    if (result < 33)
        platform::ShowMessage(HelpFailureText(result, helpFile));
}

void TFormKestrow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TFormKestrow::dropEvent(QDropEvent* event)
{
    event->acceptProposedAction();
    std::vector<std::string> files;
    // The path as the bytes it names: one that is no UTF-8 would lose them on the way through
    // a decoded text.
    for (const QUrl& url : event->mimeData()->urls())
        files.push_back(
            url.isLocalFile()
                ? QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString()
                : std::string());
    FormFilesDropped(files);
}

void TFormKestrow::FormFilesDropped(const std::vector<std::string>& files)
{
    if (files.size() > 1)
    {
        platform::ShowMessage("Sorry - multiple file drops are not supported (yet)");
        return;
    }
    if (files.empty() || files.front().empty())
        return;
    try
    {
        LoadURLList(files.front());
    }
    catch (const Exception& error)
    {
        platform::ShowMessage(error.Message());
    }
    UpdateControls();
}

void TFormKestrow::LoadURLList(const std::string& fileName)
{
    ListBoxURLList->List().LoadFile(fileName);
}
