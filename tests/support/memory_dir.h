// A scratch directory in memory (/dev/shm when the machine has it, else the
// temporary directory), removed with everything in it when the object
// goes. For SQLite files of a test peer: a commit there costs no disk
// flush, so tests that commit a thousand times stay fast.
#pragma once

#include <filesystem>

class MemoryDir {
 public:
  MemoryDir();
  ~MemoryDir();
  MemoryDir(const MemoryDir&) = delete;
  MemoryDir& operator=(const MemoryDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};
