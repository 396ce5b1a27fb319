// A file layer in memory for the fuzz targets, which link
// djv_fileaccess_memory.cpp in place of the platform unit: files are byte
// strings kept by path, each write a new modification time. What the
// repository does with files is the same; only no disk is touched.
#pragma once

#include <cstddef>
#include <string>

#include "baselib/svr_string.h"

namespace Solvaris {
namespace DjVu {
namespace FileAccess {
namespace Memory {

void putFile(const String& path, const char* bytes, size_t size);
// False when there is no file of that path.
bool getFile(const String& path, std::string* bytes);
void removeAll();

} // namespace Memory
} // namespace FileAccess
} // namespace DjVu
} // namespace Solvaris
