// The format of one settings file: a single line of text in code page 936
// (GBK) ended by CR LF, read back as "the last line of the file" where a line
// ends at a CR with or without a following LF. Also the narrow-text codec:
// GBK first, so that files are byte-compatible with the Windows program, and
// GB18030 for the characters GBK cannot hold, so nothing typed is ever lost.
// Pure functions, no file access.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstddef>

namespace rm {

// Follows a file's bytes chunk by chunk and keeps the line being read, so that
// a file of any size needs only one line of memory. Only the first `keepBytes`
// bytes of each line are kept: the rest could never reach the control anyway.
class LastLineReader {
  public:
    explicit LastLineReader(std::size_t keepBytes = std::size_t(-1)) : keep_(keepBytes) {}
    void Feed(QByteArrayView chunk);
    // The last line read so far; empty before any byte (a zero-byte file).
    QByteArray Value() const;

  private:
    void Append(QByteArrayView part);

    std::size_t keep_;
    QByteArray line_;      // the current line (at most keep_ bytes of it)
    QByteArray last_;      // the previous complete line
    bool inLine_ = false;  // bytes seen since the last line end
    bool afterCr_ = false;
    bool any_ = false;
};

// The last line of a whole file's content, line end excluded.
QByteArray LastLine(QByteArrayView content);

// Narrow text (GBK, with GB18030 sequences for what GBK lacks) to Unicode.
// Bytes that are neither become U+FFFD, one per byte; NUL bytes stay NUL.
QString DecodeNarrow(QByteArrayView bytes);

// Unicode to narrow text: each character in GBK when it has a GBK code, else
// in GB18030. Unpaired surrogates are written as U+FFFD.
QByteArray EncodeNarrow(const QString& text);

// The bytes SaveAllSettings writes for a control's text: the text and CR LF.
QByteArray SettingsFileBytes(const QString& value);

// The text LoadAllSettings gives a control for a file's whole content.
QString SettingsFileValue(QByteArrayView content);

}  // namespace rm
