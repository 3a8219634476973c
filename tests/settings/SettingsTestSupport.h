#pragma once
// Helpers shared by the settings store tests.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "TestDoubles.h"
#include "settings/SettingsStore.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"

namespace box::test {

// A temp folder with an INI file path, a pump and dialogs for stores.
struct StoreEnv {
    TempDir dir;
    ScriptedEventPump pump;
    ScriptedDialogs dialogs;

    Text ini(const char* name = "汀芷·软件盒子.ini") const { return JoinPath(dir.gbk(), G(name)); }
    std::string disk(const Text& path) const { return ReadFileBytes(path).value_or("<missing>"); }
};

// The file on disk must equal the store's memory copy byte for byte.
#define EXPECT_DISK_MATCHES(env, path, store) EXPECT_EQ((env).disk(path), (store).getText())

}  // namespace box::test
