// Our Linux versions of the Windows calls the module makes: they take the
// same odd inputs as their Windows namesakes without harm.
#include "platform/WinApi.h"
#include "tests/support/WorkFolder.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace {

TEST(Gdi, ANullDeviceContextDrawsNothing)
{
    EXPECT_EQ(SetTextColor(nullptr, 0x33FF33), 0xFFFFFFFFu); // CLR_INVALID
    EXPECT_EQ(TextOutA(nullptr, 0, 0, "x", 1), FALSE);
}

TEST(Kernel, CreateDirectoryTakesBackslashesAndFailsWhereWindowsDoes)
{
    const auto base = FreshFolder();
    const std::string windowsPath = base.string() + "\\KestrelScribeData";

    EXPECT_EQ(CreateDirectoryA(windowsPath.c_str(), nullptr), TRUE);
    EXPECT_TRUE(std::filesystem::is_directory(base / "KestrelScribeData"));
    EXPECT_EQ(CreateDirectoryA(windowsPath.c_str(), nullptr), FALSE) << "exists already";
    EXPECT_EQ(CreateDirectoryA((base.string() + "\\a\\b").c_str(), nullptr), FALSE) << "parent missing";
    EXPECT_EQ(CreateDirectoryA("", nullptr), FALSE);
    EXPECT_EQ(CreateDirectoryA(nullptr, nullptr), FALSE);
}

TEST(Kernel, GetProcAddressLooksNamesUpInALoadedLibrary)
{
    void* self = ::dlopen(nullptr, RTLD_LAZY);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(GetProcAddress(self, "no_such_symbol_anywhere"), nullptr);
    EXPECT_NE(GetProcAddress(self, "malloc"), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "malloc"), nullptr);
    EXPECT_EQ(GetProcAddress(self, nullptr), nullptr);
    ::dlclose(self);
}

} // namespace
