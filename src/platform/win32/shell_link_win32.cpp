#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>

#include "platform/shell_link.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::platform {

namespace {

std::string com_error_text(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(hr));
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, DWORD(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (n != 0 && text != nullptr) message = win32::narrow(std::wstring_view(text, n));
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? std::string(code) : message + " (" + code + ")";
}

// COM on this thread for one call; uninitialised again only if this call initialised it.
class ComScope {
public:
    ComScope() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope() {
        if (ok_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;  // pairs one initialisation with one release
    ComScope& operator=(const ComScope&) = delete;

private:
    bool ok_;
};

// The one reference a pointer of ours holds.
template <class T>
struct ComTraits {
    using Value = T*;
    static Value none() { return nullptr; }
    static bool valid(Value p) { return p != nullptr; }
    static void close(Value p) { p->Release(); }
};
template <class T>
using ComPtr = UniqueHandle<ComTraits<T>>;

Result<ComPtr<IShellLinkW>> make_link() {
    IShellLinkW* raw = nullptr;
    const HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL, IID_IShellLinkW, reinterpret_cast<void**>(&raw));
    if (FAILED(hr) || raw == nullptr) return fail("CoCreateInstance(ShellLink): " + com_error_text(FAILED(hr) ? hr : E_POINTER));
    return ComPtr<IShellLinkW>(raw);
}

Result<ComPtr<IPersistFile>> persist_of(IShellLinkW* link) {
    IPersistFile* raw = nullptr;
    const HRESULT hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&raw));
    if (FAILED(hr) || raw == nullptr) return fail("IPersistFile: " + com_error_text(FAILED(hr) ? hr : E_POINTER));
    return ComPtr<IPersistFile>(raw);
}

}  // namespace

Status create_shortcut(const std::string& path, const ShortcutSpec& spec) {
    const ComScope com;
    auto link = make_link();
    if (!link) return std::move(link).take_error();
    const std::wstring target = win32::widen(spec.target);
    if (const HRESULT hr = link->get()->SetPath(target.c_str()); FAILED(hr)) return fail("SetPath: " + com_error_text(hr));
    (void)link->get()->SetArguments(L"");
    (void)link->get()->SetWorkingDirectory(win32::widen(spec.working_folder).c_str());
    (void)link->get()->SetDescription(win32::widen(spec.description).c_str());
    (void)link->get()->SetIconLocation(target.c_str(), 0);
    auto file = persist_of(link->get());
    if (!file) return std::move(file).take_error();
    if (const HRESULT hr = file->get()->Save(win32::widen(path).c_str(), TRUE); FAILED(hr)) return fail("Save: " + com_error_text(hr));
    return {};
}

Result<std::string> shortcut_target(const std::string& path) {
    const ComScope com;
    auto link = make_link();
    if (!link) return std::move(link).take_error();
    auto file = persist_of(link->get());
    if (!file) return std::move(file).take_error();
    if (const HRESULT hr = file->get()->Load(win32::widen(path).c_str(), STGM_READ); FAILED(hr))
        return fail("Load: " + com_error_text(hr));
    wchar_t buf[32768];
    if (const HRESULT hr = link->get()->GetPath(buf, 32768, nullptr, SLGP_RAWPATH); FAILED(hr))
        return fail("GetPath: " + com_error_text(hr));
    return win32::narrow(buf);
}

Result<std::string> desktop_folder() {
    wchar_t* path = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &path);
    std::string out;
    if (SUCCEEDED(hr) && path != nullptr) out = win32::narrow(path);
    CoTaskMemFree(path);
    if (out.empty()) return fail("no desktop folder");
    return out;
}

}  // namespace nimbalo::platform
