#include "tools/velmoractl/PeImage.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "win32/Owners.h"

namespace {

constexpr WORD kMzSignature = 0x5A4D;          // "MZ"
constexpr DWORD kPeSignature = 0x00004550;     // "PE\0\0"
constexpr size_t kMaxImageBytes = 512u << 20;  // more than any DLL the doctor looks at
constexpr size_t kMaxExportNameChars = 512;

// Bounds-checked reads from the image: every offset comes from the file
// itself, so none of them is trusted.
class ImageBytes {
 public:
  ImageBytes(const unsigned char* data, size_t size) : data_(data), size_(size) {}

  template <typename T>
  bool Read(size_t offset, T* value) const {
    if (offset > size_ || size_ - offset < sizeof(T)) return false;
    std::memcpy(value, data_ + offset, sizeof(T));
    return true;
  }

  bool ReadName(size_t offset, std::string* name) const {
    if (offset >= size_) return false;
    const size_t limit = std::min(size_ - offset, kMaxExportNameChars);
    const void* end = std::memchr(data_ + offset, '\0', limit);
    if (!end) return false;
    name->assign(reinterpret_cast<const char*>(data_ + offset),
                 static_cast<const unsigned char*>(end) - (data_ + offset));
    return true;
  }

 private:
  const unsigned char* data_;
  size_t size_;
};

struct Section {
  DWORD virtualAddress;
  DWORD virtualSize;
  DWORD rawSize;
  DWORD rawOffset;
};

bool Fail(std::wstring* problem, const wchar_t* reason) {
  *problem = reason;
  return false;
}

// File offset of a relative virtual address, through the section that holds it.
bool OffsetOf(const std::vector<Section>& sections, DWORD rva, size_t* offset) {
  for (const Section& section : sections) {
    const DWORD extent = std::max(section.virtualSize, section.rawSize);
    if (rva >= section.virtualAddress && rva - section.virtualAddress < extent) {
      const DWORD into = rva - section.virtualAddress;
      if (into >= section.rawSize) return false;  // uninitialised data: not in the file
      *offset = static_cast<size_t>(section.rawOffset) + into;
      return true;
    }
  }
  return false;
}

bool ReadExportNames(const ImageBytes& bytes, const std::vector<Section>& sections,
                     DWORD exportRva, PeImage* image, std::wstring* problem) {
  size_t directoryOffset = 0;
  IMAGE_EXPORT_DIRECTORY directory = {};
  if (!OffsetOf(sections, exportRva, &directoryOffset) ||
      !bytes.Read(directoryOffset, &directory)) {
    return Fail(problem, L"export table outside the file");
  }
  size_t namesOffset = 0;
  if (directory.NumberOfNames != 0 &&
      !OffsetOf(sections, directory.AddressOfNames, &namesOffset)) {
    return Fail(problem, L"export name table outside the file");
  }
  for (DWORD i = 0; i < directory.NumberOfNames; ++i) {
    DWORD nameRva = 0;
    size_t nameOffset = 0;
    std::string name;
    if (!bytes.Read(namesOffset + size_t{i} * sizeof(DWORD), &nameRva) ||
        !OffsetOf(sections, nameRva, &nameOffset) || !bytes.ReadName(nameOffset, &name)) {
      return Fail(problem, L"export name outside the file");
    }
    image->exportNames.insert(name);
  }
  return true;
}

}  // namespace

bool ParsePeImage(const unsigned char* data, size_t size, PeImage* image,
                  std::wstring* problem) {
  *image = PeImage{};
  const ImageBytes bytes(data, size);
  IMAGE_DOS_HEADER dos = {};
  if (!bytes.Read(0, &dos) || dos.e_magic != kMzSignature) return Fail(problem, L"no MZ header");
  const size_t peOffset = static_cast<size_t>(static_cast<DWORD>(dos.e_lfanew));
  DWORD signature = 0;
  IMAGE_FILE_HEADER file = {};
  if (!bytes.Read(peOffset, &signature) || signature != kPeSignature ||
      !bytes.Read(peOffset + sizeof(signature), &file)) {
    return Fail(problem, L"no PE header");
  }
  image->machine = file.Machine;
  image->dll = (file.Characteristics & IMAGE_FILE_DLL) != 0;

  // The optional header's layout differs between PE32 and PE32+; only its
  // magic and the export directory entry are needed here.
  const size_t optionalOffset = peOffset + sizeof(signature) + sizeof(file);
  WORD magic = 0;
  if (!bytes.Read(optionalOffset, &magic)) return Fail(problem, L"no optional header");
  DWORD directoryCount = 0;
  IMAGE_DATA_DIRECTORY exports = {};
  if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    IMAGE_OPTIONAL_HEADER32 optional = {};
    if (file.SizeOfOptionalHeader < sizeof(optional) || !bytes.Read(optionalOffset, &optional))
      return Fail(problem, L"optional header cut short");
    directoryCount = optional.NumberOfRvaAndSizes;
    exports = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  } else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    IMAGE_OPTIONAL_HEADER64 optional = {};
    if (file.SizeOfOptionalHeader < sizeof(optional) || !bytes.Read(optionalOffset, &optional))
      return Fail(problem, L"optional header cut short");
    image->pe32Plus = true;
    directoryCount = optional.NumberOfRvaAndSizes;
    exports = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  } else {
    return Fail(problem, L"unknown optional header format");
  }

  std::vector<Section> sections;
  const size_t sectionsOffset = optionalOffset + file.SizeOfOptionalHeader;
  for (WORD i = 0; i < file.NumberOfSections; ++i) {
    IMAGE_SECTION_HEADER header = {};
    if (!bytes.Read(sectionsOffset + size_t{i} * sizeof(header), &header))
      return Fail(problem, L"section table cut short");
    sections.push_back({header.VirtualAddress, header.Misc.VirtualSize, header.SizeOfRawData,
                        header.PointerToRawData});
  }
  if (directoryCount <= IMAGE_DIRECTORY_ENTRY_EXPORT || exports.VirtualAddress == 0) return true;
  return ReadExportNames(bytes, sections, exports.VirtualAddress, image, problem);
}

bool ReadPeImage(const std::wstring& path, PeImage* image, std::wstring* problem) {
  const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr));
  if (!file) {
    *problem = L"cannot open it: error " + std::to_wstring(GetLastError());
    return false;
  }
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) > kMaxImageBytes) {
    return Fail(problem, L"cannot read it: no size, or far too large");
  }
  std::vector<unsigned char> data(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  if (!data.empty() && (!ReadFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &got,
                                  /*lpOverlapped=*/nullptr) ||
                        got != data.size())) {
    *problem = L"cannot read it: error " + std::to_wstring(GetLastError());
    return false;
  }
  return ParsePeImage(data.data(), data.size(), image, problem);
}

std::wstring MachineName(WORD machine) {
  switch (machine) {
    case IMAGE_FILE_MACHINE_I386: return L"i386";
    case IMAGE_FILE_MACHINE_AMD64: return L"x86-64";
    case IMAGE_FILE_MACHINE_ARM64: return L"arm64";
    case IMAGE_FILE_MACHINE_ARMNT: return L"arm";
    default: break;
  }
  wchar_t text[16];
  swprintf(text, 16, L"machine 0x%04X", machine);
  return text;
}

std::wstring DescribeImage(const PeImage& image) {
  return std::wstring(image.pe32Plus ? L"PE32+, " : L"PE32, ") + MachineName(image.machine);
}

int MachineBits(WORD machine) {
  if (machine == IMAGE_FILE_MACHINE_I386) return 32;
  if (machine == IMAGE_FILE_MACHINE_AMD64) return 64;
  return 0;
}
