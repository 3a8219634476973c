#pragma once
// The picture of a program row's icon control: the executable's icon at
// 32 x 32 on the list's light grey.

#include <filesystem>
#include <string>

#include "app/ProgramRow.h"
#include "support/BitmapObject.h"
#include "support/Text.h"

namespace box {

// The icon the box shows for an executable without an icon of its own, or
// whose icon cannot be read: a small application window, drawn here.
const IconPicture& DefaultApplicationIcon();

// BMP bytes of the executable's icon drawn at 32 x 32 over white as a
// 32-bit picture, with every byte run FF FF FF turned into F5 F5 F5.
std::string ProgramIconBmp(const std::filesystem::path& exePath);
std::string ProgramIconBmp(const Text& exePath);

// Puts ProgramIconBmp of the executable into the icon control.
void ShowProgramIcon(const std::filesystem::path& exePath, ControlState& iconControl);
void ShowProgramIcon(const Text& exePath, ControlState& iconControl);

}  // namespace box
