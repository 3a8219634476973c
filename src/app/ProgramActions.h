#pragma once
// What a user does with a listed program besides downloading it: run it,
// show it in the file manager, put a shortcut to it on the desktop, open its
// homepage or its tutorial, delete it; and the header's links.

#include <filesystem>
#include <functional>
#include <string>

#include "app/ProgramRow.h"
#include "app/WindowActions.h"
#include "platform/ShellOpen.h"
#include "support/Dialogs.h"
#include "support/EventPump.h"

namespace box {

class SettingsStore;

// The desktop's side of the actions. Every call returns at once; what the
// desktop makes of it is not reported back.
class DesktopShell {
public:
    virtual ~DesktopShell() = default;
    // A web address (or any text the desktop's handler takes), as UTF-8.
    virtual void Open(const std::string& utf8) = 0;
    virtual void ShowInFileManager(const std::filesystem::path& file) = 0;
    virtual void StartProgram(const std::filesystem::path& file) = 0;
};

// The desktop of this system, through the platform's launchers.
class SystemDesktopShell : public DesktopShell {
public:
    explicit SystemDesktopShell(ShellLauncher launcher = {}) : launcher_(std::move(launcher)) {}
    void Open(const std::string& utf8) override;
    void ShowInFileManager(const std::filesystem::path& file) override;
    void StartProgram(const std::filesystem::path& file) override;

private:
    ShellLauncher launcher_;
};

// The pages behind the header's pictures.
struct HeaderAddresses {
    std::string site = "http://www.qelvora.example/";
    std::string homepage = "http://www.qelvora.example/soft/";
    std::string vip = "http://www.qelvora.example/vip/";
    std::string contact = "http://www.qelvora.example/contact/";
};

struct ProgramActionsSetup {
    std::filesystem::path boxFolder;
    std::filesystem::path desktopFolder;  // "" : shortcuts have nowhere to go
    HeaderAddresses header;
};

class ProgramActions : public WindowActions {
public:
    static constexpr int kTutorialPageGapMs = 1000;

    ProgramActions(ProgramList& list, SettingsStore& settings, EventPump& pump, Dialogs& dialogs,
                   DesktopShell& shell, ProgramActionsSetup setup);

    // Row from a search hit or a control's tag. The not-downloaded message
    // comes first, so a program that is not there can be neither located
    // nor linked. Running counts one use and re-sorts the list.
    void RunOrLocateProgram(int row, bool locate = false, bool fromIcon = false,
                            bool makeShortcut = false);

    void RunProgram(int row, bool fromIcon) override { RunOrLocateProgram(row, false, fromIcon); }
    void LocateProgram(int row, bool fromIcon) override { RunOrLocateProgram(row, true, fromIcon); }
    void MakeShortcut(int row) override { RunOrLocateProgram(row, false, false, true); }
    void OpenHomepage(int row, bool fromIcon) override;
    // The tutorial's addresses ("|" between them) open one a second, the
    // window running meanwhile.
    void OpenTutorial(int row) override;
    // Deletes the program's folder without asking; the row shows the
    // program as not downloaded afterwards, or a message says why not.
    void DeleteProgram(int row) override;
    // Help is the window's own dialog; the other links open their page.
    void OpenHeaderLink(HeaderLink link) override;

    // Whether the download timer runs: a running download keeps the list's
    // order (the queue refers to rows by index).
    std::function<bool()> downloadRunning;
    // Whether download-all mode is on: a deleted program's download button
    // stays disabled then.
    std::function<bool()> downloadAllMode;
    std::function<void()> rebuildSearchImages;
    // Opens the help text.
    std::function<void()> showHelp;
    // Removes a program's folder (RemoveProgramFolder unless replaced).
    std::function<bool(const std::filesystem::path& boxFolder,
                       const std::filesystem::path& programFolder)>
        removeFolder;

    std::filesystem::path ProgramFolder(const Text& name) const;
    std::filesystem::path ProgramExecutable(const Text& name) const;

private:
    void Tell(const Text& text) { AskUser(dialogs_, text); }

    ProgramList& list_;
    SettingsStore& settings_;
    EventPump& pump_;
    Dialogs& dialogs_;
    DesktopShell& shell_;
    ProgramActionsSetup setup_;
};

}  // namespace box
