#include "app/ProgramIcon.h"

#include "platform/PeResources.h"
#include "support/BoxFolder.h"

namespace box {

namespace {

constexpr int kIconSide = 32;

IconPicture DrawDefaultIcon() {
    // A window: dark frame, blue title bar with a light button, white client
    // area with a few grey lines, on a transparent background.
    IconPicture icon;
    icon.width = icon.height = kIconSide;
    icon.argb.assign(kIconSide * kIconSide, 0);
    auto fill = [&](int x0, int y0, int x1, int y1, std::uint32_t argb) {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x)
                icon.argb[static_cast<std::size_t>(y * kIconSide + x)] = argb;
        }
    };
    fill(2, 4, 30, 28, 0xFF3C3C46);   // frame
    fill(3, 5, 29, 10, 0xFF2F6FC8);   // title bar
    fill(25, 6, 28, 9, 0xFFE8EEF8);   // close button
    fill(3, 10, 29, 27, 0xFFFFFFFF);  // client area
    for (int y = 13; y < 25; y += 4) fill(6, y, y == 21 ? 18 : 26, y + 1, 0xFFA0A4B0);
    return icon;
}

}  // namespace

const IconPicture& DefaultApplicationIcon() {
    static const IconPicture icon = DrawDefaultIcon();
    return icon;
}

std::string ProgramIconBmp(const std::filesystem::path& exePath) {
    std::optional<IconPicture> icon;
    if (const auto file = PeFile::Open(exePath)) {
        if (const auto image = file->iconImage(kIconSide, kIconSide))
            icon = DecodeIconImage(*image);
    }
    BitmapObject bitmap;
    bitmap.fromIcon(icon ? *icon : DefaultApplicationIcon());
    // White becomes the list's background grey, so the icon sits on the row.
    return ReplaceAll(bitmap.toBmpFile(), "\xFF\xFF\xFF", "\xF5\xF5\xF5");
}

std::string ProgramIconBmp(const Text& exePath) {
    return ProgramIconBmp(FsPath(exePath));
}

void ShowProgramIcon(const std::filesystem::path& exePath, ControlState& iconControl) {
    iconControl.iconBmp = ProgramIconBmp(exePath);
}

void ShowProgramIcon(const Text& exePath, ControlState& iconControl) {
    ShowProgramIcon(FsPath(exePath), iconControl);
}

}  // namespace box
