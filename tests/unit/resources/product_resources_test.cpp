// zelkupd.exe's own resources as Windows reads them: the manifest as the loader turns it into the
// program's activation context, and the version information that Explorer shows.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resources/resource_version.h"
#include "runtime/win32/scoped_handle.h"
#include "update/dialogs.h"

namespace zelkupd {
namespace {

struct TDataModuleTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { ::FreeLibrary(handle); }
};

struct TActCtxTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { ::ReleaseActCtx(handle); }
};

constexpr WORD kManifestId = 1;     // CREATEPROCESS_MANIFEST_RESOURCE_ID
constexpr WORD kManifestType = 24;  // RT_MANIFEST
constexpr wchar_t kSettings2005[] = L"http://schemas.microsoft.com/SMI/2005/WindowsSettings";
constexpr wchar_t kSettings2016[] = L"http://schemas.microsoft.com/SMI/2016/WindowsSettings";

// The product lies where the build put it, relative to this test program.
std::wstring ProductPath() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  path.erase(path.find_last_of(L'\\') + 1);
  std::wstring relative = ZELKUPD_PRODUCT_FROM_TESTS;
  std::replace(relative.begin(), relative.end(), L'/', L'\\');
  return path + relative;
}

std::wstring Setting(HANDLE context, const wchar_t* space, const wchar_t* name) {
  wchar_t value[64] = {};
  SIZE_T written = 0;
  if (!::QueryActCtxSettingsW(0, context, space, name, value, std::size(value), &written)) {
    return L"(absent)";
  }
  return value;
}

// The identity of the second assembly of the context, the first one the manifest depends on.
std::wstring DependencyIdentity(HANDLE context) {
  DWORD index = 2;
  SIZE_T size = 0;
  ::QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext, nullptr, 0,
                 &size);
  std::vector<std::byte> buffer(size);
  if (size == 0 ||
      !::QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext,
                      buffer.data(), buffer.size(), &size)) {
    return L"(none)";
  }
  const wchar_t* identity =
      reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(buffer.data())
          ->lpAssemblyEncodedAssemblyIdentity;
  return identity == nullptr ? L"(none)" : identity;
}

// How many systems the manifest declares the program for. Only the count is read: the layout of
// each element differs between Windows versions.
DWORD SupportedSystemCount(HANDLE context) {
  SIZE_T size = 0;
  ::QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext, nullptr, 0,
                 &size);
  std::vector<std::byte> buffer(size);
  if (size < sizeof(DWORD) ||
      !::QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext,
                      buffer.data(), buffer.size(), &size)) {
    return 0;
  }
  return reinterpret_cast<const ACTIVATION_CONTEXT_COMPATIBILITY_INFORMATION*>(buffer.data())
      ->ElementCount;
}

std::wstring VersionString(const std::vector<std::byte>& block, const wchar_t* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\041104b0\\") + name;
  if (!::VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) {
    return L"(absent)";
  }
  return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

TEST(ProductResourcesTest, TheManifestAndVersionInformationAreWhatWindowsReadsFromTheProgram) {
  const std::wstring product = ProductPath();

  // The manifest stands where the loader looks for a program's own: RT_MANIFEST 1.
  const TScopedHandle<TDataModuleTraits> module(::LoadLibraryExW(
      product.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_TRUE(module.IsValid()) << "cannot load " << testing::PrintToString(product);
  ASSERT_NE(
      ::FindResourceW(module.Get(), MAKEINTRESOURCEW(kManifestId), MAKEINTRESOURCEW(kManifestType)),
      nullptr);

  // What the system makes of it, rather than the text: the loader drops an element it does not
  // know where it stands, so reading the context catches the misplaced ones it enforces.
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = product.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(kManifestId);
  const TScopedHandle<TActCtxTraits> context(::CreateActCtxW(&request));
  ASSERT_TRUE(context.IsValid()) << "the manifest does not parse, error " << ::GetLastError();
  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel{};
  ASSERT_TRUE(::QueryActCtxW(0, context.Get(), nullptr, RunlevelInformationInActivationContext,
                             &runLevel, sizeof runLevel, nullptr));
  EXPECT_EQ(runLevel.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
  EXPECT_EQ(runLevel.UiAccess, 0u);
  const std::wstring dependency = DependencyIdentity(context.Get());
  EXPECT_TRUE(dependency.starts_with(L"Microsoft.Windows.Common-Controls,"))
      << testing::PrintToString(dependency);
  EXPECT_NE(dependency.find(L"version=\"6."), std::wstring::npos)
      << testing::PrintToString(dependency);
  EXPECT_EQ(SupportedSystemCount(context.Get()), 4u) << "Windows 7, 8, 8.1 and 10/11";
  EXPECT_EQ(Setting(context.Get(), kSettings2005, L"dpiAware"), L"true/pm");
  EXPECT_EQ(Setting(context.Get(), kSettings2016, L"dpiAwareness"), L"PerMonitorV2, PerMonitor");
  EXPECT_EQ(Setting(context.Get(), kSettings2016, L"longPathAware"), L"false");

  // The version information: Japanese, the caption's words, the build's version.
  DWORD ignored = 0;
  std::vector<std::byte> block(::GetFileVersionInfoSizeW(product.c_str(), &ignored));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(
      ::GetFileVersionInfoW(product.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0411);
  EXPECT_EQ(static_cast<const WORD*>(value)[1], 1200);
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", &value, &length));
  const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
  const DWORD high = MAKELONG(ZELKUPD_VERSION_MINOR, ZELKUPD_VERSION_MAJOR);
  const DWORD low = MAKELONG(ZELKUPD_VERSION_TWEAK, ZELKUPD_VERSION_PATCH);
  EXPECT_EQ(fixed.dwFileVersionMS, high);
  EXPECT_EQ(fixed.dwFileVersionLS, low);
  EXPECT_EQ(fixed.dwProductVersionMS, high);
  EXPECT_EQ(fixed.dwProductVersionLS, low);
  EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(VersionString(block, L"FileDescription"), reinterpret_cast<const wchar_t*>(kCaption));
  EXPECT_EQ(VersionString(block, L"FileVersion"), L"" ZELKUPD_VERSION_TEXT);
  EXPECT_EQ(VersionString(block, L"ProductVersion"), L"" ZELKUPD_VERSION_TEXT);
  EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"zelkupd.exe");
}

}  // namespace
}  // namespace zelkupd
