// A fresh directory under the system's temporary directory, removed with everything in it at the end of a
// test.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <random>
#endif

namespace kestrion::testing_support {

// A new, empty folder under the temporary directory whose name starts with `prefix`; empty when none could be
// made.
inline std::filesystem::path MakeTemporaryFolder(const std::string& prefix) {
#ifdef _WIN32
  // No mkdtemp: random names until one is new.
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) return candidate;
  }
  return {};
#else
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
#endif
}

class ScratchDir {
 public:
  ScratchDir() : m_path(MakeTemporaryFolder("kestrion-")) {}
  ~ScratchDir() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return m_path; }

  // Writes `bytes` exactly as given into the file `name` of this directory and returns its path.
  std::filesystem::path Write(const std::string& name, std::string_view bytes) const {
    const std::filesystem::path file = m_path / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
  }

 private:
  std::filesystem::path m_path;
};

}  // namespace kestrion::testing_support
