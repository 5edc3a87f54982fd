#include "pal/registry/HiveText.h"

#include <string_view>

#include "pal/registry/RegName.h"
#include "pal/text/text.h"

namespace pal::registry {

namespace {

constexpr std::string_view kTrailer = "; end of hive";

bool HasTrailer(std::string_view bytes)
{
    if (bytes.empty() || bytes.back() != '\n')
        return false;
    bytes.remove_suffix(1);
    if (!bytes.empty() && bytes.back() == '\r')
        bytes.remove_suffix(1);
    const size_t start = bytes.rfind('\n');
    return bytes.substr(start == std::string_view::npos ? 0 : start + 1) == kTrailer;
}

// The key's parts below the root, or false when the path names another root.
bool PartsBelowRoot(const std::u16string& path, HiveId hive, std::vector<std::u16string>& parts)
{
    parts = SplitPath(path);
    if (parts.empty() || !SameName(parts.front(), HiveRootName(hive)))
        return false;
    parts.erase(parts.begin());
    return parts.size() <= kMaxKeyDepth;
}

bool ApplyKey(CKeyNode& root, const regtext::Key& key, HiveId hive, std::string& why)
{
    std::vector<std::u16string> parts;
    if (!PartsBelowRoot(key.path, hive, parts)) {
        why = "line " + std::to_string(key.line) + ": the key is not below " +
              pal::ToUtf8(HiveRootName(hive)) + " or nests deeper than " +
              std::to_string(kMaxKeyDepth) + " keys";
        return false;
    }
    if (key.remove) {
        if (parts.empty()) {
            why = "line " + std::to_string(key.line) + ": it deletes the root key";
            return false;
        }
        const std::u16string leaf = parts.back();
        parts.pop_back();
        if (CKeyNode* parent = root.Find(parts))
            parent->RemoveChild(leaf);
        return true;
    }
    CKeyNode* node = &root;
    bool created = false;
    for (const std::u16string& part : parts)
        node = &node->AddChild(part, created);
    for (const regtext::Value& value : key.values) {
        if (value.remove)
            node->RemoveValue(value.name);
        else
            node->SetValue(value.name, value.type, value.data);
    }
    return true;
}

// Every key below the root is written, empty ones too, so that they persist.
void CollectKeys(const CKeyNode& node, const std::u16string& path, bool isRoot,
                 regtext::Document& document)
{
    if (!isRoot || !node.Values().empty()) {
        regtext::Key key;
        key.path = path;
        key.values = node.Values();
        document.keys.push_back(std::move(key));
    }
    for (size_t i = 0; i < node.ChildCount(); ++i) {
        const CKeyNode& child = node.ChildAt(i);
        CollectKeys(child, path + u'\\' + child.Name(), false, document);
    }
}

}  // namespace

std::unique_ptr<CKeyNode> ReadHiveText(const std::string& bytes, HiveId hive, std::string& why)
{
    if (!HasTrailer(bytes)) {
        why = "it is cut short: its last line is not \"" + std::string(kTrailer) + "\"";
        return nullptr;
    }
    regtext::Document document;
    regtext::ParseError error;
    if (!regtext::Parse(bytes, document, error)) {
        why = (error.line ? "line " + std::to_string(error.line) + ": " : std::string()) +
              error.message;
        return nullptr;
    }
    auto root = std::make_unique<CKeyNode>(HiveRootName(hive));
    for (const regtext::Key& key : document.keys) {
        if (!ApplyKey(*root, key, hive, why))
            return nullptr;
    }
    return root;
}

std::string WriteHiveText(const CKeyNode& root, HiveId hive)
{
    regtext::Document document;
    CollectKeys(root, HiveRootName(hive), true, document);
    std::string text = regtext::Format(document, regtext::Encoding::Utf8);
    text += kTrailer;
    text += "\r\n";
    return text;
}

}  // namespace pal::registry
