// A world object's handlers, as the handler call sees them: named
// sources, and the blocks stored for them.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/memory.h"
#include "script/script_call.h"

class CFakeOwner : public CHandlerStore {
 public:
  std::string Id() const override { return "door"; }
  bool FindHandler(const char* name, uint32_t* key) override {
    for (uint32_t i = 0; i < m_names.size(); ++i) {
      if (m_names[i] == name) {
        *key = i;
        return true;
      }
    }
    return false;
  }
  EBlock LoadBlock(uint32_t key, SCodeBlock* block) override {
    auto found = m_blocks.find(key);
    if (found == m_blocks.end()) return EBlock::kNone;
    if (found->second.empty()) return EBlock::kBroken;
    auto* bytes = static_cast<uint8_t*>(PtrAlloc(found->second.size()));
    std::memcpy(bytes, found->second.data(), found->second.size());
    block->Reset(bytes, found->second.size());
    return EBlock::kLoaded;
  }
  void ForgetBlock(uint32_t key) override {
    m_blocks.erase(key);
    ++m_forgotten;
  }
  bool LoadSource(uint32_t key, std::string* text) override {
    if (m_sources[key].empty()) return false;
    *text = m_sources[key];
    return true;
  }
  ErrCode StoreBlock(uint32_t key, const SCodeBlock& block) override {
    m_blocks[key].assign(block.data, block.data + block.size);
    ++m_stored;
    return err::kOk;
  }

  CFakeOwner(std::vector<std::string> names, std::vector<std::string> sources)
      : m_names(std::move(names)), m_sources(std::move(sources)) {}

  std::vector<std::string> m_names;
  std::vector<std::string> m_sources;  // empty: the source cannot be loaded
  std::map<uint32_t, std::vector<uint8_t>> m_blocks;
  int m_stored = 0;
  int m_forgotten = 0;
};

