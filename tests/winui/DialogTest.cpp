// The dialog framework at its boundary with the system: what a handler throws (memory
// running out inside a string or vector, or a fault of the program's own) never crosses
// into the system's dialog code.
#include "Application.h"
#include "Dialog.h"
#include "MessageBox.h"
#include "Support.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

using namespace testsupport;

namespace {

class ThrowingDialog : public winui::Dialog {
public:
    ThrowingDialog(bool inInit, bool outOfMemory) : winui::Dialog(IDD_ABOUTBOX), m_inInit(inInit), m_outOfMemory(outOfMemory) {}

protected:
    BOOL OnInitDialog() override
    {
        if (m_inInit)
            Throw();
        return winui::Dialog::OnInitDialog();
    }
    void OnOK() override { Throw(); }

private:
    void Throw()
    {
        if (m_outOfMemory)
            throw std::bad_alloc();
        throw std::length_error("vector");
    }
    bool m_inInit;
    bool m_outOfMemory;
};

}  // namespace

TEST(Dialog, WhatAHandlerThrowsIsReportedAndTheDialogGoesOn)
{
    struct Case {
        bool inInit;  // thrown while the dialog opens: it does not open (-1)
        bool outOfMemory;
        const char* text;  // UTF-8
    };
    const Case cases[] = {
        /* 0 */ {true, true, u8"テクニカルエラー\n\nメモリが不足しているため、処理を中断しました。"},
        /* 1 */ {false, true, u8"テクニカルエラー\n\nメモリが不足しているため、処理を中断しました。"},
        /* 2 */ {true, false, u8"テクニカルエラー\n\n予期しないエラーが発生したため、処理を中断しました。"},
        /* 3 */ {false, false, u8"テクニカルエラー\n\n予期しないエラーが発生したため、処理を中断しました。"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        MessageBoxRecorder boxes;
        ThrowingDialog d(c.inInit, c.outOfMemory);
        // Thrown by OK: the message, and the dialog still answers (Cancel closes it). A
        // dialog that stays open where it must not is ended by the driver in seconds.
        std::vector<std::function<bool()>> steps = {[&] { return d.Hwnd() != nullptr; },
                                                    [&] {
                                                        PostClick(d.Hwnd(), IDOK);
                                                        return true;
                                                    },
                                                    [&] { return !boxes.Shown().empty(); },
                                                    [&] {
                                                        PostClick(d.Hwnd(), IDCANCEL);
                                                        return true;
                                                    }};
        ModalDriver driver(c.inInit ? std::vector<std::function<bool()>>{[] { return false; }} : steps, 20, 5000);
        EXPECT_EQ(c.inInit ? -1 : IDCANCEL, d.DoModal());
        EXPECT_TRUE(c.inInit || driver.Finished());
        ASSERT_EQ(1u, boxes.Shown().size());
        EXPECT_EQ(Ansi(c.text), boxes.Shown()[0].text);
        EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), boxes.Shown()[0].flags);
    }
}

// The framework's message box adds its icon where the program names none, for every
// kind of box the tool shows; the flags the box gets are what the seam sees.
TEST(MessageBox, TheFrameworksDefaultIcon)
{
    const UINT kExclamation = MB_ICONEXCLAMATION;
    const struct {
        UINT passed, shown;
    } cases[] = {
        /* 0 */ {MB_OK, MB_OK | kExclamation},
        /* 1 */ {MB_OKCANCEL, MB_OKCANCEL | kExclamation},
        /* 2 */ {MB_YESNO, MB_YESNO | kExclamation},
        /* 3 */ {MB_YESNOCANCEL, MB_YESNOCANCEL | kExclamation},
        /* 4 */ {MB_OK | MB_ICONSTOP, MB_OK | MB_ICONSTOP},
        /* 5 */ {MB_OK | MB_ICONINFORMATION, MB_OK | MB_ICONINFORMATION},
        /* 6 */ {MB_YESNO | MB_ICONQUESTION, MB_YESNO | MB_ICONQUESTION},
        /* 7 */ {MB_OKCANCEL | MB_ICONQUESTION, MB_OKCANCEL | MB_ICONQUESTION},
        /* 8 */ {MB_RETRYCANCEL, MB_RETRYCANCEL},  // the rarely used kinds get none
        /* 9 */ {MB_ABORTRETRYIGNORE, MB_ABORTRETRYIGNORE},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        MessageBoxRecorder boxes;
        winui::AppMessageBox("text", cases[i].passed);
        ASSERT_EQ(1u, boxes.Shown().size());
        EXPECT_EQ(cases[i].shown, boxes.Shown()[0].flags) << "case " << i;
    }
}

// Boxes made with no owner, as the tool makes them: owned by the running dialog, which
// is disabled beneath them, so that its buttons cannot be pressed again; by the main
// window only when no dialog runs.
TEST(Dialog, TheDefaultOwnerIsTheRunningDialog)
{
    winui::Application app;
    HWND main = CreateWindowA("STATIC", "main", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    app.SetMainWindow(main);
    MessageBoxRecorder boxes;
    winui::AppMessageBox("idle", MB_OK);
    winui::Dialog d(IDD_ABOUTBOX);
    HWND running = nullptr;
    ModalDriver driver({[&] { return (running = d.Hwnd()) != nullptr; },
                        [&] {
                            winui::AppMessageBox("over the dialog", MB_OK);
                            PostClick(d.Hwnd(), IDCANCEL);
                            return true;
                        }});
    EXPECT_EQ(IDCANCEL, d.DoModal());
    ASSERT_EQ(2u, boxes.Shown().size());
    EXPECT_EQ(main, boxes.Shown()[0].owner);
    EXPECT_EQ(running, boxes.Shown()[1].owner) << "owned by the main window, the dialog stays enabled";
    DestroyWindow(main);
}
