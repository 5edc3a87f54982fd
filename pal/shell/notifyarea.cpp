// Shell_NotifyIconW over a folder per user, one file per icon, so that every
// process of the user (a tool, a test) sees the area as the shell would.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "pal/base/settings.h"
#include "pal/shell/CIconObject.h"
#include "pal/shell/CWindowObject.h"
#include "pal/shell/shell.h"
#include "pal/text/text.h"

namespace {

struct SIconFile {
    long long m_nAdded = 0;  // ns since the epoch, for the area's order
    pal::CNotifyIcon m_icon;
};

// Line breaks of tooltips stay inside their line.
std::string Escape(const std::u16string& text)
{
    std::string out;
    for (const char c : pal::ToUtf8(text))
        out += c == '\\' ? "\\\\" : c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    return out;
}

std::u16string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 'r' ? '\r' : next == 'n' ? '\n' : next;
    }
    return pal::FromUtf8(out);
}

std::string Format(const SIconFile& file)
{
    const pal::CNotifyIcon& icon = file.m_icon;
    std::ostringstream out;
    out << "added " << file.m_nAdded << "\npid " << icon.m_nProcessId << "\nid " << icon.m_nId
        << "\nmessage " << icon.m_nCallbackMessage << "\nballoon-flags " << icon.m_nBalloonFlags
        << "\nicon " << Escape(icon.m_sIcon) << "\ntip " << Escape(icon.m_sTip) << "\nballoon "
        << Escape(icon.m_sBalloon) << "\n";
    return out.str();
}

bool Parse(const std::string& text, SIconFile& file)
{
    std::istringstream in(text);
    std::map<std::string, std::string> fields;
    for (std::string line; std::getline(in, line);) {
        const size_t space = line.find(' ');
        if (space != std::string::npos)
            fields[line.substr(0, space)] = line.substr(space + 1);
    }
    if (fields.size() != 8)
        return false;
    try {
        file.m_nAdded = std::stoll(fields["added"]);
        file.m_icon.m_nProcessId = static_cast<DWORD>(std::stoul(fields["pid"]));
        file.m_icon.m_nId = static_cast<UINT>(std::stoul(fields["id"]));
        file.m_icon.m_nCallbackMessage = static_cast<UINT>(std::stoul(fields["message"]));
        file.m_icon.m_nBalloonFlags = static_cast<DWORD>(std::stoul(fields["balloon-flags"]));
    } catch (const std::exception&) {
        return false;
    }
    file.m_icon.m_sIcon = Unescape(fields["icon"]);
    file.m_icon.m_sTip = Unescape(fields["tip"]);
    file.m_icon.m_sBalloon = Unescape(fields["balloon"]);
    return true;
}

// The folder, made private to the user on first use; empty when it cannot be.
std::string AreaFolder()
{
    const std::string folder = pal::NotificationAreaDir();
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return std::string();
    struct stat info {};
    const bool ours = lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
                      info.st_uid == geteuid();
    return ours ? folder : std::string();
}

std::string IconPath(const std::string& folder, HWND window, UINT id)
{
    return folder + "/" + std::to_string(getpid()) + "." +
           std::to_string(reinterpret_cast<uintptr_t>(window)) + "." + std::to_string(id);
}

bool ReadIcon(const std::string& path, SIconFile& file)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return in.good() && Parse(text.str(), file);
}

// Beside, then renamed over: a reader never sees half an icon.
bool WriteIcon(const std::string& path, const SIconFile& file)
{
    static std::atomic<unsigned> s_counter{0};
    const std::string temp = path + ".tmp" + std::to_string(++s_counter);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << Format(file);
        if (!out.flush()) {
            unlink(temp.c_str());
            return false;
        }
    }
    return rename(temp.c_str(), path.c_str()) == 0 || (unlink(temp.c_str()), false);
}

bool ValidSize(DWORD size)
{
    return size == NOTIFYICONDATAW_V1_SIZE || size == NOTIFYICONDATAW_V2_SIZE ||
           size == NOTIFYICONDATAW_V3_SIZE || size == sizeof(NOTIFYICONDATAW);
}

void Apply(const NOTIFYICONDATAW& data, SIconFile& file)
{
    pal::CNotifyIcon& icon = file.m_icon;
    if (data.uFlags & NIF_MESSAGE)
        icon.m_nCallbackMessage = data.uCallbackMessage;
    if (data.uFlags & NIF_ICON) {
        const auto object = pal::FindHandleOf<pal::CIconObject>(data.hIcon);
        icon.m_sIcon = object ? pal::FromUtf8(object->Describe()) : std::u16string();
    }
    const size_t tipChars = data.cbSize == NOTIFYICONDATAW_V1_SIZE ? 64 : 128;
    if (data.uFlags & NIF_TIP)
        icon.m_sTip.assign(data.szTip, std::find(data.szTip, data.szTip + tipChars - 1, u'\0'));
    if ((data.uFlags & NIF_INFO) && data.cbSize != NOTIFYICONDATAW_V1_SIZE) {
        icon.m_sBalloon.assign(data.szInfo, std::find(data.szInfo, data.szInfo + 255, u'\0'));
        icon.m_nBalloonFlags = data.dwInfoFlags;
    }
}

long long NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

BOOL WINAPI Shell_NotifyIconW(DWORD message, PNOTIFYICONDATAW data)
{
    if (!data || !ValidSize(data->cbSize) || !pal::FindHandleOf<pal::CWindowObject>(data->hWnd))
        return FALSE;
    const std::string folder = AreaFolder();
    if (folder.empty())
        return FALSE;
    const std::string path = IconPath(folder, data->hWnd, data->uID);
    SIconFile file;
    const bool present = ReadIcon(path, file);
    switch (message) {
    case NIM_ADD:
        if (present)
            return FALSE;
        file = SIconFile{NowNs(), {}};
        file.m_icon.m_nProcessId = static_cast<DWORD>(getpid());
        file.m_icon.m_nId = data->uID;
        Apply(*data, file);
        return WriteIcon(path, file);
    case NIM_MODIFY:
        if (!present)
            return FALSE;
        Apply(*data, file);
        return WriteIcon(path, file);
    case NIM_DELETE:
        return unlink(path.c_str()) == 0;
    default:
        return FALSE;
    }
}

namespace pal {

std::string NotificationAreaDir()
{
    const std::string objects = GetSetting("VESK_OBJECTS_DIR");
    return (objects.empty() ? std::string("/dev/shm") : objects) + "/vesk-notification-area-" +
           std::to_string(geteuid());
}

std::vector<CNotifyIcon> NotificationAreaIcons()
{
    std::vector<SIconFile> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(NotificationAreaDir(), error), end;
         !error && it != end; it.increment(error)) {
        SIconFile file;
        if (it->path().extension().string().rfind(".tmp", 0) == 0 || !ReadIcon(it->path(), file))
            continue;
        if (kill(static_cast<pid_t>(file.m_icon.m_nProcessId), 0) != 0 && errno == ESRCH) {
            std::filesystem::remove(it->path(), error);  // its process ended without deleting it
            error.clear();
            continue;
        }
        files.push_back(std::move(file));
    }
    std::sort(files.begin(), files.end(),
              [](const SIconFile& a, const SIconFile& b) { return a.m_nAdded < b.m_nAdded; });
    std::vector<CNotifyIcon> icons;
    for (SIconFile& file : files)
        icons.push_back(std::move(file.m_icon));
    return icons;
}

}  // namespace pal
