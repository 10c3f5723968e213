// The table the C++ unwinder searches for a code address's frame description. The runtime's
// own keeps a lock whose semaphore is never closed (one handle lost per load) and sorts its
// table with memory taken on the first throw; the module registers one table, its own, so a
// plain search of it serves and takes nothing.
#include <unwind.h>

#include <cstdint>
#include <cstring>

namespace {

// Pointer encodings of the call frame information (the low nibble is the format, the high
// one how the value is applied).
constexpr std::uint8_t kAbsolute = 0x00, kUnsigned4 = 0x03, kSigned4 = 0x0b, kPcRelative = 0x10, kOmit = 0xff;

constexpr int kMaxTables = 4;
const std::uint8_t* tables[kMaxTables];  // written while loading and unloading only

std::uint32_t Read32(const std::uint8_t* p) {
  std::uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

const std::uint8_t* SkipLeb128(const std::uint8_t* p) {
  while (*p++ & 0x80) {}
  return p;
}

// Reads a 4-byte encoded value at *p and moves past it; false for an encoding this target's
// compiler does not emit.
bool ReadEncoded(std::uint8_t encoding, const std::uint8_t** p, std::uintptr_t* value) {
  const std::uint8_t format = encoding & 0x0f;
  if (format != kAbsolute && format != kUnsigned4 && format != kSigned4) return false;
  const std::uint8_t application = encoding & 0x70;
  if (application != 0 && application != kPcRelative) return false;
  *value = Read32(*p) + (application == kPcRelative ? reinterpret_cast<std::uintptr_t>(*p) : 0);
  *p += 4;
  return true;
}

// The encoding of the code addresses in the descriptions that use this common entry.
std::uint8_t AddressEncoding(const std::uint8_t* cie) {
  const std::uint8_t* p = cie + 8;  // past the length and the zero id
  const std::uint8_t version = *p++;
  const char* augmentation = reinterpret_cast<const char*>(p);
  p += std::strlen(augmentation) + 1;
  p = SkipLeb128(SkipLeb128(p));                  // code and data alignment factors
  p = version == 1 ? p + 1 : SkipLeb128(p);       // return address register
  if (augmentation[0] != 'z') return kAbsolute;
  p = SkipLeb128(p);                              // augmentation data length
  for (const char* letter = augmentation + 1; *letter; ++letter) {
    if (*letter == 'R') return *p;
    if (*letter == 'L') {
      ++p;
    } else if (*letter == 'P') {
      std::uintptr_t ignored;
      const std::uint8_t personality_encoding = *p++;
      if (!ReadEncoded(personality_encoding & 0x7f, &p, &ignored)) return kOmit;
    } else if (*letter != 'S' && *letter != 'B') {
      return kOmit;
    }
  }
  return kAbsolute;
}

// The description in this table whose code range holds pc, or nullptr.
const std::uint8_t* FindInTable(const std::uint8_t* table, std::uintptr_t pc, std::uintptr_t* start) {
  for (const std::uint8_t* entry = table;;) {
    const std::uint32_t length = Read32(entry);
    if (length == 0 || length == 0xffffffff) return nullptr;  // end, or a 64-bit table
    const std::uint8_t* id_field = entry + 4;
    const std::uint32_t cie_offset = Read32(id_field);
    if (cie_offset != 0) {
      const std::uint8_t encoding = AddressEncoding(id_field - cie_offset);
      const std::uint8_t* p = id_field + 4;
      std::uintptr_t begin = 0, range = 0;
      // A function the linker dropped keeps its description with a zero address.
      if (encoding != kOmit && ReadEncoded(encoding, &p, &begin) && ReadEncoded(encoding & 0x0f, &p, &range) &&
          begin != 0 && pc >= begin && pc - begin < range) {
        *start = begin;
        return entry;
      }
    }
    entry = id_field + length;
  }
}

}  // namespace

// The unwinder's view of a search result (its own layout).
struct dwarf_eh_bases {
  void* tbase;
  void* dbase;
  void* func;
};

extern "C" {

void __register_frame_info(const void* begin, void*) {
  if (!begin || Read32(static_cast<const std::uint8_t*>(begin)) == 0) return;
  for (const std::uint8_t*& table : tables) {
    if (!table) {
      table = static_cast<const std::uint8_t*>(begin);
      return;
    }
  }
}

void* __deregister_frame_info(const void* begin) {
  for (const std::uint8_t*& table : tables) {
    if (table == begin) table = nullptr;
  }
  return nullptr;
}

const void* _Unwind_Find_FDE(void* pc, dwarf_eh_bases* bases) {
  for (const std::uint8_t* table : tables) {
    std::uintptr_t start = 0;
    const std::uint8_t* found = table ? FindInTable(table, reinterpret_cast<std::uintptr_t>(pc), &start) : nullptr;
    if (found) {
      bases->tbase = nullptr;
      bases->dbase = nullptr;
      bases->func = reinterpret_cast<void*>(start);
      return found;
    }
  }
  return nullptr;
}

}  // extern "C"
