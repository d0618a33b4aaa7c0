#include "platform/file_version_info.h"

#include <windows.h>
#include <winver.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/executable_path.h"
#include "platform/wide_text_win.h"

namespace tamro {
namespace {

// The test program carries the same resources as the programs themselves.
std::vector<unsigned char> ownVersionBlock() {
    const auto path = executablePath();
    if (!path) return {};
    const std::wstring widePath = wideFromUtf8(*path);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
    std::vector<unsigned char> block(size);
    if (size == 0 || !::GetFileVersionInfoW(widePath.c_str(), 0, size, block.data())) return {};
    return block;
}

std::wstring versionString(std::vector<unsigned char>& block, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
    if (!::VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) return {};
    return static_cast<const wchar_t*>(value);
}

TEST(FileVersionResource, ReadsVersionOneZeroZeroZero) {
    EXPECT_EQ(runningFileVersion(), (std::array<std::uint16_t, 4>{1, 0, 0, 0}));
}

TEST(FileVersionResource, IsJapaneseUnicodeAndNamesTamro) {
    auto block = ownVersionBlock();
    ASSERT_FALSE(block.empty());
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_GE(length, 4u);
    const auto* translation = static_cast<const WORD*>(value);
    EXPECT_EQ(translation[0], 0x0411);
    EXPECT_EQ(translation[1], 1200);
    EXPECT_EQ(versionString(block, L"FileDescription"), L"Tamro");
    EXPECT_EQ(versionString(block, L"InternalName"), L"Tamro");
    EXPECT_EQ(versionString(block, L"ProductName"), L"Tamro");
    EXPECT_EQ(versionString(block, L"ProductVersion"), L"1.0.0.0");
}

TEST(FileVersionResource, CarriesIcon128) {
    EXPECT_NE(::FindResourceW(nullptr, MAKEINTRESOURCEW(128), MAKEINTRESOURCEW(14)), nullptr);
    EXPECT_NE(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128)), nullptr);
}

TEST(ExecutablePath, IsTheFullPathOfTheRunningProgram) {
    const auto path = executablePath();
    ASSERT_TRUE(path.has_value());
    ASSERT_GE(path->size(), 3u);
    EXPECT_EQ(path->substr(1, 2), ":\\") << *path;
    EXPECT_TRUE(path->ends_with("tamro_unit_tests.exe")) << *path;
}

}  // namespace
}  // namespace tamro
