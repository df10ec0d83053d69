// The clipboard under Wine, with a real window as owner. Windows build only.
// Faults caught: copying with no owner (EmptyClipboard leaves the clipboard ownerless and the copy
// silently does nothing), a lost terminating zero, and paste reading past the cap or the zero.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include "gui/win32/clipboard.h"

namespace nimbalo::gui {
namespace {

struct Window {
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"clipboard test", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ~Window() { DestroyWindow(hwnd); }
};

TEST(Clipboard, CopiesWithTheWindowAsOwnerAndReadsBackCapped) {
    Window w;
    ASSERT_NE(w.hwnd, nullptr);
    ASSERT_TRUE(copy_to_clipboard(w.hwnd, "C:\\Users\\me\\R\xC3\xA9sum\xC3\xA9.docx"));
    EXPECT_EQ(GetClipboardOwner(), w.hwnd);
    const auto text = clipboard_text(w.hwnd, 65536);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, u"C:\\Users\\me\\R\u00E9sum\u00E9.docx");
    const auto capped = clipboard_text(w.hwnd, 5);
    ASSERT_TRUE(capped);
    EXPECT_EQ(*capped, u"C:\\Us");
}

}  // namespace
}  // namespace nimbalo::gui
#endif
