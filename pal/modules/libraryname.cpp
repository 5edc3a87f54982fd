#include "pal/modules/libraryname.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "pal/system/machine.h"

namespace fs = std::filesystem;

namespace pal {

namespace {

bool EndsWithIgnoringCase(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() &&
           EqualsIgnoringCase(text.substr(text.size() - tail.size()), tail);
}

// Windows file systems ignore case: an exact match first, then any spelling.
std::string FindInFolder(const std::string& folder, const std::string& fileName)
{
    if (folder.empty())
        return std::string();
    std::error_code error;
    const fs::path exact = fs::path(folder) / fileName;
    if (fs::is_regular_file(exact, error))
        return exact.string();
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (EqualsIgnoringCase(it->path().filename().string(), fileName) &&
            it->is_regular_file(error))
            return it->path().string();
    }
    return std::string();
}

}  // namespace

bool EqualsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

SLibraryName ParseLibraryName(const std::string& posixPath)
{
    SLibraryName name;
    const size_t slash = posixPath.rfind('/');
    name.directory = slash == std::string::npos ? std::string() : posixPath.substr(0, slash + 1);
    const std::string file = posixPath.substr(slash == std::string::npos ? 0 : slash + 1);
    if (file.empty())
        return name;
    // What GetModuleFileNameW answers for a module names its own file.
    const std::string lib = "lib", so = ".so";
    if (file.size() > lib.size() + so.size() && file.compare(0, lib.size(), lib) == 0 &&
        file.compare(file.size() - so.size(), so.size(), so) == 0) {
        name.sharedObject = file;
        name.windowsName = file.substr(lib.size(), file.size() - lib.size() - so.size()) + ".dll";
        return name;
    }
    std::string stem = file;
    if (EndsWithIgnoringCase(file, ".dll")) {
        stem.resize(file.size() - 4);
        name.windowsName = file;
    } else if (file.back() == '.') {
        stem.pop_back();
        name.windowsName = stem;
    } else if (file.find('.') == std::string::npos) {
        name.windowsName = file + ".dll";
    } else {
        name.windowsName = file;
    }
    name.sharedObject = "lib" + stem + ".so";
    return name;
}

std::string LocateLibrary(const SLibraryName& name, const std::string& callerFolder)
{
    if (name.sharedObject.empty())
        return std::string();
    if (!name.directory.empty())
        return FindInFolder(name.directory, name.sharedObject);
    for (const std::string& folder : {callerFolder, SystemFolder()}) {
        const std::string path = FindInFolder(folder, name.sharedObject);
        if (!path.empty())
            return path;
    }
    return name.sharedObject;
}

}  // namespace pal
