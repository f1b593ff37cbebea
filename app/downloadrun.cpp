// The download run of the main window: Go and Test, Stop, Skip, the watchdog, and the walk over
// the URL List and the File List.
#include "app/formkestrow.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include "app/listbox.h"
#include "app/outputnaming.h"
#include "app/outputpath.h"
#include "app/sizetext.h"
#include "app/transferfile.h"
#include "auth/httpevents.h"
#include "auth/replycodetext.h"
#include "links/linkextraction.h"
#include "links/patent.h"
#include "links/urlresolution.h"
#include "net/nmftp.h"
#include "net/nmhttp.h"
#include "platform/bytetext.h"
#include "platform/clock.h"
#include "platform/exception.h"
#include "platform/pause.h"
#include "platform/prompt.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "settings/formpreferences.h"
#include "settings/starttime.h"

namespace
{
// The page probed for proxy credentials before patent queries go out.
constexpr const char* MakerHomePage = "http://www.corvane.com/";
constexpr int ReadTitleBytes = 4097;

std::string DateTimeText(const QDateTime& moment)
{
    const QLocale locale;
    // The long time format without the zone, as clocks show it.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));
    return platform::ToStdString(locale.toString(moment.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                                 moment.time().toString(timeFormat.trimmed()));
}

std::string DirectoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

void MakeDirectoryOf(const std::string& path)
{
    const std::string directory = DirectoryOf(path);
    if (!MakePath(directory))
        throw Exception("Cannot create path " + directory);
}

std::string PrintFailureText(int result, const std::string& path)
{
    switch (result)
    {
    case 2:
        return "The file " + path + " was not found.";
    case 3:
        return "The path " + path + " was not found.";
    case 5:
        return "The operating system denied access to the specified file.";
    case 8:
        return "There was not enough memory to load your web browser.";
    case 11:
        return "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).";
    case 26:
        return "A sharing violation occurred.";
    case 27:
        return "The filename association with " + NameOf(path) + " is incomplete or invalid.";
    case 28:
        return "The DDE transaction could not be completed because the request timed out.";
    case 29:
        return "The DDE transaction failed.";
    case 30:
        return "The DDE transaction could not be completed because other DDE transactions were being "
               "processed.";
    case 31:
        return "There is no application associated with " + NameOf(path) +
               " files.  Please install the application.";
    case 32:
        return "The specified dynamic-link library was not found.";
    default:
        return {};
    }
}
} // namespace

bool TFormKestrow::ReadPageTitle(const std::string& fileName, std::string& title)
{
    title.clear();
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (!file)
        return false;
    char buffer[ReadTitleBytes + 1] = {};
    std::fread(buffer, 1, ReadTitleBytes, file);
    std::fclose(file);
    const std::string text = bytetext::UpperCase(buffer);
    if (text.find("<HTML>") == std::string::npos)
        return false;
    const std::size_t open = text.find("<TITLE>");
    const std::size_t close = text.find("</TITLE>");
    if (open != std::string::npos && close != std::string::npos && close > open)
        title = text.substr(open + 7, close - open - 7);
    return true;
}

void TFormKestrow::MergeNewLinks(const TLinkList& seen, const TLinkList& found, TListBox& target)
{
    std::vector<std::string> fresh;
    for (const std::string& link : found.Items())
        if (!seen.Contains(link))
            fresh.push_back(link);
    target.AddMany(fresh);
}

int TFormKestrow::Retries() const
{
    return FormPreferences ? FormPreferences->SpinEditRetries->value() : 5;
}

bool TFormKestrow::Overwrite() const
{
    return FormPreferences && FormPreferences->CheckBoxOverWrite->isChecked();
}

bool TFormKestrow::SaveImages() const
{
    return FormPreferences && FormPreferences->CheckBoxSaveImages->isChecked();
}

void TFormKestrow::SetCaption(const std::string& text)
{
    setWindowTitle(platform::ToQString(text));
}

void TFormKestrow::SelectEntry(TListBox* list, int index)
{
    // Selecting another entry first makes the list scroll and repaint at the top, too.
    if (index == 0)
        list->SetItemIndex(1);
    list->SetItemIndex(index);
}

void TFormKestrow::MenuFileGoClick()
{
    SpeedButtonGoClick(this);
}

void TFormKestrow::SpeedButtonStopClick()
{
    if (platform::Confirm("Stop downloads?"))
        StopRun();
}

void TFormKestrow::StopRun()
{
    StopRequested = true;
    SetStatusPanel(0, "Finishing Current file...");
    platform::ProcessMessages();
    NMHTTP1->Abort();
    NMFTP1->Disconnect();
    NMFTP1->Abort();
    Running = false;
    UpdateControls();
}

void TFormKestrow::MenuFileStopClick()
{
    SpeedButtonStopClick();
}

void TFormKestrow::SpeedButtonSkipFileClick()
{
    if (!platform::Confirm("Skip this file?"))
        return;
    SkipFileRequested = true;
    AbortClients();
}

void TFormKestrow::SpeedButtonSkipURLClick()
{
    if (!platform::Confirm("Skip this URL?"))
        return;
    SkipURLRequested = true;
    NMHTTP1->Abort();
}

void TFormKestrow::TimerConnectTimer()
{
    if (Running)
        AbortClients();
}

void TFormKestrow::AbortClients()
{
    NMHTTP1->Abort();
    NMFTP1->Abort();
}

void TFormKestrow::NMHTTP1PacketRecvd()
{
    const std::int64_t received = NMHTTP1->ReceivedCount;
    const std::int64_t expected = NMHTTP1->ExpectedCount;
    ShowFileProgress(received, expected);
    // The transfer ends once the announced size is in.
    if (received == expected)
        NMHTTP1->Disconnect();
    LabelFileProgress->repaint();
}

void TFormKestrow::NMFTP1PacketRecvd()
{
    ShowFileProgress(NMFTP1->DataReceivedCount(), NMFTP1->ExpectedCount);
}

void TFormKestrow::NMFTP1Status(const std::string& status)
{
    SetStatusPanel(0, status);
    platform::ProcessMessages();
}

void TFormKestrow::ShowFileProgress(std::int64_t received, std::int64_t expected)
{
    // Every packet restarts the watchdog, so it fires only after a whole time-out without data.
    if (TimerConnect->isActive())
        TimerConnect->start();
    // The bar counts in 32 bits; larger sizes are scaled down together.
    int shift = 0;
    while ((std::max(expected, received) >> shift) > 0x7FFFFFFF)
        ++shift;
    ProgressBarFile->setMaximum(static_cast<int>(expected >> shift));
    ProgressBarFile->setValue(static_cast<int>(std::min(received, expected) >> shift));
    LabelFileProgress->setText(platform::ToQString(
        received < expected ? SizeText(received) + " of " + SizeText(expected) : SizeText(received)));
}

void TFormKestrow::SpeedButtonGoClick(QObject* sender)
{
    // A stopped run may still be leaving its transfer; Go waits for it to return.
    if (runActive)
        return;
    runActive = true;
    TRun run;
    run.TestRun = sender == SpeedButtonTest;
    try
    {
        StartRun(run);
        ScheduledWait();
        SetUpRun(run);
        for (int j = 0; j < ListBoxURLList->Count() && !StopRequested; ++j)
            ProcessURL(run, j);
    }
    catch (const std::exception& error)
    {
        // Pages and files catch their own failures; anything else ends the run with a word.
        ++ErrorCount;
        platform::ShowMessage(std::string("TFormKestrow.SpeedButtonGoClick:") + error.what());
    }
    EndRun(run);
}

void TFormKestrow::StartRun(TRun& run)
{
    idleCaption = windowTitle();
    run.SavedOutputPath = platform::ToStdString(EditOutputPath->text());
    ListBoxFileList->Clear();
    run.PageLinks.Clear();
    run.SeenLinks.Clear();
    ShowIndicator(2);
    platform::ProcessMessages();
    platform::Pause(500);
    StopRequested = false;
    ErrorCount = 0;
    SetStatusPanel(0, "");
    SetStatusPanel(1, "");
    LabelOverallProgress->clear();
    LabelFileProgress->clear();
    ProgressBarList->setRange(0, 1);
    ProgressBarList->setValue(0);
    platform::ProcessMessages();
    HttpEvents->ApplyProxySetting();
}

void TFormKestrow::ScheduledWait()
{
    while (FormPreferences && FormPreferences->CheckBoxStartAt->isChecked())
    {
        if (FormPreferences->StartTimeReached() || StopRequested)
            break;
        Running = true;
        UpdateControls();
        ShowIndicator(1);
        platform::Pause(500);
        SetCaption("Kestrow ZZzz..");
        SetStatusPanel(0, StartTimeText(platform::Now().time()) + " Waiting until " +
                              FormPreferences->SelectedStartTime());
        platform::ProcessMessages();
    }
}

void TFormKestrow::SetUpRun(TRun& run)
{
    ShowIndicator(2);
    run.RetryCount = 0;
    EditOutputPath->setText(platform::ToQString(AddBackslash(platform::ToStdString(EditOutputPath->text()))));
    run.SavedOutputPath = platform::ToStdString(EditOutputPath->text());
    const int timeOut = FormPreferences ? FormPreferences->SpinEditTimeOut->value() : 60;
    TimerConnect->start(timeOut * 1000);
    ListBoxURLList->SetItemIndex(0);
    ListBoxFileList->SetItemIndex(0);
    FilesDone = 0;
    BytesDone = 0;
    LabellStats->clear();
    RunStart = platform::Now();
    if (LogLevel() >= 1)
        WriteLog("Download started " + DateTimeText(platform::Now()));
    Running = true;
    UpdateControls();
}

void TFormKestrow::ProcessURL(TRun& run, int j)
{
    NMHTTP1->Abort();
    SkipURLRequested = false;
    run.RetryCount = 0;
    SelectEntry(ListBoxURLList, j);
    const std::string entry = ListBoxURLList->Item(j);
    const std::size_t arrow = entry.find("->");
    CurrentURL = entry.substr(0, arrow);
    run.OutputDir = arrow == std::string::npos ? std::string() : entry.substr(arrow + 2);
    const TURLParts parts = SplitURL(CurrentURL);
    CurrentURL = StripCredentials(CurrentURL);
    NMHTTP1->HeaderInfo.UserId = parts.User;
    NMHTTP1->HeaderInfo.Password = parts.Password;
    if (LogLevel() >= 1)
    {
        WriteLog("");
        WriteLog("Processing URL " + CurrentURL);
    }
    SetStatusPanel(0, "Downloading " + CurrentURL);
    platform::ProcessMessages();

    try
    {
        FetchPage(run, parts);
    }
    catch (const std::exception& error)
    {
        ShowIndicator(3);
        ++ErrorCount;
        ListBoxFileList->Clear();
        if (LogLevel() >= 1)
            WriteLog("Failed to download page " + CurrentURL + " (" + error.what() + ")");
    }

    SelectEntry(ListBoxFileList, 0);
    ListBoxFileList->repaint();
    ProgressBarList->setRange(0, std::max(ListBoxFileList->Count() - 1, 0));
    ProgressBarList->setValue(0);
    int i = std::max(ListBoxFileList->ItemIndex(), 0);
    SkipFileRequested = false;
    run.LastFileStart.start();
    while (ListBoxFileList->Count() > 0 && i < ListBoxFileList->Count() && !StopRequested &&
           !SkipURLRequested)
        ProcessFile(run, i);
}

void TFormKestrow::FetchPage(TRun& run, const TURLParts& parts)
{
    const std::string bodyFile = PageFileName(run.OutputDir, CurrentURL);
    if (!MakePath(run.OutputDir))
        throw Exception("Cannot create path " + run.OutputDir);
    PatentPage = IsPatentScheme(parts.Scheme);
    run.PatentNumber = parts.Host;
    NMHTTP1->Body = bodyFile;
    if (!PatentPage)
    {
        ProgressBarFile->setValue(0);
        HttpEvents->ProbeWithProxyLogin(CurrentURL);
        NMHTTP1->Get(CurrentURL);
    }
    SetStatusPanel(0, "Downloading " + NMHTTP1->Host);
    ListBoxFileList->Clear();
    if (PatentPage)
    {
        HttpEvents->ProbeWithProxyLogin(MakerHomePage);
        run.PageLinks.Clear();
        PatentPageLinks(parts.Scheme, parts.Host, run.PageLinks, platform::ShowMessage);
    }
    else
        ExtractLinks(bodyFile, bytetext::Trim(platform::ToStdString(EditExtension->text())),
                     RadioButtonContains->isChecked() ? TFilterMode::Contains : TFilterMode::EndsWith,
                     run.PageLinks);
    MergePageLinks(run);
    if (SaveImages() && !PatentPage)
    {
        ExtractImageLinks(bodyFile, run.PageLinks);
        MergePageLinks(run);
    }
    platform::ProcessMessages();
}

void TFormKestrow::MergePageLinks(TRun& run)
{
    MergeNewLinks(run.SeenLinks, run.PageLinks, *ListBoxFileList);
    for (const std::string& link : run.PageLinks.Items())
        run.SeenLinks.AppendNew(link);
}

void TFormKestrow::ProcessFile(TRun& run, int& i)
{
    const qint64 sinceLastStart = run.LastFileStart.elapsed();
    if (sinceLastStart < 1000)
        platform::Pause(static_cast<int>(1000 - sinceLastStart));
    run.LastFileStart.start();

    const std::string entry = ListBoxFileList->Item(i);
    SetStatusPanel(0, ResolveLink(FilesDone == 0 ? CurrentURL : NMHTTP1->Host, entry));
    SelectEntry(ListBoxFileList, i);
    ProgressBarList->setValue(ListBoxFileList->ItemIndex());
    ProgressBarFile->setValue(ProgressBarFile->minimum());
    LabelFileProgress->clear();
    const std::string place = std::to_string(i + 1) + " of " + std::to_string(ListBoxFileList->Count());
    LabelOverallProgress->setText(platform::ToQString(place));
    SetCaption("Kestrow " + place);

    std::string outputPath;
    try
    {
        try
        {
            outputPath = FileOutputPath(run.OutputDir, entry, PatentPage, run.PatentNumber, i + 1);
        }
        catch (const Exception&)
        {
            // A name that cannot be made never will be: no retry.
            run.RetryCount = Retries();
            throw;
        }
        EditOutputPath->setText(platform::ToQString(outputPath));
        outputPath = std::string(bytetext::Trim(outputPath));
        run.CurrentFile = outputPath;
        const bool exists = FileExists(outputPath);
        if (LogLevel() >= 2 && run.RetryCount == 0)
            WriteLog(exists && !Overwrite() ? outputPath + " (File exists. Skipped.)" : outputPath);

        if (!run.TestRun)
        {
            MakeDirectoryOf(outputPath);
            if (!exists && !CanCreateFile(outputPath))
            {
                run.RetryCount = Retries();
                throw Exception("Invalid file " + outputPath);
            }
        }
        ProgressBarFile->setValue(0);
        std::int64_t bytes = 0;
        if (run.TestRun)
            platform::Pause(300);
        else if (!exists || Overwrite())
            bytes = TransferFile(run, entry, outputPath, i);
        Bookkeeping(bytes, outputPath);
        run.RetryCount = 0;
        platform::ProcessMessages();
    }
    catch (const std::exception& error)
    {
        FailFile(run, error.what(), i);
    }

    ++i;
    if (SkipFileRequested)
    {
        if (LogLevel() >= 1)
            WriteLog(run.CurrentFile + " Skipped");
        SkipFileRequested = false;
    }
    if (ErrorCount > 0)
        ShowIndicator(3);
}

std::int64_t TFormKestrow::TransferFile(TRun& run, const std::string& entry, const std::string& outputPath,
                                        int& i)
{
    const TURLParts parts = SplitURL(entry);
    const bool ftp = bytetext::EqualsNoCase(parts.Scheme, "ftp://");
    const std::string transferPath = CreateTransferFile(outputPath);
    try
    {
        if (ftp)
            FetchFtpFile(parts, transferPath);
        else
        {
            NMHTTP1->Abort();
            NMHTTP1->OnPacketRecvd = [this](QObject*) { NMHTTP1PacketRecvd(); };
            NMHTTP1PacketRecvd();
            platform::ProcessMessages();
            platform::Pause(1000);
            platform::ProcessMessages();
            FetchHttpFile(ResolveLink(CurrentURL, entry), transferPath);
        }
        KeepOrDiscard(run, transferPath, outputPath, i, !ftp);
    }
    catch (...)
    {
        DiscardFile(transferPath);
        throw;
    }
    return ftp ? NMFTP1->ExpectedCount : NMHTTP1->ExpectedCount;
}

void TFormKestrow::FetchFtpFile(const TURLParts& parts, const std::string& localFile)
{
    NMFTP1->Host = parts.Host;
    // A link that names its port is fetched from that port.
    int port = 21;
    if (!parts.Port.empty())
    {
        const auto [end, error] =
            std::from_chars(parts.Port.data(), parts.Port.data() + parts.Port.size(), port);
        if (error != std::errc() || end != parts.Port.data() + parts.Port.size())
            throw Exception("Invalid port " + parts.Port);
    }
    NMFTP1->Port = port;
    try
    {
        NMFTP1->Connect();
        NMFTP1->ChangeDir(parts.Directory);
        NMFTP1->TransferType(2);
        NMFTP1->Download(parts.FileName, localFile);
        NMFTP1->Disconnect();
    }
    catch (...)
    {
        // The next file must log in afresh, perhaps on another server: no session is kept.
        NMFTP1->RequestCloseSocket();
        throw;
    }
}

void TFormKestrow::FetchHttpFile(const std::string& fileURL, const std::string& bodyFile)
{
    NMHTTP1->Body = bodyFile;
    const int loginsBefore = HttpEvents->LoginsStored;
    NMHTTP1->Get(fileURL);
    if (NMHTTP1->ReplyCode == 407)
        HttpEvents->ProbeWithProxyLogin(fileURL);
    // A login answered during this request: fetch the file again with the credential, rather
    // than keep the refusal.
    if ((NMHTTP1->ReplyCode == 401 || NMHTTP1->ReplyCode == 407) && HttpEvents->LoginsStored > loginsBefore)
        NMHTTP1->Get(fileURL);
    const std::int64_t announced = NMHTTP1->ExpectedCount;
    const std::int64_t saved = FileSize(bodyFile);
    if (announced > 0 && saved < announced)
        throw Exception("Transfer incomplete: " + std::to_string(std::max<std::int64_t>(saved, 0)) + " of " +
                        std::to_string(announced) + " bytes");
}

void TFormKestrow::KeepOrDiscard(TRun& run, const std::string& transferPath, const std::string& outputPath,
                                 int& i, bool http)
{
    std::string title;
    const bool htmlPage = ReadPageTitle(transferPath, title);
    if (PatentPage && htmlPage)
    {
        // The server answers past the last page of a document with an HTML page.
        DiscardFile(transferPath);
        i = ListBoxFileList->Count();
        return;
    }
    const int replyCode = http ? NMHTTP1->ReplyCode : 0;
    const bool errorTitle =
        htmlPage && (title.find("ERROR") != std::string::npos || title.find("404") != std::string::npos);
    if (replyCode >= 400 || errorTitle)
    {
        // An error answer is never kept as the file; it is not counted as an error either.
        if (LogLevel() >= 2)
            WriteLog(htmlPage && !title.empty() ? title : ReplyCodeText(replyCode));
        DiscardFile(transferPath);
        return;
    }
    CommitTransferFile(transferPath, outputPath);
    if (!PatentPage && SaveImages() && bytetext::UpperCase(outputPath).find(".HTM") != std::string::npos)
    {
        run.PageLinks.Clear();
        ExtractImageLinks(outputPath, run.PageLinks);
        MergePageLinks(run);
    }
}

void TFormKestrow::Bookkeeping(std::int64_t bytes, const std::string& outputPath)
{
    ++FilesDone;
    // Only what was transferred counts as downloaded.
    BytesDone += bytes;
    const QDateTime now = platform::Now();
    const qint64 seconds = std::max<qint64>(RunStart.secsTo(now) % 86400, 1);
    LabellStats->setText(platform::ToQString(SizeText(BytesDone) + " downloaded in " +
                                             std::to_string(FilesDone) + " files @ " +
                                             SizeText(BytesDone / seconds) + " bytes/Sec"));
    if (FormPreferences && FormPreferences->CheckBoxPrint->isChecked())
        PrintFile(outputPath);
}

void TFormKestrow::PrintFile(const std::string& outputPath)
{
    const int result = platform::PrintFile(outputPath);
    if (result >= 33 || LogLevel() < 1)
        return;
    const std::string text = PrintFailureText(result, outputPath);
    if (text.empty())
        platform::ShowMessage("ShellExecute returned an unknown error " + std::to_string(result));
    else
        WriteLog(text);
}

void TFormKestrow::FailFile(TRun& run, const std::string& message, int& i)
{
    AbortClients();
    platform::ProcessMessages();
    const int retries = Retries();
    if (run.RetryCount >= retries)
    {
        ++ErrorCount;
        if (LogLevel() >= 1)
            WriteLog("(" + message + ")");
    }
    if (run.RetryCount < retries && !SkipFileRequested)
    {
        ++run.RetryCount;
        --i;
    }
    else
    {
        run.RetryCount = 0;
        QApplication::alert(this);
    }
}

void TFormKestrow::EndRun(TRun& run)
{
    SetStatusPanel(0, StopRequested ? "Cancelled." : "All done.");
    EditOutputPath->setText(platform::ToQString(run.SavedOutputPath));
    if (LogLevel() >= 1)
    {
        WriteLog("Download completed " + DateTimeText(platform::Now()) + ".  " + SizeText(BytesDone) +
                 " downloaded in " + std::to_string(FilesDone) + " files");
        WriteLog(std::string(57, '='));
    }
    const bool doNothing = !FormPreferences || FormPreferences->RadioButtonDLNothing->isChecked();
    if (ErrorCount > 0 && doNothing)
    {
        const char* noun = ErrorCount > 1 ? "errors" : "error";
        const char* verb = ErrorCount > 1 ? "were" : "was";
        char text[256];
        if (LogLevel() >= 1)
        {
            std::snprintf(text, sizeof text, "%d %s occured.  Would you like to view the log?.", ErrorCount,
                          noun);
            if (platform::Confirm(text))
                MenuSetupPreferencesClick();
        }
        else
        {
            std::snprintf(text, sizeof text, "%d %s occured and %s not logged.", ErrorCount, noun, verb);
            platform::ShowMessage(text);
        }
    }
    Running = false;
    runActive = false;
    UpdateControls();
    AbortClients();
    run.PageLinks.Clear();
    run.SeenLinks.Clear();
    EditOutputPath->setText(platform::ToQString(run.SavedOutputPath));
    ShowIndicator(0);
    TimerConnect->stop();
    setWindowTitle(idleCaption);
    if (!StopRequested && FormPreferences)
    {
        if (FormPreferences->RadioButtonDLClose->isChecked())
            close();
        else if (FormPreferences->RadioButtonDLShutDown->isChecked())
            platform::ShutDown();
    }
}
