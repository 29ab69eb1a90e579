#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes a file in the folder and returns its full path.
  std::string Write(const std::string& name, const std::string& bytes) const;
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

 private:
  std::filesystem::path path_;
};

// A file's worth of bytes that differ from page to page, the same for the same seed.
std::vector<std::uint8_t> TestBytes(std::size_t count, unsigned seed);

// A file's whole contents; empty when it cannot be read.
std::vector<std::uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
