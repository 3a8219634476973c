#pragma once
// The help dialog: the box's text dialog in its viewing form, showing the
// fixed help text read-only under a prompt, with one close button.

#include <QDialog>
#include <QRect>

class QFrame;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace box {

// Opens the help dialog modally over parent and returns when it is closed.
// While one is open (a second click reaching the header through a nested
// event loop), another call does nothing.
void ShowHelpDialog(QWidget* parent);

class HelpDialog : public QDialog {
    Q_OBJECT
public:
    // Client size as designed, before the window system sizes it.
    static constexpr int kWidth = 483;
    static constexpr int kHeight = 357;
    static constexpr int kMargin = 5;
    static constexpr int kPromptHeight = 33;
    static constexpr int kButtonWidth = 64;
    static constexpr int kButtonHeight = 24;

    explicit HelpDialog(QWidget* parent = nullptr);

    // The dialog that is open now, if any.
    static HelpDialog* current();

    QLineEdit* prompt() const { return prompt_; }
    QPlainTextEdit* body() const { return body_; }
    QPushButton* closeButton() const { return closeButton_; }

    // Where the layout puts the prompt, the body and the close button for a
    // client area of this size.
    struct Layout {
        QRect prompt;
        QRect body;
        QRect closeButton;
    };
    static Layout LayoutFor(QSize client);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ApplyLayout();

    QLineEdit* prompt_ = nullptr;
    QPlainTextEdit* body_ = nullptr;
    QFrame* inputButtons_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};

}  // namespace box
