#pragma once
#include <string>

// Appends every byte of the file to bytes; false when it cannot be read.
bool ReadWholeFile(const wchar_t* path, std::string& bytes);
