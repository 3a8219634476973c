#pragma once
// Unpacks a downloaded program archive (RAR 4 or RAR 5, through libarchive,
// which is linked: no extraction library is written out beside the box or
// deleted again) into the folder that holds the archive.
//
// Archives come from the network, so an entry name is never trusted: every
// entry must stay inside the destination folder. A refused entry fails the
// pass like any other failing entry; the entries before it stay.

#include <filesystem>
#include <string_view>

namespace box {

class EventPump;

// One pass over the archive: every entry into the archive's own folder.
// True when the archive held at least one entry and every entry was
// extracted. No password is ever asked for: an encrypted entry fails.
bool ExtractRar(const std::filesystem::path& archive);

// Up to attempts passes (3 when attempts <= 0), each failed pass followed by
// a 1000 ms wait during which window events run. True after the first pass
// that succeeds.
bool ExtractArchive(EventPump& pump, const std::filesystem::path& archive, int attempts);

// True when an entry name (UTF-8, "/" or "\" between folders) names a place
// inside the destination on every system the box runs on. Refused: empty
// names, absolute and UNC paths, drive letters and any other ":" (a stream
// name on Windows), ".." and other all-dot-and-blank parts (Windows drops
// trailing dots and blanks, so ".. " would be ".."), control characters, and
// the device names CON, PRN, AUX, NUL, COM1-9, LPT1-9 (with any extension).
// Those are plain names on Linux, but the archives are made for Windows and a
// name that opens a device there is no program file here either.
//
// The targets of hard links and symbolic links must pass the same test, a
// symbolic link's read from the link's own folder. So a link never climbs
// with "..", even where it would stay inside: a chain of links that each stay
// inside can still lead out ("d/a" -> ".." then "d/b" -> "a/../x"), while
// links that only point downward never can.
bool IsSafeEntryName(std::string_view name);

}  // namespace box
