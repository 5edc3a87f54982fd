// vesk-admin tray: the notification-area icon shown while a capture runs.
#include <string>
#include <vector>

#include "COptions.h"
#include "CSettingsKey.h"
#include "CToolError.h"
#include "Commands.h"
#include "Platform.h"
#include "Text.h"

namespace vadmin {
namespace {

const WString kValue = W("UseTrayIconNotification");

const CSettingsKey& _Key()
{
    static const CSettingsKey key(HKEY_CURRENT_USER, W("SOFTWARE\\vesk\\veskSensor\\Settings"));
    return key;
}

int _Show()
{
    const CRawValue value = _Key().Read(kValue);
    if (!value.m_bPresent) {
        WriteOut(u"tray icon: on (there is no value " + _Key().ValuePath(kValue) + u")\n");
        return 0;
    }
    if (!value.IsDword()) {
        WriteOut(u"tray icon: off, because the library takes a value that is not a number "
                 u"as off: " + NotDwordReason(value) + u".\n");
        return 1;
    }
    WriteOut(value.Dword() != 0 ? u"tray icon: on\n" : u"tray icon: off\n");
    return 0;
}

// The notification area as the shell holds it: another process's capture
// shows here while it runs.
int _ShowArea()
{
#ifdef _WIN32
    Fail(u"--show is for the Linux build; on Windows look at the notification area.");
#else
    const std::vector<pal::CNotifyIcon> icons = pal::NotificationAreaIcons();
    if (icons.empty())
        WriteOut(u"notification area: no icon\n");
    for (const pal::CNotifyIcon& icon : icons) {
        std::u16string sTip = icon.m_sTip;
        for (size_t n = sTip.find(u"\r\n"); n != std::u16string::npos; n = sTip.find(u"\r\n"))
            sTip.replace(n, 2, u" | ");
        WriteOut(u"process " + Decimal(icon.m_nProcessId) + u", icon " + Decimal(icon.m_nId) +
                 (icon.m_sIcon.empty() ? u"" : u" (" + icon.m_sIcon + u")") + u": " + sTip + u"\n");
    }
    return 0;
#endif
}

int _Run(const std::vector<std::u16string>& args)
{
    const vtool::COptions options(args, {{u"--show", false}}, u"tray");
    const std::vector<std::u16string>& plain = options.Plain();
    if (options.Has(u"--show")) {
        if (!plain.empty())
            Fail(u"--show takes no setting.");
        return _ShowArea();
    }
    if (plain.empty())
        return _Show();
    if (plain.size() > 1)
        Fail(u"unexpected argument '" + plain[1] + u"'.");
    const bool bOn = EqualsNoCase(plain[0], u"on");
    if (!bOn && !EqualsNoCase(plain[0], u"off"))
        Fail(u"unknown setting '" + plain[0] + u"' (on or off).");
    _Key().WriteDword(kValue, bOn ? 1 : 0);
    WriteOut(std::u16string(u"tray icon set to ") + (bOn ? u"on" : u"off") +
             u" for the current user.\n");
    return 0;
}

}  // namespace

const CCommand kTrayCommand = {
    u"tray",
    u"show, or switch on or off, the tray icon shown while a capture runs",
    u"vesk-admin tray: the switch of the icon in the notification area that is to\n"
    u"name the scanner and the application while a local capture runs, for the\n"
    u"current user; kept in\n"
    u"HKEY_CURRENT_USER\\SOFTWARE\\vesk\\veskSensor\\Settings\\UseTrayIconNotification\n"
    u"(REG_DWORD).\n"
    u"\n"
    u"  vesk-admin tray                      show the setting\n"
    u"  vesk-admin tray on                   show the icon (also the default)\n"
    u"  vesk-admin tray off                  show none\n"
    u"  vesk-admin tray --show               list the icons in the notification\n"
    u"                                       area now (Linux build)\n"
    u"\n"
    u"The library reads the setting as each capture starts: a REG_DWORD that is\n"
    u"not 0, or no value, shows the icon; any other type counts as off. It shows\n"
    u"no icon in a Remote Desktop session either way.\n"
    u"\n"
    u"Exit status: 0 when the setting was written or the stored one is a number\n"
    u"or absent. 1 when it is of another type, which the library takes as off.\n"
    u"1 also for bad arguments and registry failures, with one line on standard\n"
    u"error.\n",
    _Run,
};

}  // namespace vadmin
