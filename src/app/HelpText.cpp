#include "app/HelpText.h"

namespace box {

namespace {

// The mouse actions on a program's name, word for word as the list's own
// hints give them.
constexpr const char* kMouseLines[] = {
    "鼠标左键点击软件名称：运行软件",
    "鼠标左键点击软件名称（加Ctrl键）：打开软件主页",
    "鼠标左键点击软件名称（加Alt键）：在桌面创建该软件的快捷方式",
    "鼠标右键点击软件名称：打开软件目录",
};

constexpr const char* kNotes[] = {
    "除了一个128M的大软件以外，我的软件打包后大都不到1M，所以推荐一键下载全部软件。"
    "全部下载以后，在搜索框里输入软件名称就能找到它，按回车键即可打开，非常方便。",

    "本盒子提供我制作的几十款收费软件和免费软件的下载与升级：可以单个下载或升级，"
    "也可以一键下载或升级全部软件；下载好的软件可以直接从盒子里启动，"
    "还可以观看软件的视频教程。",

    "本盒子需要联网才能使用，请在杀毒软件里把本盒子设为信任，以免被误拦截。",

    "下载可以随时停止，停止以后再点一次就能重新下载。",

    "软件较多、列表很长时，点击滚动条的空白处，可以直接跳到列表的顶部或底部。",

    "软件名称带“[免]”的是免费软件，带“[游]”的是我制作的免费小游戏，其余都是收费软件。",

    "开通我的VIP会员以后，所有收费软件都可以免费使用。",
};

constexpr const char* kDashes = "\r\n--------------------------------------------------\r\n";

}  // namespace

Text HelpText() {
    Text text;
    for (const char* line : kMouseLines) {
        if (!text.empty()) text += "\r\n";
        text += Utf8ToGbk(line);
    }
    for (const char* note : kNotes) text += kDashes + Utf8ToGbk(note);
    return text;
}

Text HelpPrompt() {
    return "以下为信息详情："_gbk;
}

Text HelpTitle() {
    return "疑点说明"_gbk;
}

}  // namespace box
