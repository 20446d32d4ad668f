#pragma once
// Reads what the doctor needs from a PE file's headers: its machine, whether
// it is a DLL, and the names it exports. The file is read, never loaded: a DLL
// of the other architecture cannot be loaded into this process, and loading a
// library would run its code.
#include <windows.h>

#include <cstddef>
#include <set>
#include <string>

struct PeImage {
  WORD machine = 0;        // IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_AMD64, ...
  bool pe32Plus = false;   // the optional header's format: PE32+ (64-bit) or PE32
  bool dll = false;        // IMAGE_FILE_DLL
  std::set<std::string> exportNames;
};

// The machine of this build: what a host of this bitness loads.
constexpr WORD kThisMachine =
    sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;

// Parses an image held in memory. True with *image filled; false with a short
// reason in *problem ("no MZ header", "export table outside the file", ...).
bool ParsePeImage(const unsigned char* data, size_t size, PeImage* image,
                  std::wstring* problem);

// Reads the file and parses it. False with a reason, also when the file
// cannot be read ("cannot read it: <Win32 code>").
bool ReadPeImage(const std::wstring& path, PeImage* image, std::wstring* problem);

// "i386", "x86-64", "arm64", ... or the number in hex.
std::wstring MachineName(WORD machine);

// "PE32, i386" or "PE32+, x86-64".
std::wstring DescribeImage(const PeImage& image);

// 32 or 64 for the x86 machines a host can be; 0 for anything else.
int MachineBits(WORD machine);
