// The settings files of the Windows program. They live beside the program when
// its folder can be written by this user and by no other (an unpacked zip in the
// user's own folders), otherwise, as under Program Files or in a folder every
// user may change, in %APPDATA%\router-monitor, filled from the program folder's
// files on first start. A file that another user owns or may write is refused:
// nobody chooses what another user's monitor starts or closes. A save writes every file's new bytes
// to a file of its own first and replaces the old ones only once all of them are safely on disk.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/windows/WideText.h"
#include "platform/windows/WindowsFileTrust.h"
#include "platform/windows/WindowsPlatform.h"

namespace rm {

namespace {

// Only the end of a file is read: its last line is the value, and a value is
// never anywhere near this long.
constexpr DWORD kTailBytes = 64 * 1024;
constexpr char kNewSuffix[] = ".new";

std::string SystemError(DWORD err) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    if (message.empty()) return "错误 " + std::to_string(err);
    return Utf8FromWide(message);
}

class Handle {
  public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (ok()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    void swap(Handle& other) { std::swap(h_, other.h_); }
    HANDLE get() const { return h_; }

  private:
    HANDLE h_;
};

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name)
        if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

// Lines end at CR (CR LF counts once); the value is the last line, or the
// unfinished one after it; each line keeps its first `keep` bytes.
std::string LastLineOf(std::string_view text, size_t keep) {
    std::string line, last;
    bool inLine = false;
    size_t i = 0;
    while (i < text.size()) {
        const size_t cr = text.find('\r', i);
        const std::string_view part = text.substr(i, cr == std::string_view::npos ? cr : cr - i);
        if (line.size() < keep) line.append(part.substr(0, keep - line.size()));
        if (cr == std::string_view::npos) {
            inLine = true;
            break;
        }
        last = std::move(line);
        line.clear();
        inLine = false;
        i = cr + 1;
        if (i < text.size() && text[i] == '\n') ++i;
    }
    return inLine ? line : last;
}

bool CanWriteIn(const std::wstring& folder) {
    const std::wstring probe =
        folder + L"\\.rm-write-test-" + std::to_wstring(GetCurrentProcessId());
    Handle h(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return h.ok();
}

std::wstring UserFolder() {
    wchar_t appData[MAX_PATH + 1];
    const DWORD n = GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return {};
    return std::wstring(appData, n) + L"\\router-monitor";
}

class WindowsSettingsFiles : public SettingsFiles {
  public:
    WindowsSettingsFiles(std::wstring folder, std::wstring defaults)
        : folder_(std::move(folder)), defaults_(std::move(defaults)) {}

    bool Prepare(const std::vector<std::string>& names, SettingsFailure* failure) override {
        if (folder_.empty()) {
            *failure = {"%APPDATA%", "没有用户的应用数据文件夹", true, false};
            return false;
        }
        if (!CreateDirectoryW(folder_.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            *failure = {Utf8FromWide(folder_), SystemError(GetLastError()), true, false};
            return false;
        }
        const DWORD attributes = GetFileAttributesW(folder_.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            *failure = {Utf8FromWide(folder_), "它不是文件夹", true, false};
            return false;
        }
        if (const std::string why = UntrustedFolderReason(folder_); !why.empty()) {
            *failure = {Utf8FromWide(folder_), why, true, false};
            return false;
        }
        if (defaults_.empty()) return true;
        for (const std::string& name : names) {
            if (!IsPlainFileName(name)) continue;
            const std::wstring wide = WideFromUtf8(name);
            const std::wstring source = defaults_ + L"\\" + wide;
            const std::wstring target = folder_ + L"\\" + wide;
            if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) continue;  // kept
            // A shipped file missing as well leaves the value empty, as a
            // missing file in the program folder does.
            if (GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
            if (!CopyFileW(source.c_str(), target.c_str(), TRUE) &&
                GetLastError() != ERROR_FILE_EXISTS) {
                *failure = {Utf8FromWide(target), SystemError(GetLastError()), false, false};
                return false;
            }
        }
        return true;
    }

    bool ReadValue(const std::string& name, size_t keepBytes, std::string* value,
                   SettingsFailure* failure) override {
        const std::wstring path = folder_ + L"\\" + WideFromUtf8(name);
        if (!IsPlainFileName(name)) {
            *failure = {Utf8FromWide(path), "不是文件名", false, false};
            return false;
        }
        Handle h(CreateFileW(path.c_str(), GENERIC_READ | READ_CONTROL,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!h.ok()) {
            *failure = {Utf8FromWide(path), SystemError(GetLastError()), false, false};
            return false;
        }
        LARGE_INTEGER size{};
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileSizeEx(h.get(), &size) || !GetFileInformationByHandle(h.get(), &info)) {
            *failure = {Utf8FromWide(path), SystemError(GetLastError()), false, false};
            return false;
        }
        if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
            *failure = {Utf8FromWide(path), "它不是普通文件", false, false};
            return false;
        }
        if (const std::string why = UntrustedReason(h.get()); !why.empty()) {
            *failure = {Utf8FromWide(path), why, false, false};
            return false;
        }
        // One byte more than the tail tells whether its first line starts earlier.
        const bool cut = size.QuadPart > kTailBytes;
        const DWORD want = cut ? kTailBytes + 1 : DWORD(size.QuadPart);
        if (cut) {
            LARGE_INTEGER at;
            at.QuadPart = size.QuadPart - want;
            SetFilePointerEx(h.get(), at, nullptr, FILE_BEGIN);
        }
        std::string tail(want, '\0');
        DWORD got = 0, total = 0;
        while (total < want &&
               ReadFile(h.get(), tail.data() + total, want - total, &got, nullptr) && got > 0)
            total += got;
        tail.resize(total);
        std::string_view view(tail);
        if (cut && !view.empty() && view.front() != '\r') view.remove_prefix(1);
        *value = LastLineOf(view, keepBytes);
        return true;
    }

    bool WriteAll(const std::vector<SettingsWrite>& files, SettingsFailure* failure) override {
        // Two monitors of one user saving at once take turns: the lock is a
        // file nobody else may open while it is held, gone when its holder
        // ends. While another save holds it the caller is told at once, and
        // waits on its own terms; nothing here blocks the window.
        const std::wstring lockPath = folder_ + L"\\.rm-save.lock";
        Handle lock(INVALID_HANDLE_VALUE);
        for (int tries = 0;; ++tries) {
            Handle attempt(CreateFileW(lockPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
            if (attempt.ok()) {
                lock.swap(attempt);
                break;
            }
            const DWORD err = GetLastError();
            if (err == ERROR_SHARING_VIOLATION) {
                *failure = {Utf8FromWide(lockPath), "另一个保存一直没有结束", true, false, true};
                return false;
            }
            // A lock whose holder has just closed it stays a moment longer,
            // pending its deletion, and answers "access denied" meanwhile, as a
            // folder this user may not write does for good: two more tries
            // tell them apart within 10 ms.
            if (err != ERROR_ACCESS_DENIED || tries >= 2) {
                *failure = {Utf8FromWide(lockPath), SystemError(err), true, false};
                return false;
            }
            Sleep(5);
        }
        std::vector<std::wstring> written;
        auto dropNew = [&] {
            for (const auto& p : written) DeleteFileW(p.c_str());
        };
        for (const SettingsWrite& f : files) {
            const std::wstring target = folder_ + L"\\" + WideFromUtf8(f.fileName);
            if (!IsPlainFileName(f.fileName)) {
                dropNew();
                *failure = {Utf8FromWide(target), "不是文件名", false, false};
                return false;
            }
            // Named after this process: never another saver's file.
            const std::wstring fresh =
                target + WideFromUtf8(kNewSuffix) + L"-" + std::to_wstring(GetCurrentProcessId());
            Handle h(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!h.ok()) {
                const DWORD err = GetLastError();
                dropNew();
                *failure = {Utf8FromWide(fresh), SystemError(err), false, false};
                return false;
            }
            written.push_back(fresh);
            DWORD done = 0;
            if (!WriteFile(h.get(), f.bytes.data(), DWORD(f.bytes.size()), &done, nullptr) ||
                done != f.bytes.size() || !FlushFileBuffers(h.get())) {
                const DWORD err = GetLastError();
                dropNew();
                *failure = {Utf8FromWide(fresh), SystemError(err), false, false};
                return false;
            }
        }
        // Every new file is on disk: only now is an old one replaced.
        for (size_t i = 0; i < files.size(); ++i) {
            const std::wstring target = folder_ + L"\\" + WideFromUtf8(files[i].fileName);
            if (!MoveFileExW(written[i].c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                const DWORD err = GetLastError();
                for (size_t j = i; j < written.size(); ++j) DeleteFileW(written[j].c_str());
                *failure = {Utf8FromWide(target), SystemError(err), false, i > 0};
                return false;
            }
        }
        return true;
    }

  private:
    std::wstring folder_;
    std::wstring defaults_;  // empty when the folder is the program folder
};

}  // namespace

std::unique_ptr<SettingsFiles> MakeWindowsSettingsFiles(const std::string& programFolder,
                                                        const std::string& userFolder,
                                                        std::string* folderUsed) {
    const std::wstring program = WideFromUtf8(programFolder);
    std::wstring folder, defaults;
    if (!program.empty() && CanWriteIn(program) && UntrustedFolderReason(program).empty()) {
        folder = program;
    } else {
        folder = userFolder.empty() ? UserFolder() : WideFromUtf8(userFolder);
        defaults = program;
    }
    if (folderUsed) *folderUsed = Utf8FromWide(folder);
    return std::make_unique<WindowsSettingsFiles>(folder, defaults);
}

std::unique_ptr<SettingsFiles> MakeWindowsSettingsFilesIn(const std::string& folder,
                                                          const std::string& defaults) {
    return std::make_unique<WindowsSettingsFiles>(WideFromUtf8(folder), WideFromUtf8(defaults));
}

}  // namespace rm
