#include "Console.h"

#include <cstdio>
#include <cwchar>

#include "ToolText.h"

namespace vtool {
namespace {

void WriteBytes(FILE* pStream, const std::u16string& sText)
{
    const std::string sUtf8 = ToUtf8(sText);
    std::fwrite(sUtf8.data(), 1, sUtf8.size(), pStream);
    std::fflush(pStream);
}

#ifdef _WIN32

void Write(DWORD nWhich, FILE* pStream, const std::u16string& sText)
{
    const HANDLE hStream = GetStdHandle(nWhich);
    DWORD nMode = 0;
    if (hStream == INVALID_HANDLE_VALUE || !GetConsoleMode(hStream, &nMode))
        return WriteBytes(pStream, sText);
    const WString sWide = ToWide(sText);
    DWORD nDone = 0;
    WriteConsoleW(hStream, sWide.c_str(), static_cast<DWORD>(sWide.size()), &nDone, nullptr);
}

}  // namespace

void WriteOut(const std::u16string& sText) { Write(STD_OUTPUT_HANDLE, stdout, sText); }
void WriteErr(const std::u16string& sText) { Write(STD_ERROR_HANDLE, stderr, sText); }

#else

}  // namespace

void WriteOut(const std::u16string& sText) { WriteBytes(stdout, sText); }
void WriteErr(const std::u16string& sText) { WriteBytes(stderr, sText); }

#endif

}  // namespace vtool

#ifdef _WIN32

extern "C" int wmain(int argc, wchar_t** argv)
{
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(vtool::FromWide(argv[i], std::wcslen(argv[i])));
    return vtool::RunTool(args);
}

#else

int main(int argc, char** argv)
{
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(vtool::FromUtf8(argv[i]));
    return vtool::RunTool(args);
}

#endif
