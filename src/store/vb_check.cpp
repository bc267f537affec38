#include "store/vb_check.h"

#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "store/value_base.h"

namespace {

class CChecker {
 public:
  explicit CChecker(CValueBase* vb) : m_vb(vb), m_store(vb->Store()) {}

  std::vector<std::string> Run() {
    m_owner.assign(m_store->NextBlock(), 0);
    std::vector<uint32_t> free_blocks;
    if (m_store->FreeBlocks(&free_blocks))
      Problem("free list unreadable");
    for (uint32_t block : free_blocks) Claim(block, "free list");
    ReadDictionary();
    Own(m_vb->HeaderHandle(), "header");
    m_holders[m_vb->Root()] = 1;
    Walk(m_vb->Root());
    for (const auto& [handle, count] : m_stored_counts) {
      const uint32_t holders = m_holders[handle];
      if (count != holders)
        Problem("container " + std::to_string(handle) + " counts " + std::to_string(count) +
                " references, held " + std::to_string(holders) + " times");
    }
    for (uint32_t block = m_store->FirstBlock(); block < m_owner.size(); ++block)
      if (!m_owner[block]) Problem("block " + std::to_string(block) + " belongs to nothing");
    return std::move(m_problems);
  }

 private:
  void Problem(std::string text) { m_problems.push_back(std::move(text)); }

  void Claim(uint32_t block, const std::string& what) {
    if (block < m_store->FirstBlock() || block >= m_owner.size()) {
      Problem(what + ": block " + std::to_string(block) + " outside the file");
    } else if (m_owner[block]++) {
      Problem(what + ": block " + std::to_string(block) + " owned twice");
    }
  }

  // Marks the handle's blocks; false when the handle cannot be read.
  bool Own(StoreHandle handle, const std::string& what) {
    std::vector<uint32_t> blocks;
    if (handle < m_store->FirstBlock() || handle >= m_owner.size() ||
        m_store->HandleBlocks(handle, &blocks)) {
      Problem(what + ": handle " + std::to_string(handle) + " unreadable");
      return false;
    }
    Claim(handle, what);
    for (uint32_t block : blocks) Claim(block, what);
    return true;
  }

  void ReadDictionary() {
    CHashDict* dict = m_vb->Dict();
    for (uint32_t i = 0; i < dict->Count(); ++i) {
      Atom atom;
      std::memcpy(&atom, dict->DataAt(i), sizeof atom);
      if (atom < CValueBase::kFirstAtom || atom >= m_vb->NextAtom())
        Problem("atom " + std::to_string(atom) + " of \"" + std::string(dict->KeyAt(i)) +
                "\" outside the atoms handed out");
      if (!m_atoms.insert(atom).second) Problem("atom " + std::to_string(atom) + " named twice");
    }
  }

  void Walk(StoreHandle root) {
    std::vector<StoreHandle> pending = {root};
    m_visited.insert(root);
    while (!pending.empty()) {
      const StoreHandle handle = pending.back();
      pending.pop_back();
      const std::string what = "container " + std::to_string(handle);
      if (!Own(handle, what)) continue;
      uint32_t size = 0;
      m_store->SizeOf(handle, &size);
      std::vector<uint8_t> block(size);
      if (size < CVBContainer::kBlockHeader || m_store->Read(handle, block.data(), 0, size)) {
        Problem(what + ": block too short");
        continue;
      }
      uint32_t count;
      std::memcpy(&count, block.data() + 4, 4);
      m_stored_counts[handle] = count;
      for (size_t at = CVBContainer::kBlockHeader; at < size;) {
        if (size - at < 8 || ValueSize(&block[at + 4]) < kValueHeaderSize ||
            size - at < 4 + size_t{ValueSize(&block[at + 4])}) {
          Problem(what + ": entry at " + std::to_string(at) + " overruns the block");
          break;
        }
        Atom atom;
        std::memcpy(&atom, &block[at], 4);
        const uint8_t* value = &block[at + 4];
        if (atom && !m_atoms.count(atom))
          Problem(what + ": atom " + std::to_string(atom) + " not in the dictionary");
        if (atom) Value(value, what, &pending);
        at += 4 + ValueSize(value);
      }
    }
  }

  void Value(const uint8_t* value, const std::string& what, std::vector<StoreHandle>* pending) {
    if (ValueType(value) == kValueContainer && ValueSize(value) >= 8) {
      const StoreHandle child = ValueWord(value, 0);
      ++m_holders[child];
      if (m_visited.insert(child).second) pending->push_back(child);
    } else if (ValueType(value) == kValueScript && ValueSize(value) >= kScriptValueSize) {
      for (uint32_t index = 0; index < 2; ++index)
        if (const StoreHandle block = ValueWord(value, index)) Own(block, what + " script");
    }
  }

  CValueBase* m_vb;
  CBFHP* m_store;
  std::vector<uint8_t> m_owner;
  std::unordered_set<Atom> m_atoms;
  std::unordered_set<StoreHandle> m_visited;
  std::unordered_map<StoreHandle, uint32_t> m_holders;
  std::unordered_map<StoreHandle, uint32_t> m_stored_counts;
  std::vector<std::string> m_problems;
};

}  // namespace

std::vector<std::string> CheckValueBase(CValueBase* vb) { return CChecker(vb).Run(); }
