// TWSAExeVersion: reads the string fields and version numbers of a program's version block.
// Every program reads its own file through SystemModule's VersionInfo; the About page, the
// daily log header, the service's start and stop lines and the POP3 greeting show them.
//
// It keeps no state besides the file's name and reads the block again at every call, so any
// thread may use it. A program file is untrusted: a field that cannot be read, for whatever
// reason, is the empty text and is never reported.
//
// Choices of this unit:
// - A field that cannot be read yields the empty text (the caller's buffer is not touched
//   then, so nothing of it is used).
// - MinorVersion, Release and Build split the whole FileVersion, however long.
// - The field's query path is built as a string, so a key of any length is accepted.
// - In the packed number a run of separators counts as one, as it does for the version
//   parts: "1..2" packs as 1, 2, 0, 0.
// - GetFileVersionField leaves a buffer alone when its size is below 1.
#pragma once

#include <cstdint>
#include <string>

namespace vrel {

class TWSAExeVersion {
  public:
    // The block of the running program.
    TWSAExeVersion();
    // The block of another program file, by Windows path.
    explicit TWSAExeVersion(std::string fileName);

    // Reads one field of a program file's version block; returns the full length of its
    // value, or 0 when it cannot be read (buffer untouched, packed number 0). The buffer
    // gets at most bufferSize - 1 characters and a terminator; the packed number gets the
    // value's first four numbers, one per byte, the first in the highest byte.
    static int GetFileVersionField(const char* fileName, const char* key, char* buffer,
                                   int bufferSize, std::uint32_t* packedNumber);

    std::string GetCompanyName() const;
    std::string GetFileDescription() const;
    std::string GetFileVersion() const;
    std::string GetInternalName() const;
    std::string GetLegalCopyright() const;
    std::string GetLegalTrademarks() const;
    std::string GetOriginalFilename() const;
    std::string GetProductName() const;
    std::string GetProductVersion() const;
    std::string GetComments() const;
    std::string GetMajorVersion() const;
    std::string GetMinorVersion() const;
    std::string GetRelease() const;
    std::string GetBuild() const;

  private:
    std::string Field(const char* key) const;
    std::string VersionToken(std::size_t index) const;

    std::string fileName_;
};

}  // namespace vrel
