#include "store/vb_walker.h"

#include "base/log.h"
#include "store/value_base.h"

namespace {

std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const size_t slash = std::min(path.find('/'), path.size());
    parts.push_back(path.substr(0, slash));
    path.remove_prefix(std::min(slash + 1, path.size()));
  }
  return parts;
}

}  // namespace

CVBWalker::CVBWalker(CValueBase* vb, std::string start) : m_vb(vb), m_start(std::move(start)) {}

ErrCode CVBWalker::Walk(const Visitor& visitor) {
  const Visitor log = [this](CVBContainer*, const std::string&, const uint8_t*) {
    LogMessage(kLogTool, "Processing Value: %s\n", m_path.c_str());
    return 0;
  };
  m_visitor = visitor ? &visitor : &log;
  const StoreHandle start = m_vb->FindPath(m_start, 0);
  if (!start) return err::kNotFound;
  const std::string resume = m_position;
  m_position.clear();
  m_path.clear();
  m_on_path.clear();
  ErrCode error = err::kOk;
  if (WalkContainer(start, Components(resume), &error)) return err::kOk;
  m_position.clear();
  return error ? error : err::kNotFound;
}

bool CVBWalker::WalkContainer(StoreHandle handle, std::vector<std::string_view> resume,
                              ErrCode* error) {
  if (!m_on_path.insert(handle).second) return false;
  COpenContainer container(m_vb, handle, error);
  if (!container) return false;
  const size_t path_length = m_path.size();
  uint32_t cursor = 0;
  Atom atom = 0;
  const uint8_t* value = nullptr;
  bool stopped = false;
  // Skip to the value the last walk stopped at, then go on after it, inside
  // it first when it is a container.
  if (!resume.empty()) {
    const Atom target = m_vb->AtomOf(resume.front());
    while (container->NextValue(&cursor, &atom, &value) == err::kOk && atom != target) {
    }
    if (cursor) {
      m_path += std::string(resume.front());
      resume.erase(resume.begin());
      if (StoreHandle child = ContainerHandleOf(value)) {
        m_path += '/';
        stopped = WalkContainer(child, resume, error);
      }
      m_path.resize(path_length);
    }
  }
  while (!stopped && !*error && container->NextValue(&cursor, &atom, &value) == err::kOk) {
    const std::string name = m_vb->NameOfAtom(atom);
    m_path += name;
    if ((*m_visitor)(container.get(), name, value)) {
      m_position = m_path;
      stopped = true;
    } else if (StoreHandle child = ContainerHandleOf(value)) {
      m_path += '/';
      stopped = WalkContainer(child, {}, error);
    }
    m_path.resize(path_length);
  }
  m_on_path.erase(handle);
  return stopped;
}
