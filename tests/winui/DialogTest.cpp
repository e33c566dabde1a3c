// The dialog framework at its boundary with the system: what a handler throws (memory
// running out inside a string or vector) never crosses into the system's dialog code.
#include "Dialog.h"
#include "Support.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <new>

using namespace testsupport;

namespace {

class ThrowingDialog : public winui::Dialog {
public:
    explicit ThrowingDialog(bool inInit) : winui::Dialog(IDD_ABOUTBOX), m_inInit(inInit) {}

protected:
    BOOL OnInitDialog() override
    {
        if (m_inInit)
            throw std::bad_alloc();
        return winui::Dialog::OnInitDialog();
    }
    void OnOK() override { throw std::bad_alloc(); }

private:
    bool m_inInit;
};

}  // namespace

TEST(Dialog, AHandlerOutOfMemoryIsReportedAndTheDialogGoesOn)
{
    const std::string text = Ansi(u8"テクニカルエラー\n\nメモリが不足しているため、処理を中断しました。");
    // Thrown while the dialog opens: the message, and the dialog does not open.
    {
        MessageBoxRecorder boxes;
        ThrowingDialog d(true);
        EXPECT_EQ(-1, d.DoModal());
        ASSERT_EQ(1u, boxes.Shown().size());
        EXPECT_EQ(text, boxes.Shown()[0].text);
    }
    // Thrown by OK: the message, and the dialog still answers (Cancel closes it).
    {
        MessageBoxRecorder boxes;
        ThrowingDialog d(false);
        ModalDriver driver({[&] { return d.Hwnd() != nullptr; },
                            [&] {
                                PostClick(d.Hwnd(), IDOK);
                                return true;
                            },
                            [&] { return !boxes.Shown().empty(); },
                            [&] {
                                PostClick(d.Hwnd(), IDCANCEL);
                                return true;
                            }});
        EXPECT_EQ(IDCANCEL, d.DoModal());
        EXPECT_TRUE(driver.Finished());
        ASSERT_EQ(1u, boxes.Shown().size());
        EXPECT_EQ(text, boxes.Shown()[0].text);
        EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), boxes.Shown()[0].flags);
    }
}
