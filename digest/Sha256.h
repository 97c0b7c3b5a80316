#pragma once

#include <cstddef>
#include <string>

// SHA-256 of a whole file, as 64 lower-case hexadecimal digits (the form
// sha256sum prints). Empty on failure, with the system's error in *sysErrno
// when it is given.
std::string Sha256OfFile(const std::string& path, int* sysErrno = nullptr);

// SHA-256 of bytes in memory, in the same form.
std::string Sha256OfBytes(const void* data, size_t size);
