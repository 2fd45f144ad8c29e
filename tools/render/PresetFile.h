#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {
namespace render {

/// One program as a VST2 preset file (.fxp) or a bank record holds it: either the
/// plug-in's normalised parameter values ('FxCk') or its opaque program chunk ('FPCh').
struct FxProgram {
  bool isChunk = false;
  int32_t version = 1;         ///< format version of the record (1 or 2)
  int32_t fxID = 0;            ///< the plug-in's unique ID
  int32_t fxVersion = 0;       ///< the plug-in's version
  int32_t numParams = 0;       ///< the count stored in the header; equals params.size() for 'FxCk'
  std::string name;            ///< at most kNameBytes bytes, no zero byte
  std::vector<float> params;   ///< 'FxCk': values in 0..1
  std::vector<uint8_t> chunk;  ///< 'FPCh'

  /// Parameter values compare bit for bit.
  bool operator==(const FxProgram& o) const;
  bool operator!=(const FxProgram& o) const { return !(*this == o); }
};

/// A bank of programs as a VST2 bank file (.fxb) holds it: a list of 'FxCk'
/// program records ('FxBk') or the plug-in's opaque bank chunk ('FBCh').
struct FxBank {
  bool isChunk = false;
  int32_t version = 2;  ///< 1, or 2 which adds the current program
  int32_t fxID = 0;
  int32_t fxVersion = 0;
  int32_t numPrograms = 0;          ///< equals programs.size() for 'FxBk'
  int32_t currentProgram = 0;       ///< version 2 only; 0 otherwise
  std::vector<FxProgram> programs;  ///< 'FxBk'
  std::vector<uint8_t> chunk;       ///< 'FBCh'

  bool operator==(const FxBank& o) const;
  bool operator!=(const FxBank& o) const { return !(*this == o); }
};

/// Reading and writing the VST2 preset formats. The layout is all big-endian
/// 32-bit fields:
///
///   program: 'CcnK', byteSize (bytes after this field), 'FxCk' | 'FPCh', version,
///            fxID, fxVersion, numParams, prgName[28], then numParams floats or
///            int32 chunk size + chunk bytes;
///   bank:    'CcnK', byteSize, 'FxBk' | 'FBCh', version, fxID, fxVersion,
///            numPrograms, 128 bytes (version 2: int32 currentProgram + 124
///            reserved), then numPrograms program records or int32 size + chunk.
///
/// The readers take bytes from outside and never trust them: every count and
/// length is checked against the bytes present (in 64-bit arithmetic, so nothing
/// overflows) before anything is read or allocated, a record must fit within the
/// size its header states, and the header's size must fit within the file.
/// Bytes after a record are ignored. Pure functions: no plug-in, no files, no
/// global state; [any-thread].
class PresetFile {
 public:
  static constexpr int32_t kChunkMagic = 0x43636E4B;         // 'CcnK'
  static constexpr int32_t kProgramMagic = 0x4678436B;       // 'FxCk'
  static constexpr int32_t kProgramChunkMagic = 0x46504368;  // 'FPCh'
  static constexpr int32_t kBankMagic = 0x4678426B;          // 'FxBk'
  static constexpr int32_t kBankChunkMagic = 0x46424368;     // 'FBCh'
  static constexpr size_t kNameBytes = 28;
  static constexpr size_t kProgramHeaderBytes = 56;
  static constexpr size_t kBankHeaderBytes = 156;

  /// The outcome of a read: `ok` with the record, or the reason in `error`.
  template <typename T>
  struct Result {
    bool ok = false;
    T value;
    std::string error;
  };

  /// Reads a program file (.fxp). Values of an 'FxCk' program must be finite and
  /// within 0..1.
  static Result<FxProgram> ReadProgram(const uint8_t* data, size_t size);

  /// Reads a bank file (.fxb). The programs of an 'FxBk' bank must be 'FxCk'
  /// records for the bank's plug-in, and a version 2 bank's current program must
  /// be one of its programs.
  static Result<FxBank> ReadBank(const uint8_t* data, size_t size);

  /// Writes a program. The name is cut to kNameBytes bytes (at its first zero
  /// byte if earlier), an 'FxCk' record's numParams is params.size() and the
  /// byte size field is computed. Answers false (and leaves `out` empty) when the
  /// record would exceed the format's 2 GiB limit.
  static bool WriteProgram(const FxProgram& program, std::vector<uint8_t>& out);

  /// Writes a bank; an 'FxBk' bank's numPrograms is programs.size() and each
  /// record is written as WriteProgram writes it, with the bank's fxID and
  /// fxVersion. Same limit as WriteProgram.
  static bool WriteBank(const FxBank& bank, std::vector<uint8_t>& out);

  /// Empty when a file made for plug-in `fileId` may be loaded into plug-in
  /// `pluginId`, else a message naming both IDs.
  static std::string IdMismatch(int32_t fileId, int32_t pluginId);

  /// A four-character code as text: 'Tlvn' when all four bytes are printable,
  /// else the hexadecimal value, e.g. 0x00000001.
  static std::string FourCCText(int32_t code);
};

}  // namespace render
}  // namespace tolvane
