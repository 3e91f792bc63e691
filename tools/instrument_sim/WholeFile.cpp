#include "WholeFile.h"
#include <cstdio>

bool ReadWholeFile(const wchar_t* path, std::string& bytes) {
    std::FILE* file = _wfopen(path, L"rb");
    if (!file) return false;
    char buffer[65536];
    for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, read);
    bool whole = !std::ferror(file);
    std::fclose(file);
    return whole;
}
