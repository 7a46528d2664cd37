#include "platform/windows/WindowsFileTrust.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "platform/windows/WideText.h"

namespace rm {

namespace {

// Rights that let a holder change what the file says or what the folder holds.
// Attributes and extended attributes change nothing that is read.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD |
                                     DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The installer service that owns the system's own folders.
constexpr wchar_t kTrustedInstaller[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

struct LocalFreer {
    void operator()(void* p) const { LocalFree(p); }
};

class TrustedSids {
  public:
    TrustedSids() {
        HANDLE token = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            DWORD size = 0;
            GetTokenInformation(token, TokenUser, nullptr, 0, &size);
            user_.resize(size);
            if (size == 0 || !GetTokenInformation(token, TokenUser, user_.data(), size, &size))
                user_.clear();
            CloseHandle(token);
        }
        if (!user_.empty()) sids_.push_back(reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid);
        for (WELL_KNOWN_SID_TYPE type : {WinLocalSystemSid, WinBuiltinAdministratorsSid}) {
            auto& buffer = wellKnown_.emplace_back(SECURITY_MAX_SID_SIZE);
            DWORD size = SECURITY_MAX_SID_SIZE;
            if (CreateWellKnownSid(type, nullptr, buffer.data(), &size))
                sids_.push_back(buffer.data());
        }
        PSID installer = nullptr;
        if (ConvertStringSidToSidW(kTrustedInstaller, &installer)) {
            installer_.reset(installer);
            sids_.push_back(installer);
        }
    }
    bool Holds(PSID sid) const {
        if (!sid || !IsValidSid(sid)) return false;
        for (PSID s : sids_)
            if (EqualSid(s, sid)) return true;
        return false;
    }

  private:
    std::vector<BYTE> user_;
    std::vector<std::vector<BYTE>> wellKnown_;
    std::unique_ptr<void, LocalFreer> installer_;
    std::vector<PSID> sids_;
};

// "DOMAIN\name", else the SID's text.
std::string Who(PSID sid) {
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return Utf8FromWide(domainSize ? std::wstring(domain) + L"\\" + name : std::wstring(name));
    wchar_t* text = nullptr;
    if (ConvertSidToStringSidW(sid, &text)) {
        std::string out = Utf8FromWide(text);
        LocalFree(text);
        return out;
    }
    return "未知的账户";
}

}  // namespace

std::string UntrustedReason(HANDLE h) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const DWORD rc =
        GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        &owner, nullptr, &dacl, nullptr, &sd);
    if (rc != ERROR_SUCCESS) return "读不到它的所有者和权限（错误 " + std::to_string(rc) + "）";
    std::unique_ptr<void, LocalFreer> hold(sd);
    static const TrustedSids trusted;
    if (!trusted.Holds(owner))
        return "它属于另一个用户（" + Who(owner) + "），不能由他决定本用户的设置";
    // No list at all lets everyone do everything.
    if (!dacl) return "任何人都可以写入它；请在它的属性的“安全”页为它设置权限";
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) continue;
        // Deny entries grant nothing; inherit-only ones are for what is made inside.
        if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE || (ace->AceFlags & INHERIT_ONLY_ACE)) continue;
        const auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & kWriteRights) && !trusted.Holds(sid))
            return "其他用户（" + Who(sid) + "）可以写入它；请在它的属性的“安全”页去掉他们的写权限";
    }
    return {};
}

std::string UntrustedFolderReason(const std::wstring& folder) {
    HANDLE h = CreateFileW(folder.c_str(), READ_CONTROL,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "打不开它（错误 " + std::to_string(GetLastError()) + "）";
    std::string reason = UntrustedReason(h);
    CloseHandle(h);
    return reason;
}

}  // namespace rm
