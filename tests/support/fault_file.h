// Files and file systems for tests that fail the way a full disk, a failing
// flush, a killed program or a power cut would.
//
// A plan counts the operations of one file or of one whole file system and
// strikes at the Nth of a kind (numbers count from 1; 0 is never):
// - a failed write, flush (of a file or a folder) or rename answers an error
//   and changes nothing;
// - a cut write keeps half of its bytes and answers success, and every later
//   change is lost: it answers success and changes nothing;
// - `lose_from` loses every change from the Nth on, counting writes,
//   truncations, flushes, renames, deletions and opens that create (a
//   program killed, or the power cut, between two steps).
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "fs/file.h"
#include "fs/memory_file.h"

struct SFaultPlan {
  enum class EStep { kDo, kFail, kLose, kCut };

  int reads = 0;
  int writes = 0;
  int flushes = 0;
  int renames = 0;
  int changes = 0;
  int fail_write = 0;
  int cut_write = 0;
  int fail_flush = 0;
  int fail_rename = 0;
  int lose_from = 0;
  bool cut = false;  // changes are being lost

  EStep Write() {
    ++writes;
    return Step(writes == fail_write, writes == cut_write);
  }
  EStep Flush() {
    ++flushes;
    return Step(flushes == fail_flush, false);
  }
  EStep Rename() {
    ++renames;
    return Step(renames == fail_rename, false);
  }
  EStep Change() { return Step(false, false); }

 private:
  EStep Step(bool fail, bool cut_here) {
    ++changes;
    if (changes == lose_from) cut = true;
    if (cut) return EStep::kLose;
    if (fail) return EStep::kFail;
    if (cut_here) cut = true;
    return cut_here ? EStep::kCut : EStep::kDo;
  }
};

// A file whose accesses go through a plan: its own, over bytes in memory, or
// the plan of the file system that opened it.
class CFaultFile : public CFile {
  TV_CLASS(CFaultFile, CFile)

 public:
  explicit CFaultFile(std::shared_ptr<std::string> bytes)
      : CFaultFile(std::make_unique<CMemoryFile>(std::move(bytes)),
                   std::make_shared<SFaultPlan>()) {}
  explicit CFaultFile(std::string_view bytes = {})
      : CFaultFile(std::make_shared<std::string>(bytes)) {}
  CFaultFile(std::unique_ptr<CFile> inner, std::shared_ptr<SFaultPlan> plan)
      : plan(*plan), m_plan(std::move(plan)) {
    SetStateWord(inner->StateWord());
    SetUnderlying(inner.release(), true);
  }

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override {
    ++plan.reads;
    return Underlying()->Read(buffer, length, count);
  }
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override {
    if (count) *count = 0;
    switch (plan.Write()) {
      case SFaultPlan::EStep::kFail: return err::kWriteFail;
      case SFaultPlan::EStep::kLose: return err::kOk;
      case SFaultPlan::EStep::kCut: return Underlying()->Write(buffer, length / 2, count);
      case SFaultPlan::EStep::kDo: break;
    }
    return Underlying()->Write(buffer, length, count);
  }
  ErrCode Seek(int32_t offset, int origin) override { return Underlying()->Seek(offset, origin); }
  uint32_t GetSize() override { return Underlying()->GetSize(); }
  uint32_t Tell() override { return Underlying()->Tell(); }
  ErrCode Flush() override {
    switch (plan.Flush()) {
      case SFaultPlan::EStep::kFail: return err::kFlushFail;
      case SFaultPlan::EStep::kDo: return Underlying()->Flush();
      default: return err::kOk;
    }
  }
  ErrCode Truncate() override {
    return plan.Change() == SFaultPlan::EStep::kDo ? Underlying()->Truncate() : err::kOk;
  }

  SFaultPlan& plan;

 private:
  std::shared_ptr<SFaultPlan> m_plan;
};

// A file system over another one whose files and folder operations all
// count in one plan.
class CFaultFileService : public CFileService {
  TV_CLASS(CFaultFileService, CFileService)

 public:
  CFaultFileService(std::unique_ptr<CFileService> inner, std::shared_ptr<SFaultPlan> plan)
      : m_inner(std::move(inner)), m_plan(std::move(plan)) {}

  std::unique_ptr<CFile> Open(const char* path, uint16_t mode, ErrCode* error) override {
    if ((mode & kOpenCreate) && m_plan->Change() != SFaultPlan::EStep::kDo) {
      if (error) *error = err::kOpenFail;
      return nullptr;
    }
    std::unique_ptr<CFile> file = m_inner->Open(path, mode, error);
    if (!file) return nullptr;
    return std::make_unique<CFaultFile>(std::move(file), m_plan);
  }
  bool Exists(const char* path) override { return m_inner->Exists(path); }
  ErrCode Delete(const char* path) override {
    return m_plan->Change() == SFaultPlan::EStep::kDo ? m_inner->Delete(path) : err::kOk;
  }
  ErrCode Rename(const char* old_path, const char* new_path) override {
    return Renamed([&] { return m_inner->Rename(old_path, new_path); });
  }
  ErrCode RenameOver(const char* old_path, const char* new_path) override {
    return Renamed([&] { return m_inner->RenameOver(old_path, new_path); });
  }
  ErrCode FlushDir(const char* directory) override {
    switch (m_plan->Flush()) {
      case SFaultPlan::EStep::kFail: return err::kFlushFail;
      case SFaultPlan::EStep::kDo: return m_inner->FlushDir(directory);
      default: return err::kOk;
    }
  }
  ErrCode MakeDir(const char* parent, const char* name) override {
    return m_inner->MakeDir(parent, name);
  }
  ErrCode FindFirst(FindContext* context, const char* directory) override {
    return m_inner->FindFirst(context, directory);
  }

 private:
  template <class Call>
  ErrCode Renamed(Call rename) {
    switch (m_plan->Rename()) {
      case SFaultPlan::EStep::kFail: return err::kFile;
      case SFaultPlan::EStep::kDo: return rename();
      default: return err::kOk;
    }
  }

  std::unique_ptr<CFileService> m_inner;
  std::shared_ptr<SFaultPlan> m_plan;
};
