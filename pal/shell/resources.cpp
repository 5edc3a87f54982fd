// LoadStringW, LoadImageW, LoadIconW, DestroyIcon over the module's
// ".vesk_rsrc" section.
#include <algorithm>
#include <memory>

#include "pal/base/handles.h"
#include "pal/shell/CIconObject.h"
#include "pal/shell/CResources.h"
#include "pal/shell/shell.h"

namespace {

constexpr int kDefaultIconSize = 32;  // SM_CXICON, SM_CYICON

template <class T>
T Fail(DWORD error, T result)
{
    SetLastError(error);
    return result;
}

}  // namespace

int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size)
{
    if (!buffer || size < 0)
        return Fail(ERROR_INVALID_PARAMETER, 0);
    const pal::CResources* resources = pal::CResources::Of(instance);
    const std::u16string* text = resources && id <= 0xFFFF ? resources->String(WORD(id)) : nullptr;
    if (!text)
        return Fail(resources ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_DATA_NOT_FOUND, 0);
    if (size == 0) {  // a read-only pointer to the text, which has no terminator
        *reinterpret_cast<LPCWSTR*>(buffer) = text->data();
        return static_cast<int>(text->size());
    }
    const size_t copied = std::min<size_t>(text->size(), size_t(size) - 1);
    text->copy(buffer, copied);
    buffer[copied] = 0;
    return static_cast<int>(copied);
}

HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height,
                         UINT flags)
{
    if (type != IMAGE_ICON)
        return Fail<HANDLE>(ERROR_RESOURCE_TYPE_NOT_FOUND, nullptr);
    const pal::CResources* resources = pal::CResources::Of(instance);
    if (!resources)
        return Fail<HANDLE>(ERROR_RESOURCE_DATA_NOT_FOUND, nullptr);
    // Resources are numbered here; names are not kept.
    const WORD id = IS_INTRESOURCE(name) ? WORD(reinterpret_cast<ULONG_PTR>(name)) : 0;
    const std::vector<unsigned char>* file = id ? resources->Icon(id) : nullptr;
    if (!file)
        return Fail<HANDLE>(ERROR_RESOURCE_NAME_NOT_FOUND, nullptr);
    const bool defaultSize = flags & LR_DEFAULTSIZE;
    int chosenWidth = 0, chosenHeight = 0;
    if (!pal::ChooseIconImage(*file, width ? width : defaultSize ? kDefaultIconSize : 0,
                              height ? height : defaultSize ? kDefaultIconSize : 0, chosenWidth,
                              chosenHeight))
        return Fail<HANDLE>(ERROR_RESOURCE_DATA_NOT_FOUND, nullptr);
    // An image of another size is scaled by Windows: the size asked for is what the icon has.
    const int shownWidth = width ? width : defaultSize ? kDefaultIconSize : chosenWidth;
    const int shownHeight = height ? height : defaultSize ? kDefaultIconSize : chosenHeight;
    return pal::InsertHandle(
        std::make_shared<pal::CIconObject>(resources->ModuleName(), id, shownWidth, shownHeight));
}

HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name)
{
    return static_cast<HICON>(
        LoadImageW(instance, name, IMAGE_ICON, kDefaultIconSize, kDefaultIconSize, LR_SHARED));
}

BOOL WINAPI DestroyIcon(HICON icon)
{
    if (!pal::FindHandleOf<pal::CIconObject>(icon))
        return Fail<BOOL>(ERROR_INVALID_ICON_HANDLE, FALSE);
    pal::RemoveHandle(icon);
    return TRUE;
}
