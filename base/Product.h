// Build constants of the product that the installer writes or looks for.
#pragma once

#include <windows.h>

#define QRN_UNINSTALL_PARENT L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
#define QRN_PRODUCT_GUID L"{6B1D4E20-8C3A-4F57-9E21-0A7C53D9B184}"
#define QRN_EARLIER_PRODUCT_GUID L"{3F8E2C71-5A06-4D9B-A4E3-7B15C0D2E968}"

namespace qrn {

inline constexpr char kProductVersion[] = "6.1.0.3_20200220";
inline constexpr wchar_t kProductVersionW[] = L"6.1.0.3_20200220";
// The product folder name under the common data folder and Program Files.
inline constexpr wchar_t kProductFolderName[] = L"Quorrin";
inline constexpr wchar_t kPublisher[] = L"Marvessa";
inline constexpr wchar_t kDisplayName[] = L"Quorrin";
inline constexpr wchar_t kUrlInfoAbout[] = L"https://www.quorrin.example/";
inline constexpr DWORD kLanguageId = 2052;  // Chinese (PRC)

inline constexpr wchar_t kUninstallParent[] = QRN_UNINSTALL_PARENT;
// This product's uninstall entry (the key's name under the parent), and the
// full paths of its entry and of the maker's earlier product's entry.
inline constexpr wchar_t kProductUninstallKey[] = QRN_PRODUCT_GUID;
inline constexpr wchar_t kUninstallKey[] = QRN_UNINSTALL_PARENT L"\\" QRN_PRODUCT_GUID;
inline constexpr wchar_t kEarlierUninstallKey[] = QRN_UNINSTALL_PARENT L"\\" QRN_EARLIER_PRODUCT_GUID;

}  // namespace qrn
