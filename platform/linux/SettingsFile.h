// The format of one settings file: a single line of text in code page 936
// (GBK) ended by CR LF, read back as "the last line of the file" where a line
// ends at a CR with or without a following LF. Also the narrow-text codec:
// GBK first, so that files are byte-compatible with the Windows program, and
// GB18030 for the characters GBK cannot hold, so nothing typed is ever lost.
// Pure functions, no file access. Text is UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rm {

// Follows a file's bytes chunk by chunk and keeps the line being read, so that
// a file of any size needs only one line of memory. Only the first `keepBytes`
// bytes of each line are kept: the rest could never reach the control anyway.
class LastLineReader {
  public:
    explicit LastLineReader(std::size_t keepBytes = std::size_t(-1)) : keep_(keepBytes) {}
    void Feed(std::string_view chunk);
    // The last line read so far; empty before any byte (a zero-byte file).
    std::string Value() const;

  private:
    void Append(std::string_view part);

    std::size_t keep_;
    std::string line_;     // the current line (at most keep_ bytes of it)
    std::string last_;     // the previous complete line
    bool inLine_ = false;  // bytes seen since the last line end
    bool afterCr_ = false;
    bool any_ = false;
};

// The last line of a whole file's content, line end excluded.
std::string LastLine(std::string_view content);

// Narrow text (GBK, with GB18030 sequences for what GBK lacks) to UTF-8.
// Bytes that are neither become U+FFFD, one per byte; NUL bytes stay NUL.
std::string DecodeNarrow(std::string_view bytes);

// UTF-8 to narrow text: each character in GBK when it has a GBK code, else
// in GB18030. Bytes that are no UTF-8 (an unpaired surrogate among them) are
// written as U+FFFD.
std::string EncodeNarrow(std::string_view utf8);

// The bytes SaveAllSettings writes for a control's text: the text and CR LF.
std::string SettingsFileBytes(std::string_view value);

// The text LoadAllSettings gives a control for a file's whole content.
std::string SettingsFileValue(std::string_view content);

}  // namespace rm
