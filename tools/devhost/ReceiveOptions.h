#pragma once
#include <string>
#include <vector>

namespace DevHost {

enum class DataDisplay { None, Text, Hex };

struct TransferSource {
    bool isFile;
    std::wstring value;  // a path, or --say text with its escapes
};

struct ReceiveOptions {
    std::wstring outPath;
    std::wstring capturePath;  // empty: no capture
    DataDisplay display = DataDisplay::None;
    std::vector<TransferSource> transfers;  // in the order given
};

// Without --text or --hex the data is shown as text unless it goes to a
// file, so a bare `devhost receive` shows what arrives.
bool ParseReceiveOptions(const std::vector<std::wstring>& arguments, ReceiveOptions& options, std::wstring& error);

}  // namespace DevHost
