#include <windows.h>

#include <cstdio>

#include "platform/run_key.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::platform {

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string hex(LSTATUS status) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%lx", static_cast<unsigned long>(status));
    return buf;
}

struct KeyTraits {
    using Value = HKEY;
    static Value none() { return nullptr; }
    static bool valid(Value k) { return k != nullptr; }
    static void close(Value k) { RegCloseKey(k); }
};
using Key = UniqueHandle<KeyTraits>;

Result<Key> open_run_key() {
    HKEY raw = nullptr;
    const LSTATUS st = RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &raw);
    if (st != ERROR_SUCCESS) return fail("cannot open the Run key (0x" + hex(st) + ")");
    return Key(raw);
}

}  // namespace

std::optional<std::string> read_run_value(const std::string& name) {
    wchar_t buf[2048];  // 4,096 bytes
    DWORD bytes = sizeof buf;
    const LSTATUS st = RegGetValueW(HKEY_CURRENT_USER, kRunKey, win32::widen(name).c_str(), RRF_RT_REG_SZ, nullptr, buf, &bytes);
    if (st != ERROR_SUCCESS) return std::nullopt;
    size_t chars = bytes / sizeof(wchar_t);
    while (chars > 0 && buf[chars - 1] == L'\0') --chars;
    return win32::narrow(std::wstring_view(buf, chars));
}

Status write_run_value(const std::string& name, const std::string& data) {
    auto key = open_run_key();
    if (!key) return std::move(key).take_error();
    const std::wstring text = win32::widen(data);
    const LSTATUS st = RegSetValueExW(key->get(), win32::widen(name).c_str(), 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(text.c_str()), DWORD((text.size() + 1) * sizeof(wchar_t)));
    if (st != ERROR_SUCCESS) return fail("cannot update the Run key (0x" + hex(st) + ")");
    return {};
}

Status delete_run_value(const std::string& name) {
    auto key = open_run_key();
    if (!key) return std::move(key).take_error();
    const LSTATUS st = RegDeleteValueW(key->get(), win32::widen(name).c_str());
    if (st != ERROR_SUCCESS && st != ERROR_FILE_NOT_FOUND) return fail("cannot update the Run key (0x" + hex(st) + ")");
    return {};
}

}  // namespace nimbalo::platform
