// One key of a hive in memory: values in stored order, subkeys ordered by
// folded name as the registry enumerates them.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "regtext/RegText.h"

namespace pal::registry {

// Windows refuses trees deeper than this; the limit also bounds recursion.
constexpr size_t kMaxKeyDepth = 512;
// Windows' limits on what a caller may add, in UTF-16 units. Hive files are
// read whatever they hold, so that a hand-edited one stays usable.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

class CKeyNode {
public:
    explicit CKeyNode(std::u16string name);
    CKeyNode(const CKeyNode& other);  // deep copy
    CKeyNode& operator=(const CKeyNode&) = delete;

    const std::u16string& Name() const { return m_sName; }

    size_t ChildCount() const { return m_vChildren.size(); }
    const CKeyNode& ChildAt(size_t index) const { return *m_vChildren[index]; }
    const CKeyNode* FindChild(std::u16string_view name) const;
    CKeyNode* FindChild(std::u16string_view name);
    // The existing child of that name, or a new one; `created` tells which.
    CKeyNode& AddChild(std::u16string_view name, bool& created);
    bool RemoveChild(std::u16string_view name);

    const CKeyNode* Find(const std::vector<std::u16string>& path) const;
    CKeyNode* Find(const std::vector<std::u16string>& path);

    const std::vector<regtext::Value>& Values() const { return m_vValues; }
    const regtext::Value* FindValue(std::u16string_view name) const;
    // False when the value already held exactly this type and data.
    bool SetValue(std::u16string_view name, uint32_t type, std::vector<uint8_t> data);
    bool RemoveValue(std::u16string_view name);

private:
    using Children = std::vector<std::unique_ptr<CKeyNode>>;
    Children::const_iterator _LowerBound(const std::u16string& folded) const;
    size_t _ValueIndex(std::u16string_view name) const;

    std::u16string m_sName;
    std::u16string m_sFolded;
    Children m_vChildren;
    std::vector<regtext::Value> m_vValues;
};

}  // namespace pal::registry
