// The resources of one module as vesk_add_resources() stores them in the
// ".vesk_rsrc" section: "VRSC", version 1, then records of type (1 string,
// 2 icon file), id and size, each padded to 4 bytes. Strings are UTF-16LE
// without a terminator; icons are whole .ico files.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pal/base/wintypes.h"

namespace pal {

class CResources {
public:
    // The module's resources, read once per file and kept for the process
    // (LoadStringW may hand out pointers into them). Null without any.
    static const CResources* Of(HINSTANCE hInstance);
    // Parses a section; false for a malformed one.
    bool Parse(const std::vector<unsigned char>& bytes);

    const std::u16string* String(WORD nId) const;
    const std::vector<unsigned char>* Icon(WORD nId) const;
    const std::string& ModuleName() const { return m_sModule; }

private:
    std::map<WORD, std::u16string> m_mStrings;
    std::map<WORD, std::vector<unsigned char>> m_mIcons;
    std::string m_sModule;
};

// The width and height of the .ico image closest to the size asked for
// (an exact match, else the first larger, else the largest); false for a
// malformed file.
bool ChooseIconImage(const std::vector<unsigned char>& file, int nWidth, int nHeight,
                     int& nChosenWidth, int& nChosenHeight);

}  // namespace pal
