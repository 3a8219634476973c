#pragma once
// The first letter of the pinyin of a Chinese character, so that a search
// can take "rj" for "软件". Only the hanzi of GB2312 (lead bytes 0xB0-0xF7,
// trail bytes 0xA1-0xFE) have one; the reading is each character's primary
// Mandarin reading.

#include <cstddef>
#include <string_view>

namespace box {

// The lower-case initial ('a'..'z') of the GB2312 hanzi lead, trail, or 0
// when the two bytes are no such character.
char PinyinInitial(unsigned char lead, unsigned char trail);

// The same for the GBK character that starts at pos of text: 0 for a
// single-byte character, a cut-off lead byte or a position past the end.
char PinyinInitialAt(std::string_view text, std::size_t pos);

}  // namespace box
