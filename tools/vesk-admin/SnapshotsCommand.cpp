// vesk-admin snapshots: a bitmap file of every captured image, for diagnosis.
#include <string>
#include <vector>

#include "COptions.h"
#include "CSettingsKey.h"
#include "CToolError.h"
#include "Commands.h"
#include "DiagnosticsStore.h"
#include "Platform.h"
#include "Text.h"
#include "sim/common/CRegValues.h"

namespace vadmin {
namespace {

const WString kSave = W("veskSensorSaveBmp");
const WString kPath = W("veskSensorSaveBmpPath");
const char16_t* const kFolder = u"--folder";
const char16_t* const kOff = u"--off";
// The library reads the folder into 8,192 bytes, terminator included.
constexpr size_t kMaxFolder = 4095;

const CSettingsKey& _Key()
{
    static const CSettingsKey key(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\veskSensor"));
    return key;
}

bool _IsFolder(const WString& sFolder)
{
    const DWORD nAttributes = GetFileAttributesW(sFolder.c_str());
    return nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

WString _Folder(const std::u16string& sText)
{
    if (sText.empty())
        Fail(u"the folder must not be empty.");
    if (sText.size() > kMaxFolder)
        Fail(u"the folder has " + Decimal(sText.size()) + u" characters; the library reads " +
             Decimal(kMaxFolder) + u" at most.");
    const WString sFolder = ToWide(sText);
    if (GetFileAttributesW(sFolder.c_str()) == INVALID_FILE_ATTRIBUTES)
        Fail(u"the folder '" + sText + u"' does not exist; the library does not create it.");
    if (!_IsFolder(sFolder))
        Fail(u"'" + sText + u"' is a file, not a folder.");
    return sFolder;
}

// The library writes nothing in this state; the line says why.
int _Broken(const std::u16string& sReason)
{
    WriteOut(u"snapshots: on, but the library saves none: " + sReason + u".\n");
    return 1;
}

int _Show()
{
    const CRawValue save = _Key().Read(kSave);
    if (!save.m_bPresent) {
        WriteOut(u"snapshots: off (there is no value " + _Key().ValuePath(kSave) + u")\n");
        return 0;
    }
    if (!save.IsDword()) {
        WriteOut(u"snapshots: off, because " + _Key().ValuePath(kSave) + u" is not a number: " +
                 NotDwordReason(save) + u".\n");
        return 1;
    }
    if (save.Dword() == 0) {
        WriteOut(u"snapshots: off\n");
        return 0;
    }
    const CRawValue path = _Key().Read(kPath);
    if (!path.m_bPresent)
        return _Broken(u"there is no value " + _Key().ValuePath(kPath));
    if (path.m_nType != REG_SZ)
        return _Broken(u"the folder has type " + TypeName(path.m_nType) + u", not REG_SZ");
    if (path.m_vData.size() > 2 * (kMaxFolder + 1))
        return _Broken(u"the folder is longer than the " + Decimal(kMaxFolder) +
                       u" characters the library reads");
    const WString sFolder = vsim::DecodeString(path.m_vData);
    if (sFolder.empty())
        return _Broken(u"the folder is empty");
    if (!_IsFolder(sFolder))
        return _Broken(u"the folder '" + FromWide(sFolder) + u"' does not exist");
    WriteOut(u"snapshots: on, folder " + FromWide(sFolder) + u'\n');
    return 0;
}

int _Run(const std::vector<std::u16string>& args)
{
    const vtool::COptions options(args, {{kFolder, true}, {kOff, false}}, u"snapshots");
    options.RejectPlain();
    if (options.Has(kOff)) {
        if (options.Has(kFolder))
            Fail(u"--off excludes --folder.");
        _Key().WriteDword(kSave, 0);
        WriteOut(u"snapshots set to off; the library reads it for every image.\n");
        return 0;
    }
    if (!options.Has(kFolder))
        return _Show();
    const WString sFolder = _Folder(options.Value(kFolder));
    _Key().WriteString(kPath, sFolder);
    _Key().WriteDword(kSave, 1);
    WriteOut(u"snapshots set to on, folder " + FromWide(sFolder) +
             u"; the library reads it for every image.\n");
    return 0;
}

}  // namespace

const CCommand kSnapshotsCommand = {
    u"snapshots",
    u"show, or switch on or off, a bitmap file of every captured image",
    u"vesk-admin snapshots: a bitmap file of every image a local scanner delivers,\n"
    u"for diagnosis, kept in the values veskSensorSaveBmp (REG_DWORD) and\n"
    u"veskSensorSaveBmpPath (REG_SZ) of HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\veskSensor\n"
    u"(64-bit view).\n"
    u"\n"
    u"  vesk-admin snapshots                 show whether snapshots are saved\n"
    u"  vesk-admin snapshots --folder DIR    save them into DIR\n"
    u"  vesk-admin snapshots --off           save none (the folder stays stored)\n"
    u"\n"
    u"DIR    an existing folder, stored as given; give a full path. Files are named\n"
    u"       PROGRAM_TYPE_YYYYMMDD_HHMMSS.bmp; one of the same name is overwritten.\n"
    u"\n"
    u"The library reads the settings for every image.\n"
    u"\n"
    u"Exit status: 0 when the settings were written, or when the stored ones work\n"
    u"(on with an existing folder, or off). 1 when they are switched on but save\n"
    u"nothing, or are of the wrong type: the first line says why. 1 also for bad\n"
    u"arguments and registry failures, with one line on standard error.\n",
    _Run,
};

}  // namespace vadmin
