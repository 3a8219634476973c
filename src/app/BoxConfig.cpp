#include "app/BoxConfig.h"

#include "platform/SystemPaths.h"
#include "platform/SystemProxy.h"

namespace box {

const char* DefaultCatalogUrl() {
    return SOFTBOX_DEFAULT_CATALOG_URL;
}

ServiceHosts DefaultServiceHosts() {
    ServiceHosts hosts;
    hosts.yunpanShortHost = SOFTBOX_DEFAULT_360_HOST;
    hosts.tongbupanWebHost = SOFTBOX_DEFAULT_TONGBUPAN_HOST;
    hosts.tongbupanShortHost = SOFTBOX_DEFAULT_TONGBUPAN_SHORT_HOST;
    hosts.baiduApiHost = SOFTBOX_DEFAULT_BAIDU_HOST;
    return hosts;
}

namespace {

void Override(const Environment& environment, const char* variable, Text& value) {
    std::string set = environment.Get(variable);
    if (!set.empty()) value = std::move(set);
}

}  // namespace

BoxConfig MakeBoxConfig(const Environment& environment,
                        const std::filesystem::path& executablePath) {
    BoxConfig config;
    config.boxFolder = executablePath.parent_path();
    config.executableName = executablePath.filename();

    config.catalogUrl = environment.Get(kCatalogUrlVariable);
    if (config.catalogUrl.empty()) config.catalogUrl = DefaultCatalogUrl();
    // A path given in a shell is in the locale's encoding (UTF-8 here), not
    // in the box's GBK: it is kept as it is.
    config.catalogFile = environment.Get(kCatalogFileVariable);

    config.net.caFile = environment.Get(kCaFileVariable);
    config.net.systemProxy = SystemProxyText(environment);

    config.services = DefaultServiceHosts();
    Override(environment, k360HostVariable, config.services.yunpanShortHost);
    Override(environment, kTongbupanHostVariable, config.services.tongbupanWebHost);
    Override(environment, kTongbupanShortHostVariable, config.services.tongbupanShortHost);
    Override(environment, kBaiduHostVariable, config.services.baiduApiHost);

    const std::filesystem::path userConfig = UserConfigFolder(environment);
    if (!userConfig.empty()) config.registryFile = userConfig / "softbox" / "registry.ini";
    config.desktopFolder = DesktopFolder(environment);
    return config;
}

}  // namespace box
