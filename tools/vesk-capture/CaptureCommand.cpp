// vesk-capture detect and capture: the library driven from the main thread.
#include <filesystem>
#include <system_error>

#include "CCaptureRun.h"
#include "CCaptureSession.h"
#include "CConsole.h"
#include "CaptureOptions.h"
#include "Commands.h"
#include "Console.h"
#include "ExitCode.h"
#include "CodeNames.h"
#include "Platform.h"
#include "ToolError.h"
#include "ToolText.h"

namespace vcap {
namespace {

constexpr uint32_t kDetectionMode = 0;  // the library ignores it
constexpr uint32_t kOwnBrandOption = 1;  // what the own-brand driver uses until told otherwise

std::filesystem::path _PrepareFolder(const std::u16string& sDir)
{
    const std::filesystem::path folder(sDir);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder, error))
        vtool::Fail(u"cannot use '" + sDir + u"' as the folder of the images.");
    return folder;
}

}  // namespace

int RunDetect(const std::vector<std::u16string>& args)
{
    if (!args.empty())
        vtool::Fail(u"unexpected argument '" + args.front() + u"' for detect.");
    const int32_t nType = DetectFingerscanner(kDetectionMode);
    vtool::WriteOut(u"scanner: " + vtool::DescribeScanner(nType) + u'\n');
    return nType == FS_TYPE_NONE ? kExitNoScanner : kExitDone;
}

int RunCapture(const std::vector<std::u16string>& args)
{
    const CCaptureSettings settings = ParseCaptureOptions(args);
    const std::filesystem::path folder = _PrepareFolder(settings.m_sOutDir);
    const bool bSingle = settings.m_nCount == 1;

    CConsole console;
    CCaptureSession session(console, settings.m_nCount, !bSingle);
    FingerscannerData request{};
    InitFingerscannerData(&request, CCaptureSession::Callback(), 0, session.Context(),
                          kDetectionMode, kOwnBrandOption, settings.m_nPriority, bSingle ? 1 : 0);
    const std::u16string sCount =
        settings.m_nCount == 0 ? u"until stopped" : vtool::CountImages(settings.m_nCount);
    console.Out(u"capturing " + sCount + u" into " + folder.u16string() + u"; Ctrl-C stops");
    CatchInterrupt();

    const uint32_t nStart = GetImageFromFingerscanner(&request);
    if (nStart == FS_START_NO_SENSOR) {
        console.Err(u"ERROR: no scanner found.");
        return kExitNoScanner;
    }
    if (nStart != FS_START_OK) {
        console.Err(u"ERROR: the library refused to start the capture (result " +
                    vtool::Decimal(nStart) + u").");
        return kExitFailed;
    }
    return CCaptureRun(settings, folder, console, session).Follow();
}

}  // namespace vcap
