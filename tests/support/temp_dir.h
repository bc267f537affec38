// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class CTempDir {
 public:
  CTempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tarvolin-test-XXXXXX").string();
    m_path = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~CTempDir() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  CTempDir(const CTempDir&) = delete;
  CTempDir& operator=(const CTempDir&) = delete;

  // The directory, ending in "/".
  std::string Path() const { return m_path + "/"; }
  std::string Join(const std::string& name) const { return Path() + name; }

  void WriteFile(const std::string& name, const std::string& bytes) const {
    std::filesystem::create_directories(
        std::filesystem::path(Join(name)).parent_path());
    std::ofstream(Join(name), std::ios::binary) << bytes;
  }
  std::string ReadFile(const std::string& name) const {
    std::ifstream in(Join(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& name) const {
    return std::filesystem::exists(Join(name));
  }

 private:
  std::string m_path;
};
