// A resumable depth-first walk over a value-base tree.
//
// Values are visited in NextValue order; a sub-container is entered right
// after its own value was visited. A visitor that answers non-zero stops the
// walk, which keeps its position as a path so that the next Walk continues
// after that value. A container met again inside itself is not entered.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/errors.h"
#include "store/vb_container.h"

class CValueBase;

class CVBWalker {
 public:
  using Visitor = std::function<int(CVBContainer* container, const std::string& name,
                                    const uint8_t* value)>;

  explicit CVBWalker(CValueBase* vb, std::string start = "/");

  // NOTFOUND when the whole tree is done (the position is cleared); 0 when a
  // visitor stopped the walk. The default visitor logs each value's path.
  ErrCode Walk(const Visitor& visitor = {});
  // The path of the value being visited, from the start path.
  const std::string& CurrentPath() const { return m_path; }
  const std::string& Position() const { return m_position; }

 private:
  // True when the visitor stopped the walk.
  bool WalkContainer(StoreHandle handle, std::vector<std::string_view> resume, ErrCode* error);

  CValueBase* m_vb;
  std::string m_start;
  std::string m_position;
  std::string m_path;
  const Visitor* m_visitor = nullptr;
  std::unordered_set<StoreHandle> m_on_path;
};
