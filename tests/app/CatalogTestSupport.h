#pragma once
// What the tests of the list's rows share: a box folder with a settings
// store, a program list and a catalog context over scripted dialogs and pump.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "PeWriter.h"
#include "TestDoubles.h"
#include "app/CatalogRows.h"
#include "settings/SettingsStore.h"
#include "support/BoxFolder.h"

namespace box::test {

struct CatalogEnv {
    TempDir dir;
    ScriptedEventPump pump;
    ScriptedDialogs dialogs;
    SettingsStore settings{pump, dialogs};
    ProgramList list;
    Text downloadSource;
    int exitCode = -1;
    CatalogContext context{dir.gbk(), settings, pump, dialogs, {}};

    CatalogEnv() {
        settings.open(JoinPath(dir.gbk(), G("汀芷·软件盒子.ini")));
        context.hooks.exitBox = [this](int code) { exitCode = code; };
    }

    int parse(const Text& catalog) {
        return ParseCatalogIntoList(catalog, context, list, downloadSource);
    }

    // Installs box folder \ name \ name.exe with the given FileVersion.
    void install(const char* name, const std::string& version, std::vector<PeIcon> icons = {}) {
        PeLayout layout = ProgramLayout(version);
        layout.icons = std::move(icons);
        ASSERT_TRUE(InstallProgram(dir.path(), name, layout));
    }

    double number(const char* section, const Text& key) {
        settings.selectSection(G(section));
        return settings.readNumber(key, -1);
    }

    // Names of the rows in list order, as UTF-8.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (int i = 1; i <= list.size(); ++i) out.push_back(GbkToUtf8(list.at(i).entry.name));
        return out;
    }
};

}  // namespace box::test
