#include "app/ProgramActions.h"

#include "app/DesktopShortcut.h"
#include "app/RowBuilder.h"
#include "app/SortOrder.h"
#include "platform/ProgramFolder.h"
#include "support/BoxFolder.h"

namespace box {

namespace {

// The quoted name of a row for messages; a row outside the list has no
// name, so its number stands in.
Text QuotedName(const Text& name) {
    return "《"_gbk + name + "》"_gbk;
}

Text UnknownRowName(int row) {
    return "第"_gbk + ToText(row) + "行的软件"_gbk;
}

}  // namespace

void SystemDesktopShell::Open(const std::string& utf8) {
    OpenInShell(utf8, launcher_);
}

void SystemDesktopShell::ShowInFileManager(const std::filesystem::path& file) {
    box::ShowInFileManager(file, launcher_);
}

void SystemDesktopShell::StartProgram(const std::filesystem::path& file) {
    StartProgramFile(file, launcher_);
}

ProgramActions::ProgramActions(ProgramList& list, SettingsStore& settings, EventPump& pump,
                               Dialogs& dialogs, DesktopShell& shell, ProgramActionsSetup setup)
    : list_(list),
      settings_(settings),
      pump_(pump),
      dialogs_(dialogs),
      shell_(shell),
      setup_(std::move(setup)) {
    removeFolder = RemoveProgramFolder;
}

std::filesystem::path ProgramActions::ProgramFolder(const Text& name) const {
    return JoinPath(setup_.boxFolder, name);
}

std::filesystem::path ProgramActions::ProgramExecutable(const Text& name) const {
    return JoinPath(ProgramFolder(name), name + ".exe");
}

void ProgramActions::RunOrLocateProgram(int row, bool locate, bool fromIcon, bool makeShortcut) {
    const ProgramRow* r = list_.find(row);
    if (!r) {
        Tell("出现未知错误，无法"_gbk + (locate ? "定位"_gbk : "运行"_gbk));
        return;
    }
    // Copies: the sort below lets events run, and they may change the row.
    const Text name = r->entry.name;
    if (r->entry.status == kNotDownloaded) {
        Tell(QuotedName(name) + "还没下载呢！请点击下载按钮"_gbk);
        return;
    }
    const std::filesystem::path exe = ProgramExecutable(name);
    if (locate) {
        shell_.ShowInFileManager(exe);
        return;
    }
    if (makeShortcut) {
        PutShortcutOnDesktop(setup_.desktopFolder, name, exe);
        return;
    }
    shell_.StartProgram(exe);
    SortProgramList(list_, settings_, pump_, rebuildSearchImages, name, downloadRunning);
}

void ProgramActions::OpenHomepage(int row, bool fromIcon) {
    const ProgramRow* r = list_.find(row);
    if (!r) {
        Tell("出现未知错误，无法打开"_gbk + QuotedName(UnknownRowName(row)) + "的主页。"_gbk);
        return;
    }
    if (r->entry.homepage.empty()) {
        Tell(QuotedName(r->entry.name) + "暂无主页！详情可咨询汀芷"_gbk);
        return;
    }
    shell_.Open(GbkToUtf8(r->entry.homepage));
}

void ProgramActions::OpenTutorial(int row) {
    HideSearchResults();
    const ProgramRow* r = list_.find(row);
    if (!r) {
        Tell("出现未知错误，无法打开"_gbk + QuotedName(UnknownRowName(row)) + "的教程页面。"_gbk);
        return;
    }
    if (r->entry.tutorialUrl.empty()) {
        Tell(QuotedName(r->entry.name) + "暂无教程！详情可咨询汀芷"_gbk);
        return;
    }
    // A copy: the waits let events run, and one may rebuild the list.
    const std::vector<Text> pages = Split(r->entry.tutorialUrl, "|");
    for (const Text& page : pages) {
        pump_.ProcessPendingEvents();
        shell_.Open(GbkToUtf8(page));
        WaitWithEvents(pump_, kTutorialPageGapMs);
    }
}

void ProgramActions::DeleteProgram(int row) {
    static const Text kFailed =
        "删除失败，可能是该软件正在运行或软件目录被占用。你可以右键软件名称到该软件的目录手动删除！"_gbk;
    HideSearchResults();
    const ProgramRow* r = list_.find(row);
    if (!r) return;
    if (!removeFolder || !removeFolder(setup_.boxFolder, ProgramFolder(r->entry.name))) {
        Tell(kFailed);
        return;
    }
    const bool allMode = downloadAllMode && downloadAllMode();
    RefreshRowStatus(list_, row, setup_.boxFolder, !allMode);
    list_.Changed(row);
}

void ProgramActions::OpenHeaderLink(HeaderLink link) {
    switch (link) {
        case HeaderLink::Help:
            if (showHelp) showHelp();
            return;
        case HeaderLink::Site:
            shell_.Open(setup_.header.site);
            return;
        case HeaderLink::Homepage:
            shell_.Open(setup_.header.homepage);
            return;
        case HeaderLink::Vip:
            shell_.Open(setup_.header.vip);
            return;
        case HeaderLink::Contact:
            shell_.Open(setup_.header.contact);
            return;
    }
}

}  // namespace box
