#include "support/Dialogs.h"

namespace box {

int ClosedBoxAnswer(unsigned flags) {
    switch (flags & kMbButtonMask) {
        case kMbOkCancel:
        case kMbYesNoCancel:
        case kMbRetryCancel:
            return kButtonCancel;
        case kMbYesNo:
            return kButtonNo;
        default:
            return kButtonOk;
    }
}

int AskUser(Dialogs& dialogs, const Text& text, unsigned flags, const Text& title) {
    static const Text kTitle = "汀芷："_gbk;
    if ((flags & kMbIconMask) == 0) flags |= kMbIconInformation;
    flags |= kMbSystemModal;
    return dialogs.ShowMessage(text, flags, title.empty() ? kTitle : title);
}

int ShowPlainMessage(Dialogs& dialogs, const Text& text, unsigned flags, const Text& title) {
    static const Text kTitle = "信息："_gbk;
    if ((flags & kMbSystemModal) == 0) flags |= kMbTaskModal;
    return dialogs.ShowMessage(text, flags, title.empty() ? kTitle : title);
}

}  // namespace box
