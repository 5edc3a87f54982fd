#include "pal/registry/CKeyNode.h"

#include <algorithm>

#include "pal/registry/RegName.h"

namespace pal::registry {

CKeyNode::CKeyNode(std::u16string name) : m_sName(std::move(name)), m_sFolded(FoldName(m_sName))
{
}

CKeyNode::CKeyNode(const CKeyNode& other)
    : m_sName(other.m_sName), m_sFolded(other.m_sFolded), m_vValues(other.m_vValues)
{
    m_vChildren.reserve(other.m_vChildren.size());
    for (const auto& child : other.m_vChildren)
        m_vChildren.push_back(std::make_unique<CKeyNode>(*child));
}

CKeyNode::Children::const_iterator CKeyNode::_LowerBound(const std::u16string& folded) const
{
    return std::lower_bound(m_vChildren.begin(), m_vChildren.end(), folded,
                            [](const std::unique_ptr<CKeyNode>& child, const std::u16string& key) {
                                return child->m_sFolded < key;
                            });
}

const CKeyNode* CKeyNode::FindChild(std::u16string_view name) const
{
    const std::u16string folded = FoldName(name);
    const auto it = _LowerBound(folded);
    return it != m_vChildren.end() && (*it)->m_sFolded == folded ? it->get() : nullptr;
}

CKeyNode* CKeyNode::FindChild(std::u16string_view name)
{
    return const_cast<CKeyNode*>(static_cast<const CKeyNode*>(this)->FindChild(name));
}

CKeyNode& CKeyNode::AddChild(std::u16string_view name, bool& created)
{
    const std::u16string folded = FoldName(name);
    const auto it = _LowerBound(folded);
    created = it == m_vChildren.end() || (*it)->m_sFolded != folded;
    if (!created)
        return **it;
    return **m_vChildren.insert(it, std::make_unique<CKeyNode>(std::u16string(name)));
}

bool CKeyNode::RemoveChild(std::u16string_view name)
{
    const std::u16string folded = FoldName(name);
    const auto it = _LowerBound(folded);
    if (it == m_vChildren.end() || (*it)->m_sFolded != folded)
        return false;
    m_vChildren.erase(it);
    return true;
}

const CKeyNode* CKeyNode::Find(const std::vector<std::u16string>& path) const
{
    const CKeyNode* node = this;
    for (auto part = path.begin(); node && part != path.end(); ++part)
        node = node->FindChild(*part);
    return node;
}

CKeyNode* CKeyNode::Find(const std::vector<std::u16string>& path)
{
    return const_cast<CKeyNode*>(static_cast<const CKeyNode*>(this)->Find(path));
}

size_t CKeyNode::_ValueIndex(std::u16string_view name) const
{
    const auto it = std::find_if(m_vValues.begin(), m_vValues.end(),
                                 [&](const regtext::Value& v) { return SameName(v.name, name); });
    return static_cast<size_t>(it - m_vValues.begin());
}

const regtext::Value* CKeyNode::FindValue(std::u16string_view name) const
{
    const size_t index = _ValueIndex(name);
    return index < m_vValues.size() ? &m_vValues[index] : nullptr;
}

bool CKeyNode::SetValue(std::u16string_view name, uint32_t type, std::vector<uint8_t> data)
{
    const size_t index = _ValueIndex(name);
    if (index == m_vValues.size()) {
        regtext::Value value;
        value.name = std::u16string(name);
        value.type = type;
        value.data = std::move(data);
        m_vValues.push_back(std::move(value));
        return true;
    }
    regtext::Value& value = m_vValues[index];
    if (value.type == type && value.data == data)
        return false;
    value.type = type;
    value.data = std::move(data);
    return true;
}

bool CKeyNode::RemoveValue(std::u16string_view name)
{
    const size_t index = _ValueIndex(name);
    if (index == m_vValues.size())
        return false;
    m_vValues.erase(m_vValues.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

}  // namespace pal::registry
