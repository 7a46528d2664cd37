// The settings-file line reader and the narrow-text codec (glibc iconv).
#include "platform/linux/SettingsFile.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string>

#include "core/Utf8.h"

namespace rm {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
// Host-order UTF-32: the layout of char32_t strings.
constexpr const char* kUtf32 = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";

// One iconv conversion descriptor, closed on scope exit.
class Iconv {
  public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // iconv(3) with its conventions: (size_t)-1 and errno on a stop.
    size_t Convert(const char** in, size_t* inLeft, char** out, size_t* outLeft) {
        return iconv(cd_, const_cast<char**>(in), inLeft, out, outLeft);
    }
    void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

  private:
    iconv_t cd_;
};

// Converts exactly `len` bytes at `in` that must make one whole character.
bool ConvertOne(Iconv& cd, const char* in, size_t len, char* out, size_t outSize, size_t* written) {
    cd.Reset();
    size_t inLeft = len, outLeft = outSize;
    char* op = out;
    if (cd.Convert(&in, &inLeft, &op, &outLeft) == size_t(-1) || inLeft != 0) return false;
    *written = outSize - outLeft;
    return *written > 0;
}

// GBK rejected the bytes at `p`: they may still be a GB18030 character, either a
// four-byte sequence or one of the two-byte codes GBK leaves unassigned.
size_t DecodeGb18030At(Iconv& gb18030, const char* p, size_t left, std::u32string& out) {
    for (size_t len : {size_t(4), size_t(2)}) {
        if (left < len) continue;
        char32_t ch[2];
        size_t written = 0;
        if (ConvertOne(gb18030, p, len, reinterpret_cast<char*>(ch), sizeof ch, &written) &&
            written == sizeof(char32_t)) {
            out.push_back(ch[0]);
            return len;
        }
    }
    return 0;
}

// Opening a descriptor reads glibc's module cache, which costs far more than a
// short conversion: each thread keeps its four.
struct Codecs {
    Iconv gbkDecode{kUtf32, "CP936"};
    Iconv gb18030Decode{kUtf32, "GB18030"};
    Iconv gbkEncode{"CP936", kUtf32};
    Iconv gb18030Encode{"GB18030", kUtf32};
};

Codecs& ThreadCodecs() {
    thread_local Codecs codecs;
    return codecs;
}

}  // namespace

void LastLineReader::Append(std::string_view part) {
    if (line_.size() >= keep_) return;
    const size_t room = keep_ - line_.size();
    line_.append(part.substr(0, std::min(room, part.size())));
}

void LastLineReader::Feed(std::string_view chunk) {
    const char* data = chunk.data();
    const size_t n = chunk.size();
    size_t i = 0;
    if (n > 0 && afterCr_) {
        // The LF of a CR LF that was split between two chunks.
        afterCr_ = false;
        if (data[0] == '\n') i = 1;
    }
    while (i < n) {
        const void* cr = std::memchr(data + i, '\r', n - i);
        if (cr == nullptr) {
            Append(chunk.substr(i));
            inLine_ = true;
            return;
        }
        const size_t at = size_t(static_cast<const char*>(cr) - data);
        Append(chunk.substr(i, at - i));
        last_ = std::move(line_);
        line_.clear();
        inLine_ = false;
        i = at + 1;
        if (i == n)
            afterCr_ = true;
        else if (data[i] == '\n')
            ++i;
    }
}

std::string LastLineReader::Value() const {
    return inLine_ ? line_ : last_;
}

std::string LastLine(std::string_view content) {
    LastLineReader reader;
    reader.Feed(content);
    return reader.Value();
}

std::string DecodeNarrow(std::string_view bytes) {
    Iconv& gbk = ThreadCodecs().gbkDecode;
    Iconv& gb18030 = ThreadCodecs().gb18030Decode;
    if (gbk.ok()) gbk.Reset();
    std::u32string out;
    out.reserve(bytes.size());
    const char* p = bytes.data();
    size_t left = bytes.size();
    char32_t buf[1024];
    while (left > 0) {
        char* op = reinterpret_cast<char*>(buf);
        size_t outLeft = sizeof buf;
        errno = 0;
        const size_t r = gbk.ok() ? gbk.Convert(&p, &left, &op, &outLeft) : size_t(-1);
        const int err = gbk.ok() ? errno : EILSEQ;
        out.append(buf, (sizeof buf - outLeft) / sizeof(char32_t));
        if (r != size_t(-1) || err == E2BIG) continue;
        // EILSEQ, or EINVAL for a sequence cut short by the end of the text.
        size_t used = gb18030.ok() ? DecodeGb18030At(gb18030, p, left, out) : 0;
        if (used == 0) {
            out.push_back(kReplacement);
            used = 1;
        }
        p += used;
        left -= used;
        if (gbk.ok()) gbk.Reset();
    }
    return EncodeUtf8(out);
}

std::string EncodeNarrow(std::string_view utf8) {
    const std::u32string ucs4 = DecodeUtf8(utf8);  // bytes that are no UTF-8 become U+FFFD
    Iconv& gbk = ThreadCodecs().gbkEncode;
    Iconv& gb18030 = ThreadCodecs().gb18030Encode;
    if (gbk.ok()) gbk.Reset();
    std::string out;
    out.reserve(ucs4.size() * 2);
    const char* p = reinterpret_cast<const char*>(ucs4.data());
    size_t left = ucs4.size() * sizeof(char32_t);
    char buf[4096];
    while (left > 0) {
        char* op = buf;
        size_t outLeft = sizeof buf;
        errno = 0;
        const size_t r = gbk.ok() ? gbk.Convert(&p, &left, &op, &outLeft) : size_t(-1);
        const int err = gbk.ok() ? errno : EILSEQ;
        out.append(buf, sizeof buf - outLeft);
        if (r != size_t(-1) || err == E2BIG) continue;
        // A character without a GBK code: GB18030 has one for every character.
        char seq[8];
        size_t written = 0;
        if (gb18030.ok() && ConvertOne(gb18030, p, sizeof(char32_t), seq, sizeof seq, &written)) {
            out.append(seq, written);
        } else {
            out.append("\x84\x31\xA4\x37", 4);  // U+FFFD in GB18030
        }
        p += sizeof(char32_t);
        left -= sizeof(char32_t);
        if (gbk.ok()) gbk.Reset();
    }
    return out;
}

std::string SettingsFileBytes(std::string_view value) {
    return EncodeNarrow(value) + "\r\n";
}

std::string SettingsFileValue(std::string_view content) {
    return DecodeNarrow(LastLine(content));
}

}  // namespace rm
