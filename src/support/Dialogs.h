#pragma once
// Message boxes. The core decides text, flags and title; a Dialogs
// implementation (the Qt window, or a scripted double in tests) shows them and
// answers with the button pressed.

#include "support/Text.h"

namespace box {

// Button codes the box works with.
enum DialogButton : int {
    kButtonOk = 0,
    kButtonCancel = 1,
    kButtonAbort = 2,
    kButtonRetry = 3,
    kButtonIgnore = 4,
    kButtonYes = 5,
    kButtonNo = 6,
};

// Message box flags (the values of the Windows API the catalog and texts were
// written against).
enum DialogFlags : unsigned {
    kMbOk = 0x0,
    kMbOkCancel = 0x1,
    kMbAbortRetryIgnore = 0x2,
    kMbYesNoCancel = 0x3,
    kMbYesNo = 0x4,
    kMbRetryCancel = 0x5,
    kMbButtonMask = 0xF,
    kMbIconError = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconWarning = 0x30,
    kMbIconInformation = 0x40,
    kMbIconMask = 0xF0,
    kMbSystemModal = 0x1000,
    kMbTaskModal = 0x2000,
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows a message box with exactly these flags and title; returns a
    // DialogButton code.
    virtual int ShowMessage(const Text& text, unsigned flags, const Text& title) = 0;
};

// The answer of a box closed without a click on one of its buttons: Cancel
// where the box has one, else No, else OK. Closing a question never agrees
// to it.
int ClosedBoxAnswer(unsigned flags);

// The box's own message box: title "汀芷：" unless one is given, information
// icon when the flags carry none, always system-modal.
int AskUser(Dialogs& dialogs, const Text& text, unsigned flags = 0, const Text& title = {});

// The plain message box: title "信息：" unless one is given, task-modal unless
// system-modal was asked for.
int ShowPlainMessage(Dialogs& dialogs, const Text& text, unsigned flags = 0,
                     const Text& title = {});

}  // namespace box
