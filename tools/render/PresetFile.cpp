#include "render/PresetFile.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace tolvane {
namespace render {

namespace {

constexpr uint64_t kMaxRecordBytes = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());

int32_t GetBe32(const uint8_t* p) {
  const uint32_t u = (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                     (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
  int32_t v;
  std::memcpy(&v, &u, 4);
  return v;
}

void PutBe32(std::vector<uint8_t>& out, int32_t v) {
  uint32_t u;
  std::memcpy(&u, &v, 4);
  out.push_back(static_cast<uint8_t>(u >> 24));
  out.push_back(static_cast<uint8_t>(u >> 16));
  out.push_back(static_cast<uint8_t>(u >> 8));
  out.push_back(static_cast<uint8_t>(u));
}

float FloatFromBits(int32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

int32_t BitsFromFloat(float f) {
  int32_t bits;
  std::memcpy(&bits, &f, 4);
  return bits;
}

std::string Num(uint64_t v) { return std::to_string(v); }

// Bytes of a name field up to its first zero byte.
size_t NameLength(const std::string& name) {
  const size_t zero = name.find('\0');
  const size_t n = zero == std::string::npos ? name.size() : zero;
  return n < PresetFile::kNameBytes ? n : PresetFile::kNameBytes;
}

// Checks the 'CcnK' header common to programs and banks: answers the record's
// length (8 + byteSize) in `recordBytes`, known to be within `size` and to
// include the record's type field.
bool ReadRecordHeader(const uint8_t* data, size_t size, size_t& recordBytes, std::string& error) {
  if (size < 8) {
    error = "truncated: " + Num(size) + " bytes end inside the 8-byte record header";
    return false;
  }
  const int32_t magic = GetBe32(data);
  if (magic != PresetFile::kChunkMagic) {
    error =
        "not a VST preset record: it starts with " + PresetFile::FourCCText(magic) + ", not 'CcnK'";
    return false;
  }
  const int32_t byteSize = GetBe32(data + 4);
  if (byteSize < 0) {
    error = "invalid record size " + std::to_string(byteSize);
    return false;
  }
  if (static_cast<uint64_t>(byteSize) > size - 8) {
    error = "truncated: the header announces " + Num(static_cast<uint64_t>(byteSize)) +
            " bytes after its size field, only " + Num(size - 8) + " follow";
    return false;
  }
  recordBytes = 8 + static_cast<size_t>(byteSize);
  if (recordBytes < 12) {
    error =
        "the record's size field (" + std::to_string(byteSize) + ") leaves no room for its type";
    return false;
  }
  return true;
}

bool CheckHeaderRoom(size_t recordBytes, size_t headerBytes, const char* what, std::string& error) {
  if (recordBytes >= headerBytes) return true;
  error = "the record's size field (" + Num(recordBytes - 8) + ") is too small for " + what +
          " header (" + Num(headerBytes - 8) + " bytes)";
  return false;
}

bool ReadVersion(const uint8_t* data, const char* what, int32_t& version, std::string& error) {
  version = GetBe32(data + 12);
  if (version != 1 && version != 2) {
    error = std::string("unsupported ") + what + " format version " + std::to_string(version);
    return false;
  }
  return true;
}

// Reads one program record from the start of `data`; `recordBytes` answers its length.
bool ReadProgramRecord(const uint8_t* data, size_t size, FxProgram& p, size_t& recordBytes,
                       std::string& error) {
  size_t end = 0;
  if (!ReadRecordHeader(data, size, end, error)) return false;
  const int32_t fxMagic = GetBe32(data + 8);
  if (fxMagic == PresetFile::kBankMagic || fxMagic == PresetFile::kBankChunkMagic) {
    error = "this is a bank (" + PresetFile::FourCCText(fxMagic) + "), not a single program";
    return false;
  }
  if (fxMagic != PresetFile::kProgramMagic && fxMagic != PresetFile::kProgramChunkMagic) {
    error =
        "unknown program type " + PresetFile::FourCCText(fxMagic) + " (expected 'FxCk' or 'FPCh')";
    return false;
  }
  if (!CheckHeaderRoom(end, PresetFile::kProgramHeaderBytes, "a program", error)) return false;
  if (!ReadVersion(data, "program", p.version, error)) return false;
  p.isChunk = fxMagic == PresetFile::kProgramChunkMagic;
  p.fxID = GetBe32(data + 16);
  p.fxVersion = GetBe32(data + 20);
  p.numParams = GetBe32(data + 24);
  const char* name = reinterpret_cast<const char*>(data + 28);
  p.name.assign(name, strnlen(name, PresetFile::kNameBytes));
  if (p.numParams < 0) {
    error = "negative parameter count " + std::to_string(p.numParams);
    return false;
  }
  const size_t body = end - PresetFile::kProgramHeaderBytes;
  const uint8_t* b = data + PresetFile::kProgramHeaderBytes;
  if (!p.isChunk) {
    const uint64_t need = static_cast<uint64_t>(p.numParams) * 4;
    if (need > body) {
      error = std::to_string(p.numParams) + " parameters need " + Num(need) +
              " bytes, the record holds " + Num(body);
      return false;
    }
    p.params.resize(static_cast<size_t>(p.numParams));
    for (size_t i = 0; i < p.params.size(); ++i) {
      const float v = FloatFromBits(GetBe32(b + 4 * i));
      if (!(v >= 0.0f && v <= 1.0f)) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
        error = "parameter " + Num(i) + " holds " + text + ", outside 0..1";
        return false;
      }
      p.params[i] = v;
    }
  } else {
    if (body < 4) {
      error = "truncated: the record ends before its chunk size";
      return false;
    }
    const int32_t chunkSize = GetBe32(b);
    if (chunkSize < 0) {
      error = "negative chunk size " + std::to_string(chunkSize);
      return false;
    }
    if (static_cast<uint64_t>(chunkSize) > body - 4) {
      error = "a chunk of " + std::to_string(chunkSize) + " bytes does not fit in the " +
              Num(body - 4) + " bytes the record has left";
      return false;
    }
    p.chunk.assign(b + 4, b + 4 + chunkSize);
  }
  recordBytes = end;
  return true;
}

void PutName(std::vector<uint8_t>& out, const std::string& name) {
  const size_t n = NameLength(name);
  out.insert(out.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n));
  out.insert(out.end(), PresetFile::kNameBytes - n, 0);
}

uint64_t ProgramRecordBytes(const FxProgram& p) {
  return PresetFile::kProgramHeaderBytes + (p.isChunk ? 4 + static_cast<uint64_t>(p.chunk.size())
                                                      : 4 * static_cast<uint64_t>(p.params.size()));
}

// Appends a program record; the caller has checked its size.
void PutProgramRecord(std::vector<uint8_t>& out, const FxProgram& p) {
  const uint64_t bytes = ProgramRecordBytes(p);
  PutBe32(out, PresetFile::kChunkMagic);
  PutBe32(out, static_cast<int32_t>(bytes - 8));
  PutBe32(out, p.isChunk ? PresetFile::kProgramChunkMagic : PresetFile::kProgramMagic);
  PutBe32(out, p.version);
  PutBe32(out, p.fxID);
  PutBe32(out, p.fxVersion);
  PutBe32(out, p.isChunk ? p.numParams : static_cast<int32_t>(p.params.size()));
  PutName(out, p.name);
  if (p.isChunk) {
    PutBe32(out, static_cast<int32_t>(p.chunk.size()));
    out.insert(out.end(), p.chunk.begin(), p.chunk.end());
  } else {
    for (float v : p.params) PutBe32(out, BitsFromFloat(v));
  }
}

}  // namespace

bool FxProgram::operator==(const FxProgram& o) const {
  return isChunk == o.isChunk && version == o.version && fxID == o.fxID &&
         fxVersion == o.fxVersion && numParams == o.numParams && name == o.name &&
         params.size() == o.params.size() &&
         (params.empty() ||
          std::memcmp(params.data(), o.params.data(), params.size() * sizeof(float)) == 0) &&
         chunk == o.chunk;
}

bool FxBank::operator==(const FxBank& o) const {
  return isChunk == o.isChunk && version == o.version && fxID == o.fxID &&
         fxVersion == o.fxVersion && numPrograms == o.numPrograms &&
         currentProgram == o.currentProgram && programs == o.programs && chunk == o.chunk;
}

PresetFile::Result<FxProgram> PresetFile::ReadProgram(const uint8_t* data, size_t size) {
  Result<FxProgram> r;
  size_t used = 0;
  r.ok = ReadProgramRecord(data, size, r.value, used, r.error);
  if (!r.ok) r.value = FxProgram();
  return r;
}

PresetFile::Result<FxBank> PresetFile::ReadBank(const uint8_t* data, size_t size) {
  Result<FxBank> r;
  FxBank& bank = r.value;
  std::string& error = r.error;
  size_t end = 0;
  if (!ReadRecordHeader(data, size, end, error)) return r;
  const int32_t fxMagic = GetBe32(data + 8);
  if (fxMagic == kProgramMagic || fxMagic == kProgramChunkMagic) {
    error = "this is a single program (" + FourCCText(fxMagic) + "), not a bank";
    return r;
  }
  if (fxMagic != kBankMagic && fxMagic != kBankChunkMagic) {
    error = "unknown bank type " + FourCCText(fxMagic) + " (expected 'FxBk' or 'FBCh')";
    return r;
  }
  if (!CheckHeaderRoom(end, kBankHeaderBytes, "a bank", error)) return r;
  if (!ReadVersion(data, "bank", bank.version, error)) return r;
  bank.isChunk = fxMagic == kBankChunkMagic;
  bank.fxID = GetBe32(data + 16);
  bank.fxVersion = GetBe32(data + 20);
  bank.numPrograms = GetBe32(data + 24);
  bank.currentProgram = bank.version >= 2 ? GetBe32(data + 28) : 0;
  if (bank.numPrograms < 0) {
    error = "negative program count " + std::to_string(bank.numPrograms);
    bank = FxBank();
    return r;
  }
  const bool currentValid =
      bank.numPrograms == 0 ? bank.currentProgram == 0
                            : bank.currentProgram >= 0 && bank.currentProgram < bank.numPrograms;
  if (!currentValid) {
    error = "the current program " + std::to_string(bank.currentProgram) +
            " is not one of the bank's " + std::to_string(bank.numPrograms) + " programs";
    bank = FxBank();
    return r;
  }
  size_t pos = kBankHeaderBytes;
  if (!bank.isChunk) {
    // Every record needs at least its header: check the count before reserving.
    const uint64_t need = static_cast<uint64_t>(bank.numPrograms) * kProgramHeaderBytes;
    if (need > end - pos) {
      error = std::to_string(bank.numPrograms) + " programs need at least " + Num(need) +
              " bytes, the bank holds " + Num(end - pos);
      bank = FxBank();
      return r;
    }
    bank.programs.resize(static_cast<size_t>(bank.numPrograms));
    for (size_t i = 0; i < bank.programs.size(); ++i) {
      FxProgram& p = bank.programs[i];
      size_t used = 0;
      std::string inner;
      const std::string which = "program " + Num(i) + " of the bank: ";
      if (!ReadProgramRecord(data + pos, end - pos, p, used, inner)) {
        error = which + inner;
      } else if (p.isChunk) {
        error = which + "a chunk record ('FPCh') where a parameter bank holds 'FxCk' records";
      } else if (p.fxID != bank.fxID) {
        error = which + "made for plug-in " + FourCCText(p.fxID) + ", the bank for " +
                FourCCText(bank.fxID);
      }
      if (!error.empty()) {
        bank = FxBank();
        return r;
      }
      pos += used;
    }
  } else {
    if (end - pos < 4) {
      error = "truncated: the bank ends before its chunk size";
      bank = FxBank();
      return r;
    }
    const int32_t chunkSize = GetBe32(data + pos);
    if (chunkSize < 0) {
      error = "negative chunk size " + std::to_string(chunkSize);
      bank = FxBank();
      return r;
    }
    if (static_cast<uint64_t>(chunkSize) > end - pos - 4) {
      error = "a chunk of " + std::to_string(chunkSize) + " bytes does not fit in the " +
              Num(end - pos - 4) + " bytes the bank has left";
      bank = FxBank();
      return r;
    }
    bank.chunk.assign(data + pos + 4, data + pos + 4 + chunkSize);
  }
  r.ok = true;
  return r;
}

bool PresetFile::WriteProgram(const FxProgram& program, std::vector<uint8_t>& out) {
  out.clear();
  const uint64_t bytes = ProgramRecordBytes(program);
  if (bytes - 8 > kMaxRecordBytes) return false;
  out.reserve(static_cast<size_t>(bytes));
  PutProgramRecord(out, program);
  return true;
}

bool PresetFile::WriteBank(const FxBank& bank, std::vector<uint8_t>& out) {
  out.clear();
  uint64_t bytes = kBankHeaderBytes;
  if (bank.isChunk) {
    bytes += 4 + static_cast<uint64_t>(bank.chunk.size());
  } else {
    for (const FxProgram& p : bank.programs) bytes += ProgramRecordBytes(p);
  }
  if (bytes - 8 > kMaxRecordBytes ||
      (!bank.isChunk && bank.programs.size() > static_cast<size_t>(kMaxRecordBytes))) {
    return false;
  }
  out.reserve(static_cast<size_t>(bytes));
  PutBe32(out, kChunkMagic);
  PutBe32(out, static_cast<int32_t>(bytes - 8));
  PutBe32(out, bank.isChunk ? kBankChunkMagic : kBankMagic);
  PutBe32(out, bank.version);
  PutBe32(out, bank.fxID);
  PutBe32(out, bank.fxVersion);
  PutBe32(out, bank.isChunk ? bank.numPrograms : static_cast<int32_t>(bank.programs.size()));
  const size_t reservedStart = out.size();
  if (bank.version >= 2) PutBe32(out, bank.currentProgram);
  out.insert(out.end(), 128 - (out.size() - reservedStart), 0);
  if (bank.isChunk) {
    PutBe32(out, static_cast<int32_t>(bank.chunk.size()));
    out.insert(out.end(), bank.chunk.begin(), bank.chunk.end());
  } else {
    for (const FxProgram& p : bank.programs) PutProgramRecord(out, p);
  }
  return true;
}

std::string PresetFile::IdMismatch(int32_t fileId, int32_t pluginId) {
  if (fileId == pluginId) return std::string();
  return "the file was made for plug-in " + FourCCText(fileId) + ", this plug-in's ID is " +
         FourCCText(pluginId);
}

std::string PresetFile::FourCCText(int32_t code) {
  uint32_t u;
  std::memcpy(&u, &code, 4);
  char c[4] = {static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8),
               static_cast<char>(u)};
  bool printable = true;
  for (char ch : c) printable = printable && ch >= 0x20 && ch <= 0x7E;
  if (printable) return std::string("'") + std::string(c, 4) + "'";
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", u);
  return hex;
}

}  // namespace render
}  // namespace tolvane
