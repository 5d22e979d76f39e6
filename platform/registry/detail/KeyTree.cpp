#include "platform/registry/detail/KeyTree.h"

#include "platform/system/Text.h"

namespace platform::registry::detail {

std::u16string foldName(std::u16string_view name) {
  std::u16string folded(name);
  CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
}

KeyNode* KeyNode::child(std::u16string_view name) const {
  const auto it = m_subkeys.find(foldName(name));
  return it == m_subkeys.end() ? nullptr : it->second.get();
}

KeyNode& KeyNode::ensureChild(std::u16string_view name, bool* created) {
  auto [it, inserted] = m_subkeys.try_emplace(foldName(name));
  if (inserted) it->second = std::make_unique<KeyNode>(std::u16string(name));
  if (created) *created = inserted;
  return *it->second;
}

bool KeyNode::removeChild(std::u16string_view name) { return m_subkeys.erase(foldName(name)) > 0; }

const RegValue* KeyNode::value(std::u16string_view name) const {
  const std::u16string folded = foldName(name);
  for (const RegValue& v : m_values) {
    if (v.folded == folded) return &v;
  }
  return nullptr;
}

void KeyNode::setValue(std::u16string_view name, DWORD type, std::vector<BYTE> data) {
  std::u16string folded = foldName(name);
  for (RegValue& v : m_values) {
    if (v.folded == folded) {
      v.type = type;
      v.data = std::move(data);
      return;
    }
  }
  m_values.push_back(RegValue{std::u16string(name), std::move(folded), type, std::move(data)});
}

bool KeyNode::deleteValue(std::u16string_view name) {
  const std::u16string folded = foldName(name);
  for (auto it = m_values.begin(); it != m_values.end(); ++it) {
    if (it->folded == folded) {
      m_values.erase(it);
      return true;
    }
  }
  return false;
}

void KeyNode::clear() {
  m_subkeys.clear();
  m_values.clear();
}

bool KeyNode::sameAs(const KeyNode& other) const {
  if (m_name != other.m_name || m_values.size() != other.m_values.size() ||
      m_subkeys.size() != other.m_subkeys.size()) {
    return false;
  }
  for (std::size_t i = 0; i < m_values.size(); ++i) {
    const RegValue& a = m_values[i];
    const RegValue& b = other.m_values[i];
    if (a.name != b.name || a.type != b.type || a.data != b.data) return false;
  }
  auto it = other.m_subkeys.begin();
  for (const auto& [folded, node] : m_subkeys) {
    if (folded != it->first || !node->sameAs(*it->second)) return false;
    ++it;
  }
  return true;
}

std::u16string_view rootName(RootId root) {
  switch (root) {
    case RootId::kLocalMachine: return u"HKEY_LOCAL_MACHINE";
    case RootId::kCurrentUser: return u"HKEY_CURRENT_USER";
    case RootId::kClassesRoot: return u"HKEY_CLASSES_ROOT";
  }
  return u"";
}

RootSet::RootSet()
    : roots{KeyNode(std::u16string(rootName(RootId::kLocalMachine))),
            KeyNode(std::u16string(rootName(RootId::kCurrentUser))),
            KeyNode(std::u16string(rootName(RootId::kClassesRoot)))} {}

KeyNode* findKey(KeyNode& root, const std::vector<std::u16string>& path) {
  KeyNode* node = &root;
  for (const std::u16string& name : path) {
    node = node->child(name);
    if (!node) return nullptr;
  }
  return node;
}

namespace {

KeyNode& ensureKey(KeyNode& root, const std::vector<std::u16string>& path) {
  KeyNode* node = &root;
  for (const std::u16string& name : path) node = &node->ensureChild(name);
  return *node;
}

// The parent of the key a path names, or null when the path is empty or the parent is missing.
KeyNode* parentOf(KeyNode& root, const std::vector<std::u16string>& path) {
  if (path.empty()) return nullptr;
  KeyNode* node = &root;
  for (std::size_t i = 0; i + 1 < path.size(); ++i) {
    node = node->child(path[i]);
    if (!node) return nullptr;
  }
  return node;
}

}  // namespace

void applyOp(RootSet& roots, const RegOp& op) {
  KeyNode& root = roots[op.root];
  switch (op.kind) {
    case RegOp::Kind::kCreateKey:
      ensureKey(root, op.path);
      break;
    case RegOp::Kind::kDeleteTree:
      if (op.path.empty()) {
        root.clear();
      } else if (KeyNode* parent = parentOf(root, op.path)) {
        parent->removeChild(op.path.back());
      }
      break;
    case RegOp::Kind::kDeleteLeaf:
      if (KeyNode* parent = parentOf(root, op.path)) {
        const KeyNode* key = parent->child(op.path.back());
        if (key && key->subkeys().empty()) parent->removeChild(op.path.back());
      }
      break;
    case RegOp::Kind::kClearKey:
      if (KeyNode* key = findKey(root, op.path)) key->clear();
      break;
    case RegOp::Kind::kSetValue:
      ensureKey(root, op.path).setValue(op.name, op.type, op.data);
      break;
    case RegOp::Kind::kDeleteValue:
      if (KeyNode* key = findKey(root, op.path)) key->deleteValue(op.name);
      break;
  }
}

}  // namespace platform::registry::detail
