#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "SettingsFile.h"
#include "win32/UniqueBstr.h"
#include "win32/UniqueHandle.h"

namespace {

using DevHost::CIniSettingsReader;
using DevHost::CIniSettingsWriter;
using Win32::CUniqueBstr;

class IniSettings : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path = std::wstring(folder) + L"devhost_ini_test_" + std::to_wstring(GetCurrentProcessId()) + L".ini";
        DeleteFileW(path.c_str());
    }
    void TearDown() override { DeleteFileW(path.c_str()); }

    void WriteRaw(const char* text) {
        const Win32::CUniqueHandle file(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(file.Get(), text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    }

    std::wstring path;
};

TEST_F(IniSettings, AStoredEmptyPortIsEmptyNotTheDefault) {
    CIniSettingsWriter(path).WriteString(L"PORT", L"");
    Win32::CUniqueBstr port(CIniSettingsReader(path).ReadString(L"PORT", L"COM1"));
    ASSERT_NE(port.Get(), nullptr);
    EXPECT_EQ(SysStringLen(port.Get()), 0u);
}

TEST_F(IniSettings, OnlyWhole32BitNumbersOfTheDeviceCommonSectionAreRead) {
    WriteRaw("[Other]\r\nF=1\r\n[DeviceCommon]\r\nA=abc\r\nB=12x\r\nC=4294967296\r\nD=\r\nE= 42\r\n");
    CIniSettingsReader reader(path);
    EXPECT_EQ(reader.ReadInt(L"F", 7), 7);
    EXPECT_EQ(reader.ReadInt(L"A", 7), 7);
    EXPECT_EQ(reader.ReadInt(L"B", 7), 7);
    EXPECT_EQ(reader.ReadInt(L"C", 7), 7);
    EXPECT_EQ(reader.ReadInt(L"D", 7), 7);
    EXPECT_EQ(reader.ReadInt(L"E", 7), 42) << "the profile functions strip the blanks around a value";
}

TEST_F(IniSettings, LongValuesAreReadWhole) {
    std::wstring name(3000, L'x');
    CIniSettingsWriter(path).WriteString(L"PORT", name.c_str());
    Win32::CUniqueBstr port(CIniSettingsReader(path).ReadString(L"PORT", L"COM1"));
    EXPECT_EQ(std::wstring(port.Text()), name);
}

// The plug-in frees what ReadString returns: each call must hand out a BSTR
// of its own, with its length prefix, that nothing else refers to.
TEST_F(IniSettings, EveryReadStringIsANewBstrOwnedByTheCaller) {
    CIniSettingsWriter(path).WriteString(L"PORT", L"COM3");
    CIniSettingsReader reader(path);
    BSTR first = reader.ReadString(L"PORT", L"COM1");
    BSTR second = reader.ReadString(L"PORT", L"COM1");
    BSTR fallback = reader.ReadString(L"NONE", L"COM1");
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(SysStringLen(first), 4u);
    EXPECT_EQ(SysStringLen(fallback), 4u);
    SysFreeString(first);
    EXPECT_STREQ(second, L"COM3");
    SysFreeString(second);
    SysFreeString(fallback);
}

TEST_F(IniSettings, AWriterThatCannotWriteSaysSo) {
    CIniSettingsWriter writer(L"Z:\\no\\such\\folder\\devhost.ini");
    writer.WriteInt(L"BAUDRATE", 9600);
    EXPECT_TRUE(writer.Failed());
}

}  // namespace
