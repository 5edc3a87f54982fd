#include "pal/shell/CResources.h"

#include <memory>
#include <mutex>

#include "pal/base/lasting.h"
#include "pal/files/ElfSection.h"
#include "pal/modules/modules.h"
#include "pal/text/text.h"

namespace pal {
namespace {

constexpr size_t kMaxSection = 4 << 20;
constexpr uint16_t kString = 1, kIcon = 2;

uint32_t Read32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

struct SResourceCache {
    std::mutex lock;
    std::map<std::string, std::unique_ptr<CResources>> modules;  // null: none
};

std::string ModuleFile(HINSTANCE hInstance)
{
    WCHAR path[4096];
    const DWORD n = GetModuleFileNameW(hInstance, path, 4096);
    return n == 0 || n >= 4096 ? std::string() : pal::ToPosixPath(path);
}

}  // namespace

const CResources* CResources::Of(HINSTANCE hInstance)
{
    const std::string sPath = ModuleFile(hInstance);
    if (sPath.empty())
        return nullptr;
    SResourceCache& cache = CLasting<SResourceCache>::Get();
    const std::lock_guard<std::mutex> guard(cache.lock);
    const auto found = cache.modules.find(sPath);
    if (found != cache.modules.end())
        return found->second.get();
    std::vector<unsigned char> bytes;
    auto resources = std::make_unique<CResources>();
    if (ReadElfSection(sPath, ".vesk_rsrc", kMaxSection, bytes) != ERROR_SUCCESS ||
        !resources->Parse(bytes))
        resources.reset();
    else
        resources->m_sModule = sPath.substr(sPath.rfind('/') + 1);
    return cache.modules.emplace(sPath, std::move(resources)).first->second.get();
}

bool CResources::Parse(const std::vector<unsigned char>& bytes)
{
    if (bytes.size() < 8 || std::string(bytes.begin(), bytes.begin() + 4) != "VRSC" ||
        Read32(&bytes[4]) != 1)
        return false;
    for (size_t nPos = 8; nPos < bytes.size();) {
        if (bytes.size() - nPos < 8)
            return false;
        const uint16_t nType = Read16(&bytes[nPos]), nId = Read16(&bytes[nPos + 2]);
        const uint32_t nSize = Read32(&bytes[nPos + 4]);
        nPos += 8;
        if (nSize > bytes.size() - nPos || (nType == kString && nSize % 2 != 0))
            return false;
        const unsigned char* pData = &bytes[nPos];
        if (nType == kString) {
            std::u16string& text = m_mStrings[nId];
            for (uint32_t i = 0; i < nSize; i += 2)
                text += static_cast<char16_t>(Read16(pData + i));
        } else if (nType == kIcon) {
            m_mIcons[nId].assign(pData, pData + nSize);
        }
        nPos += (nSize + 3) & ~3u;
    }
    return true;
}

const std::u16string* CResources::String(WORD nId) const
{
    const auto it = m_mStrings.find(nId);
    return it == m_mStrings.end() ? nullptr : &it->second;
}

const std::vector<unsigned char>* CResources::Icon(WORD nId) const
{
    const auto it = m_mIcons.find(nId);
    return it == m_mIcons.end() ? nullptr : &it->second;
}

bool ChooseIconImage(const std::vector<unsigned char>& file, int nWidth, int nHeight,
                     int& nChosenWidth, int& nChosenHeight)
{
    if (file.size() < 6 || Read16(&file[0]) != 0 || Read16(&file[2]) != 1)
        return false;
    const size_t nCount = Read16(&file[4]);
    if (nCount == 0 || file.size() < 6 + 16 * nCount)
        return false;
    struct SSize {
        int w = 0, h = 0;
    } exact, larger, largest;
    for (size_t i = 0; i < nCount; ++i) {
        const unsigned char* pEntry = &file[6 + 16 * i];
        const SSize size{pEntry[0] ? pEntry[0] : 256, pEntry[1] ? pEntry[1] : 256};
        const uint32_t nBytes = Read32(pEntry + 8), nOffset = Read32(pEntry + 12);
        if (nOffset > file.size() || nBytes > file.size() - nOffset)
            return false;
        if (size.w == nWidth && size.h == nHeight)
            exact = size;
        if (size.w >= nWidth && (larger.w == 0 || size.w < larger.w))
            larger = size;
        if (size.w > largest.w)
            largest = size;
    }
    const SSize chosen = exact.w ? exact : larger.w ? larger : largest;
    nChosenWidth = chosen.w;
    nChosenHeight = chosen.h;
    return true;
}

}  // namespace pal
