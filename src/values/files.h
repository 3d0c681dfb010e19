#pragma once
// Whole-file reading and writing, and the program's directory. Paths are GBK Text; they reach
// the file system as UTF-8.

#include <string>

#include "values/bytes.h"
#include "values/text.h"

// The directory of the program file, without a trailing "/"; computed once.
const Text& RunDirectory();

// The whole file, or empty Bytes on any failure.
Bytes ReadFileBytes(const Text& path);

// Replaces the file's content. The data goes to a temporary file in the same directory that is
// renamed into place, so a reader sees the old content or the new, never a part, and a failed
// write leaves the old content. A missing directory gives false and creates nothing.
bool WriteFileBytes(const Text& path, const Bytes& data);

// Whether anything exists at the path.
bool FileExists(const Text& path);

// The file-system form (UTF-8) of a GBK path.
std::string FileSystemPath(const Text& path);
