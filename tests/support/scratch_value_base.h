// A value base on a new handle store of 256-byte blocks kept in memory
// behind a fault file; Open(false) opens the same bytes again, as the next
// run of a program would.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "store/hash_ini.h"
#include "store/value_base.h"
#include "store/vb_ini.h"
#include "support/fault_file.h"

class CScratchValueBase {
 public:
  CScratchValueBase() { Open(true); }

  void Open(bool create) {
    m_vb.reset();
    m_store = std::make_unique<CBFHP>();
    m_file = std::make_unique<CFaultFile>(m_bytes);
    if (create)
      ASSERT_EQ(m_store->Create(m_file.get(), 256, CBFHP::kNoLimit), err::kOk);
    else
      ASSERT_EQ(m_store->Open(m_file.get()), err::kOk);
    m_vb = std::make_unique<CValueBase>(m_store.get(), &m_cache);
    ASSERT_EQ(m_vb->Init(), err::kOk);
  }
  CValueBase* vb() { return m_vb.get(); }
  COpenContainer Root() { return COpenContainer(m_vb.get(), m_vb->Root()); }
  // Imports a tree written as INI text at the root.
  void Import(const std::string& text) {
    CHashIni ini(100, 1000);
    ASSERT_EQ(ini.LoadText(text), err::kOk);
    COpenContainer root = Root();
    ASSERT_EQ(ImportIni(m_vb.get(), root.get(), &ini), err::kOk);
  }

  std::shared_ptr<std::string> m_bytes = std::make_shared<std::string>();
  std::unique_ptr<CFaultFile> m_file;
  std::unique_ptr<CBFHP> m_store;
  CObjectCache m_cache{100000, 1 << 30};
  std::unique_ptr<CValueBase> m_vb;
};
