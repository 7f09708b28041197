// The process-wide device tree: nodes in enumeration order, each with its own instance number.
#include "platform/posix/device_tree.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <utility>

namespace ralvex::posix {
namespace {

struct Node {
  DEVINST devinst = 0;
  DeviceNodeInfo info;
};

struct Tree {
  std::mutex mutex;
  std::vector<Node> nodes;
  DEVINST next = ROOT_DEVINST + 1;
};

// Never destroyed: drivers and static destructors elsewhere may still reach the tree at exit.
Tree& GetTree() {
  static Tree* tree = new Tree;
  return *tree;
}

ptrdiff_t IndexById(const std::vector<Node>& nodes, std::string_view id) {
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (EqualsIgnoreCase(nodes[i].info.instanceId, id)) return static_cast<ptrdiff_t>(i);
  }
  return -1;
}

ptrdiff_t IndexByDevInst(const std::vector<Node>& nodes, DEVINST devinst) {
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (nodes[i].devinst == devinst) return static_cast<ptrdiff_t>(i);
  }
  return -1;
}

// Whether nodes[index] lies below the node called `ancestorId`. Bounded by the node count so
// that a parent loop a driver might build cannot hang the walk.
bool IsBelow(const std::vector<Node>& nodes, size_t index, std::string_view ancestorId) {
  std::string_view parent = nodes[index].info.parentId;
  for (size_t depth = 0; depth <= nodes.size() && !parent.empty(); ++depth) {
    if (EqualsIgnoreCase(parent, ancestorId)) return true;
    ptrdiff_t up = IndexById(nodes, parent);
    if (up < 0) return false;
    parent = nodes[static_cast<size_t>(up)].info.parentId;
  }
  return false;
}

std::atomic<EnumerationHook> enumerationHook{nullptr};

}  // namespace

void SetEnumerationHook(EnumerationHook hook) {
  enumerationHook.store(hook);
}

void RunEnumerationHook() {
  if (EnumerationHook hook = enumerationHook.load()) hook();
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

DEVINST AddDeviceNode(DeviceNodeInfo info) {
  Tree& tree = GetTree();
  std::shared_ptr<DeviceDriver> replaced;  // released outside the lock
  std::lock_guard lock(tree.mutex);
  ptrdiff_t existing = IndexById(tree.nodes, info.instanceId);
  if (existing >= 0) {
    Node& node = tree.nodes[static_cast<size_t>(existing)];
    replaced = std::move(node.info.driver);
    node.info = std::move(info);
    return node.devinst;
  }
  size_t position = tree.nodes.size();
  if (!info.parentId.empty()) {
    ptrdiff_t parent = IndexById(tree.nodes, info.parentId);
    if (parent >= 0) {
      // After the parent and the children it already has.
      position = static_cast<size_t>(parent) + 1;
      while (position < tree.nodes.size() && IsBelow(tree.nodes, position, info.parentId)) {
        ++position;
      }
    }
  }
  Node node;
  node.devinst = tree.next++;
  node.info = std::move(info);
  DEVINST devinst = node.devinst;
  tree.nodes.insert(tree.nodes.begin() + static_cast<ptrdiff_t>(position), std::move(node));
  return devinst;
}

void SetDeviceNodePresent(DEVINST node, bool present) {
  Tree& tree = GetTree();
  std::lock_guard lock(tree.mutex);
  ptrdiff_t index = IndexByDevInst(tree.nodes, node);
  if (index >= 0) tree.nodes[static_cast<size_t>(index)].info.present = present;
}

void RemoveDeviceNode(DEVINST node) {
  Tree& tree = GetTree();
  std::vector<Node> removed;  // drivers are released after the lock is dropped
  {
    std::lock_guard lock(tree.mutex);
    ptrdiff_t index = IndexByDevInst(tree.nodes, node);
    if (index < 0) return;
    std::string id = tree.nodes[static_cast<size_t>(index)].info.instanceId;
    std::vector<Node> kept;
    kept.reserve(tree.nodes.size());
    for (size_t i = 0; i < tree.nodes.size(); ++i) {
      bool goes = static_cast<ptrdiff_t>(i) == index || IsBelow(tree.nodes, i, id);
      (goes ? removed : kept).push_back(std::move(tree.nodes[i]));
    }
    tree.nodes = std::move(kept);
  }
}

void ClearDeviceTree() {
  Tree& tree = GetTree();
  std::vector<Node> removed;
  {
    std::lock_guard lock(tree.mutex);
    removed.swap(tree.nodes);
  }
}

std::vector<DeviceNodeSnapshot> SnapshotDeviceTree() {
  Tree& tree = GetTree();
  std::lock_guard lock(tree.mutex);
  std::vector<DeviceNodeSnapshot> out;
  out.reserve(tree.nodes.size());
  for (const Node& node : tree.nodes) out.push_back({node.devinst, node.info});
  return out;
}

bool FindDeviceNode(DEVINST node, DeviceNodeSnapshot* out) {
  Tree& tree = GetTree();
  std::lock_guard lock(tree.mutex);
  ptrdiff_t index = IndexByDevInst(tree.nodes, node);
  if (index < 0) return false;
  if (out != nullptr) *out = {node, tree.nodes[static_cast<size_t>(index)].info};
  return true;
}

DEVINST FindDeviceNodeById(std::string_view instanceId, bool* present) {
  Tree& tree = GetTree();
  std::lock_guard lock(tree.mutex);
  ptrdiff_t index = IndexById(tree.nodes, instanceId);
  if (index < 0) return 0;
  const Node& node = tree.nodes[static_cast<size_t>(index)];
  if (present != nullptr) *present = node.info.present;
  return node.devinst;
}

std::shared_ptr<DeviceDriver> FindInterfaceDriver(std::string_view path) {
  // "\\.\" and "\\?\" name the same device namespace.
  std::string wanted(path);
  if (wanted.rfind("\\\\.\\", 0) == 0) wanted[2] = '?';
  Tree& tree = GetTree();
  std::lock_guard lock(tree.mutex);
  for (const Node& node : tree.nodes) {
    if (!node.info.present) continue;
    for (const DeviceInterfaceInfo& iface : node.info.interfaces) {
      if (EqualsIgnoreCase(iface.path, wanted)) return node.info.driver;
    }
  }
  return nullptr;
}

bool CollectSubtreeDrivers(DEVINST node, std::vector<std::shared_ptr<DeviceDriver>>* drivers) {
  Tree& tree = GetTree();
  std::lock_guard lock(tree.mutex);
  if (node == ROOT_DEVINST) {
    for (const Node& n : tree.nodes) {
      if (n.info.driver) drivers->push_back(n.info.driver);
    }
    return true;
  }
  ptrdiff_t index = IndexByDevInst(tree.nodes, node);
  if (index < 0) return false;
  const std::string& id = tree.nodes[static_cast<size_t>(index)].info.instanceId;
  for (size_t i = 0; i < tree.nodes.size(); ++i) {
    const Node& n = tree.nodes[i];
    if ((static_cast<ptrdiff_t>(i) == index || IsBelow(tree.nodes, i, id)) && n.info.driver) {
      drivers->push_back(n.info.driver);
    }
  }
  return true;
}

}  // namespace ralvex::posix
