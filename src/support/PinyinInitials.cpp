#include "support/PinyinInitials.h"

namespace box {

namespace {

constexpr unsigned char kFirstLead = 0xB0;
constexpr unsigned char kLastLead = 0xF7;
constexpr unsigned char kFirstTrail = 0xA1;
constexpr unsigned char kLastTrail = 0xFE;
constexpr std::size_t kRowLength = kLastTrail - kFirstTrail + 1;

// One row of kRowLength letters per lead byte, rows one after the other.
constexpr std::string_view kTable =
#include "PinyinTable.inc"
    ;
static_assert(kTable.size() == (kLastLead - kFirstLead + 1) * kRowLength,
              "the generated table has one letter per GB2312 code");

}  // namespace

char PinyinInitial(unsigned char lead, unsigned char trail) {
    if (lead < kFirstLead || lead > kLastLead || trail < kFirstTrail || trail > kLastTrail)
        return 0;
    const char c = kTable[(lead - kFirstLead) * kRowLength + (trail - kFirstTrail)];
    return c == ' ' ? 0 : c;
}

char PinyinInitialAt(std::string_view text, std::size_t pos) {
    if (pos + 1 >= text.size()) return 0;
    return PinyinInitial(static_cast<unsigned char>(text[pos]),
                         static_cast<unsigned char>(text[pos + 1]));
}

}  // namespace box
