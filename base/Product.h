// Build constants of the product that the installer writes or looks for.
#pragma once

#include <windows.h>

namespace qrn {

constexpr char kProductVersion[] = "6.1.0.3_20200220";
constexpr wchar_t kProductVersionW[] = L"6.1.0.3_20200220";
constexpr wchar_t kProductFolderName[] = L"Quorrin";
constexpr wchar_t kPublisher[] = L"Marvessa";
constexpr wchar_t kDisplayName[] = L"Quorrin";
constexpr wchar_t kUrlInfoAbout[] = L"https://www.quorrin.example/";
constexpr DWORD kLanguageId = 2052;  // Chinese (PRC)

constexpr wchar_t kUninstallParent[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// This product's uninstall entry, and the one of the maker's earlier product.
constexpr wchar_t kProductUninstallKey[] = L"{6B1D4E20-8C3A-4F57-9E21-0A7C53D9B184}";
constexpr wchar_t kEarlierProductUninstallKey[] = L"{3F8E2C71-5A06-4D9B-A4E3-7B15C0D2E968}";

}  // namespace qrn
