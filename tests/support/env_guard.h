// Sets (or, with null, removes) an environment variable for one scope.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

class CEnvGuard {
 public:
  CEnvGuard(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~CEnvGuard() {
    if (m_old)
      setenv(m_name.c_str(), m_old->c_str(), 1);
    else
      unsetenv(m_name.c_str());
  }
  CEnvGuard(const CEnvGuard&) = delete;
  CEnvGuard& operator=(const CEnvGuard&) = delete;

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};
