#pragma once
// The box's configuration: everything that the environment and the build
// decide, gathered once at start-up and handed down. No library below the
// executable reads the environment itself.

#include <filesystem>
#include <string>

#include "net/NetConfig.h"
#include "platform/Environment.h"
#include "resolve/ShareLink.h"

namespace box {

// Environment variables the box reads (see the README).
inline constexpr const char* kCatalogUrlVariable = "SOFTBOX_CATALOG_URL";
inline constexpr const char* kCatalogFileVariable = "SOFTBOX_CATALOG_FILE";
inline constexpr const char* kCaFileVariable = "SOFTBOX_CA_FILE";
inline constexpr const char* k360HostVariable = "SOFTBOX_360_HOST";
inline constexpr const char* kTongbupanHostVariable = "SOFTBOX_TONGBUPAN_HOST";
inline constexpr const char* kTongbupanShortHostVariable = "SOFTBOX_TONGBUPAN_SHORT_HOST";
inline constexpr const char* kBaiduHostVariable = "SOFTBOX_BAIDU_HOST";

struct BoxConfig {
    // The folder of the box's executable and the executable's file name,
    // exactly as the file system has them.
    std::filesystem::path boxFolder{};
    std::filesystem::path executableName{};
    // Where the catalog comes from: the build's default unless the
    // environment names another.
    std::string catalogUrl{};
    // A catalog file on disk shown instead of the offline copy; "": the copy.
    std::filesystem::path catalogFile{};
    // CA file and system proxy for every HTTP object.
    NetConfig net{};
    // The file that holds the settings of registry mode; "" without a home.
    std::filesystem::path registryFile{};
    // The user's desktop, where shortcuts go; "" without a home.
    std::filesystem::path desktopFolder{};
    // The share-link services' hosts (each may carry a port).
    ServiceHosts services{};
};

// The catalog URL the build was made with.
const char* DefaultCatalogUrl();
// The share-link services' hosts the build was made with.
ServiceHosts DefaultServiceHosts();

// The configuration for the executable at executablePath, from environment
// and the build's defaults. The per-user folders come from the platform's
// rules applied to environment.
BoxConfig MakeBoxConfig(const Environment& environment,
                        const std::filesystem::path& executablePath);

}  // namespace box
